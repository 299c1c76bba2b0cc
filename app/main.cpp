// install.exe: the console entry point. The arguments are split from the raw command line by
// the wrapper's own rules, the same on every Windows version.
#include "app/run_wrapper.h"
#include "handoff/return_code_key.h"
#include "platform/command_line.h"
#include "platform/output.h"
#include "platform/platform.h"

int main() {
  int argumentCount = 0;
  wchar_t** arguments = NULL;
  if (!SplitCommandLine(platform::GetCommandLineW(), &argumentCount, &arguments)) {
    PrintMessage("Failed to process command line. Exiting.\n");
    return InstallFailureCode;
  }
  const int exitCode = RunWrapper(argumentCount, arguments);
  ReleaseArguments(arguments);
  return exitCode;
}
