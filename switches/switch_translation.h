// Translation of the wrapper's arguments into the inner installer's command line, and the
// usage text.
#pragma once

#include <windows.h>

const int SwitchCount = 7;
const int SwitchTextChars = 25;

// The recognised switches, in matching order; an entry's position selects its action.
extern const wchar_t SwitchTable[SwitchCount][SwitchTextChars];

// TranslateSwitch results.
const int SwitchHandled = 0;
const int SwitchNotRecognised = 1;
const int SwitchFailed = -1;

// Translates one argument into `commandLine` (of `capacity` characters) if it begins with one
// of the table's switches, ignoring case. Returns SwitchHandled, SwitchNotRecognised (nothing
// appended) or SwitchFailed (an append did not fit). May switch DisplayMode on.
int TranslateSwitch(const wchar_t* argument, wchar_t* commandLine, SIZE_T capacity, bool* helpSeen,
                    bool* silentSeen);

// Builds the inner installer's command line from `installerName` and arguments 1 to
// `argumentCount` - 1. The buffer is stored in `*commandLine` as soon as it exists, also when
// the build fails later; the caller releases it. The two flags are only ever set.
bool BuildInstallerCommandLine(const wchar_t* installerName, int argumentCount,
                               wchar_t** arguments, wchar_t** commandLine, bool* helpRequested,
                               bool* silentRequested);

void PrintUsage();
