#include "app/launch_version.h"

#include <cstring>

#include "platform/platform.h"

namespace {

// WinExec reports success as any value above 31.
constexpr uint32_t kLastStartError = 31;

// Appends `text` if it fits whole; a command line cut short would start the
// tool on the wrong file, so a piece that does not fit fails the launch.
bool Append(char* buffer, size_t size, const char* text) {
  size_t used = std::strlen(buffer);
  size_t length = std::strlen(text);
  if (used + length >= size) return false;
  std::memcpy(buffer + used, text, length + 1);
  return true;
}

}  // namespace

// The list is sorted ascending, so the last candidate of the kind is the
// newest version, in its 64-bit build where that exists.
const InstallCandidate* SelectCandidate(const CandidateList& list, const InstallCandidate& wanted) {
  for (size_t i = list.size(); i > 0; --i) {
    if (list[i - 1].kind == wanted.kind) return &list[i - 1];
  }
  return nullptr;
}

int BuildCommandLine(const char* exe_path, const char* config_path,
                     char (&command_line)[kCommandLineSize]) {
  std::memset(command_line, 0, sizeof command_line);
  const char* pieces[] = {"\"", exe_path, "\" \"", config_path, "\""};
  for (const char* piece : pieces) {
    if (!Append(command_line, sizeof command_line, piece)) return -1;
  }
  return 0;
}

int LaunchVersion(const CandidateList& list, const InstallCandidate& wanted,
                  const char* config_path) {
  const InstallCandidate* chosen = SelectCandidate(list, wanted);
  if (chosen == nullptr) return -1;
  char command_line[kCommandLineSize];
  if (BuildCommandLine(chosen->exe_path, config_path, command_line) != 0) return -1;
  return StartProgram(command_line, kShowNormal) > kLastStartError ? 0 : -1;
}
