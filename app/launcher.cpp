#include "app/launcher.h"

#include <string>

#include "app/command_line.h"
#include "app/launch_version.h"
#include "association/association.h"
#include "config_probe/probe_configuration.h"
#include "discovery/scan_installations.h"
#include "platform/platform.h"

int OpenConfigurationFile(const char* path) {
  InstallCandidate wanted = {};
  CandidateList candidates;
  if (ProbeConfiguration(path, &wanted.kind) != 0) return -1;
  int result = -1;
  if (ScanInstallations(&candidates, wanted) == 0 &&
      LaunchVersion(candidates, wanted, path) == 0) {
    result = 0;
  }
  ReleaseCandidates(&candidates);
  return result;
}

namespace {

int RunJob(const char* command_line) {
  // A command line with a name the ANSI code page cannot hold: acting on a
  // look-alike would open another file.
  if (command_line == nullptr) return -1;
  std::string argument;
  if (NormaliseArgument(CommandLineTail(command_line), &argument) != 0) return -1;
  RunMode mode = kRunNone;
  if (ClassifyArgument(argument.c_str(), &mode) != 0) return -1;
  switch (mode) {
    case kRunRegister:
      return RegisterAssociation() == 0 ? 0 : -1;
    case kRunUnregister:
      return UnregisterAssociation() == 0 ? 0 : -1;
    case kRunOpen:
      return OpenConfigurationFile(argument.c_str());
  }
  return -1;
}

}  // namespace

int RunLauncher(const char* command_line) {
  // An exception (memory running out in a string, the list or the file
  // stream) would otherwise end the program through the C runtime's abort:
  // exit code 3, and perhaps a message box, where the launcher must show
  // nothing and report every failure as -1.
  try {
    SetQuietErrorMode();
    return RunJob(command_line);
  } catch (...) {
    return -1;
  }
}
