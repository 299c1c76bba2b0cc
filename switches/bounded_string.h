// Wide-string operations with explicit bounds. Each one fails instead of reading past its
// bound or truncating silently; a failed copy or append still leaves the destination
// terminated.
#pragma once

#include <windows.h>

// The largest length and capacity, in characters, that the operations accept.
const SIZE_T MaxStringChars = 2147483647;

// Characters before the terminator. Fails for a null string or one with no terminator within
// MaxStringChars characters.
bool BoundedLength(const wchar_t* text, SIZE_T* length);

// Copies `source` into `destination` of `capacity` characters (1 to MaxStringChars). Fails
// if the whole source does not fit.
bool BoundedCopy(wchar_t* destination, SIZE_T capacity, const wchar_t* source);

// Appends `source` behind the text already in `destination`, whose terminator must lie
// within `capacity` characters. Fails if the whole source does not fit.
bool BoundedAppend(wchar_t* destination, SIZE_T capacity, const wchar_t* source);
