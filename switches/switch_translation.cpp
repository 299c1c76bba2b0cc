#include "switches/switch_translation.h"

#include "platform/output.h"
#include "platform/platform.h"
#include "switches/bounded_string.h"

// constexpr, so that the check below can read it.
constexpr wchar_t SwitchTable[SwitchCount][SwitchTextChars] = {
    L"/?", L"/help", L"/application", L"/v", L"/s", L"/w", L"/display",
};

namespace {

// A table shorter than SwitchCount ends in empty entries, and an empty text begins, and so
// matches, every argument.
constexpr bool EveryEntryHasText() {
  for (int entry = 0; entry < SwitchCount; ++entry) {
    if (SwitchTable[entry][0] == L'\0') {
      return false;
    }
  }
  return true;
}
static_assert(EveryEntryHasText(), "SwitchTable holds fewer entries than SwitchCount");

// Positions in SwitchTable.
enum SwitchPosition {
  HelpShortSwitch = 0,
  HelpSwitch = 1,
  ApplicationSwitch = 2,
  PropertiesSwitch = 3,
  SilentSwitch = 4,
  WaitSwitch = 5,
  DisplaySwitch = 6,
};

// Reserve beyond the arguments' own share of the command line.
const SIZE_T ReserveChars = 20;

int FindSwitch(const wchar_t* argument, int* position);
bool AppendProperties(const wchar_t* argument, wchar_t* commandLine, SIZE_T capacity);

}  // namespace

int TranslateSwitch(const wchar_t* argument, wchar_t* commandLine, SIZE_T capacity, bool* helpSeen,
                    bool* silentSeen) {
  *helpSeen = false;
  *silentSeen = false;

  int position = 0;
  const int found = FindSwitch(argument, &position);
  if (found != SwitchHandled) {
    return found;
  }

  switch (position) {
    case HelpShortSwitch:
    case HelpSwitch:
    case ApplicationSwitch:
    case SilentSwitch:
      if (!BoundedAppend(commandLine, capacity, L" ") ||
          !BoundedAppend(commandLine, capacity, SwitchTable[position])) {
        return SwitchFailed;
      }
      *helpSeen = position == HelpShortSwitch || position == HelpSwitch;
      *silentSeen = position == SilentSwitch;
      return SwitchHandled;

    case PropertiesSwitch:
      return AppendProperties(argument, commandLine, capacity) ? SwitchHandled : SwitchFailed;

    case WaitSwitch:
      return SwitchHandled;

    case DisplaySwitch:
      DisplayMode = true;
      return SwitchHandled;
  }
  return SwitchFailed;
}

bool BuildInstallerCommandLine(const wchar_t* installerName, int argumentCount,
                               wchar_t** arguments, wchar_t** commandLine, bool* helpRequested,
                               bool* silentRequested) {
  SIZE_T nameLength = 0;
  if (!BoundedLength(installerName, &nameLength)) {
    return false;
  }

  // Sized once, before anything is written: every argument adds at most its length + 3
  // (" /v" plus two quotes stand in for its own two switch characters). The current
  // directory's share is reserve only.
  ULONGLONG total = static_cast<ULONGLONG>(nameLength) + 1;
  const DWORD currentDirectoryChars = platform::GetCurrentDirectoryW(0, NULL);
  for (int index = 1; index < argumentCount; ++index) {
    SIZE_T argumentLength = 0;
    if (!BoundedLength(arguments[index], &argumentLength)) {
      return false;
    }
    total += static_cast<ULONGLONG>(argumentLength) + 3;
  }
  const ULONGLONG requiredChars = total + currentDirectoryChars + ReserveChars;
  if (requiredChars > MaxStringChars) {
    return false;
  }
  const SIZE_T capacity = static_cast<SIZE_T>(requiredChars);

  *commandLine = static_cast<wchar_t*>(
      platform::AllocateZeroed(capacity * sizeof(wchar_t)));
  if (*commandLine == NULL) {
    return false;
  }
  if (!BoundedCopy(*commandLine, capacity, installerName)) {
    return false;
  }

  for (int index = 1; index < argumentCount; ++index) {
    bool helpSeen = false;
    bool silentSeen = false;
    const int result =
        TranslateSwitch(arguments[index], *commandLine, capacity, &helpSeen, &silentSeen);
    if (result == SwitchFailed) {
      return false;
    }
    if (result == SwitchNotRecognised) {
      // Passed through unchanged: never quoted or escaped.
      if (!BoundedAppend(*commandLine, capacity, L" ")) {
        return false;
      }
      if (!BoundedAppend(*commandLine, capacity, arguments[index])) {
        PrintMessage("Error: unknown switch: %S\n", arguments[index]);
        return false;
      }
    }
    *helpRequested = *helpRequested || helpSeen;
    *silentRequested = *silentRequested || silentSeen;
  }
  return true;
}

void PrintUsage() {
  PrintMessage("Quellbrookdynamical Accelerometer Installer\n");
  PrintMessage("-------------------------------------------\n");
  PrintMessage("Usage:\n");
  PrintMessage(
      "install.exe [/?|/help] [/s] [/application] [/v\"[LOGFILE=<path\\filename>] "
      "[EXTRACTDRIVERS=<path>]\"\n");
  PrintMessage("Switches:\n");
  PrintMessage("/help - display this help information\n");
  PrintMessage("/? - same as /help\n");
  PrintMessage("/s - unattended/silent install\n");
  PrintMessage("/application - application only install\n");
  PrintMessage("EXTRACTDRIVERS=<path> - extract driver package to specified directory\n");
  PrintMessage("LOGFILE=<path\\filename> - write log file to specified file at specified path\n");
}

namespace {

// Finds the first entry whose text begins the argument, ignoring case, and stores its
// position. Returns SwitchHandled when one does, SwitchNotRecognised when none does, and
// SwitchFailed when a length cannot be taken.
int FindSwitch(const wchar_t* argument, int* position) {
  SIZE_T argumentLength = 0;
  for (int entry = 0; entry < SwitchCount; ++entry) {
    SIZE_T switchLength = 0;
    if (!BoundedLength(SwitchTable[entry], &switchLength) ||
        !BoundedLength(argument, &argumentLength)) {
      return SwitchFailed;
    }
    // A failing comparison (result 0) counts as no match.
    if (argumentLength >= switchLength &&
        platform::CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, argument,
                                 static_cast<int>(switchLength), SwitchTable[entry],
                                 static_cast<int>(switchLength)) == CSTR_EQUAL) {
      *position = entry;
      return SwitchHandled;
    }
  }
  return SwitchNotRecognised;
}

// Appends ` /v"<text>"`, the text being everything after the argument's two switch characters,
// unchanged. When the command line then ends in two double quotes (the text is empty or ends
// in a quote), the first of them becomes a backslash.
bool AppendProperties(const wchar_t* argument, wchar_t* commandLine, SIZE_T capacity) {
  if (!BoundedAppend(commandLine, capacity, L" /v\"") ||
      !BoundedAppend(commandLine, capacity, argument + 2) ||
      !BoundedAppend(commandLine, capacity, L"\"")) {
    return false;
  }
  SIZE_T length = 0;
  if (!BoundedLength(commandLine, &length)) {
    return false;
  }
  if (length >= 2 && commandLine[length - 1] == L'"' && commandLine[length - 2] == L'"') {
    commandLine[length - 2] = L'\\';
  }
  return true;
}

}  // namespace
