#include "switches/bounded_string.h"

bool BoundedLength(const wchar_t* text, SIZE_T* length) {
  *length = 0;
  if (text == NULL) {
    return false;
  }
  SIZE_T count = 0;
  while (count < MaxStringChars && text[count] != L'\0') {
    ++count;
  }
  if (count == MaxStringChars) {
    return false;
  }
  *length = count;
  return true;
}

bool BoundedCopy(wchar_t* destination, SIZE_T capacity, const wchar_t* source) {
  if (destination == NULL || capacity == 0 || capacity > MaxStringChars) {
    return false;
  }
  if (source == NULL) {
    destination[0] = L'\0';
    return false;
  }
  SIZE_T copied = 0;
  while (copied < capacity - 1 && source[copied] != L'\0') {
    destination[copied] = source[copied];
    ++copied;
  }
  destination[copied] = L'\0';
  return source[copied] == L'\0';
}

bool BoundedAppend(wchar_t* destination, SIZE_T capacity, const wchar_t* source) {
  if (destination == NULL || capacity == 0 || capacity > MaxStringChars) {
    return false;
  }
  SIZE_T end = 0;
  while (end < capacity && destination[end] != L'\0') {
    ++end;
  }
  if (end == capacity) {
    return false;
  }
  return BoundedCopy(destination + end, capacity - end, source);
}
