// Where the inner installation hands its result to the wrapper: the keys under
// HKEY_LOCAL_MACHINE and the value. The wrapper and the project's test, demo and benchmark
// installers all take the names from here.
#pragma once

#include <windows.h>

const wchar_t MakerKeyPath[] = L"software\\Quellbrookdynamical";
const wchar_t WrapperKeyName[] = L"quendlebox";
const wchar_t ResultKeyPath[] = L"software\\Quellbrookdynamical\\quendlebox";
const wchar_t MakerKeyName[] = L"Quellbrookdynamical";
const wchar_t MakerKeyParentPath[] = L"software";
const wchar_t ReturnCodeValueName[] = L"ReturnCode";

// The keys live in the 32-bit view, where a 32-bit installer's writes land. Every open, create
// and delete names it: 32-bit Windows ignores the flag, and a 64-bit program would otherwise
// use the 64-bit view.
const REGSAM ResultKeyView = KEY_WOW64_32KEY;
