#include "platform/output.h"

#include <stdarg.h>
#include <wchar.h>

#include "platform/platform.h"

bool DisplayMode = false;

namespace {

// Literal text and numbers collect here; wide-string arguments are written on their own so
// that a long argument is never cut and a surrogate pair is never split.
struct PendingText {
  wchar_t characters[128];
  SIZE_T length;
};

void PrintFormatted(const char* format, va_list arguments);
void AppendCharacter(PendingText* pending, wchar_t character);
void AppendInteger(PendingText* pending, int value, int width);
void FlushPending(PendingText* pending);
}  // namespace

void PrintMessage(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  PrintFormatted(format, arguments);
  va_end(arguments);
}

void PrintDisplayMessage(const char* format, ...) {
  if (!DisplayMode) {
    return;
  }
  va_list arguments;
  va_start(arguments, format);
  PrintFormatted(format, arguments);
  va_end(arguments);
}

namespace {

void PrintFormatted(const char* format, va_list arguments) {
  PendingText pending;
  pending.length = 0;

  for (const char* cursor = format; *cursor != '\0'; ++cursor) {
    if (*cursor != '%') {
      AppendCharacter(&pending, static_cast<unsigned char>(*cursor));
      continue;
    }
    ++cursor;
    int width = 0;
    if (*cursor == '0') {
      ++cursor;
      while (*cursor >= '0' && *cursor <= '9') {
        width = width * 10 + (*cursor - '0');
        ++cursor;
      }
    }
    if (*cursor == 'S') {
      const wchar_t* text = va_arg(arguments, const wchar_t*);
      if (text == NULL) {
        text = L"(null)";
      }
      FlushPending(&pending);
      platform::WriteStandardOutput(text, wcslen(text));
    } else if (*cursor == 'd') {
      AppendInteger(&pending, va_arg(arguments, int), width);
    } else if (*cursor == '%') {
      AppendCharacter(&pending, L'%');
    } else {
      // The formats are this program's own; an unknown conversion is a bug, shown as is.
      AppendCharacter(&pending, L'%');
      if (*cursor == '\0') {
        break;
      }
      AppendCharacter(&pending, static_cast<unsigned char>(*cursor));
    }
  }
  FlushPending(&pending);
}

void AppendCharacter(PendingText* pending, wchar_t character) {
  if (pending->length == sizeof(pending->characters) / sizeof(pending->characters[0])) {
    FlushPending(pending);
  }
  pending->characters[pending->length++] = character;
}

void AppendInteger(PendingText* pending, int value, int width) {
  // Work on the magnitude as unsigned so that INT_MIN needs no special case.
  unsigned int magnitude = value < 0 ? 0u - static_cast<unsigned int>(value)
                                     : static_cast<unsigned int>(value);
  wchar_t digits[10];
  int count = 0;
  do {
    digits[count++] = static_cast<wchar_t>(L'0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);

  if (value < 0) {
    AppendCharacter(pending, L'-');
    --width;  // as in printf, the sign counts towards the field width
  }
  for (int padding = width - count; padding > 0; --padding) {
    AppendCharacter(pending, L'0');
  }
  while (count > 0) {
    AppendCharacter(pending, digits[--count]);
  }
}

void FlushPending(PendingText* pending) {
  if (pending->length > 0) {
    platform::WriteStandardOutput(pending->characters, pending->length);
    pending->length = 0;
  }
}

}  // namespace
