// The check program's share of the platform layer on Linux, for the tests:
// arguments split at blanks outside quotes, environment variables of the
// tests' own making, the "ANSI code page" taken as
// Latin-1, output written as it is, and a program's original file name taken
// from its own name where the file exists. The system's machine and the
// user's rights are what the test sets (SetSystemMachine, SetElevation).
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>

#include "platform/host/host_platform.h"

int GetProcessArguments(std::vector<ProcessArgument>* arguments) {
  const char* line = GetProcessCommandLine();
  if (line == nullptr) return -1;
  std::string argument;
  bool quoted = false, any = false;
  for (const char* p = line;; ++p) {
    if (*p == '"') {
      quoted = !quoted;
      any = true;
    } else if (*p == '\0' || (!quoted && (*p == ' ' || *p == '\t'))) {
      if (any) arguments->push_back(ProcessArgument(argument));
      argument.clear();
      any = false;
      if (*p == '\0') break;
    } else {
      argument += *p;
      any = true;
    }
  }
  return 0;
}

// As Windows does: %NAME% replaced for a variable that is set, left as it
// stands for one that is not.
int ExpandEnvironmentText(const std::string& text, const std::vector<EnvironmentOverride>& overrides,
                          std::string* expanded) {
  auto lookup = [&](const std::string& name) -> const std::string* {
    for (const EnvironmentOverride& o : overrides) {
      if (strcasecmp(o.name.c_str(), name.c_str()) == 0) return &o.value;
    }
    return EnvironmentText(name);
  };
  expanded->clear();
  size_t position = 0;
  while (position < text.size()) {
    size_t open = text.find('%', position);
    size_t close = open == std::string::npos ? std::string::npos : text.find('%', open + 1);
    if (close == std::string::npos) break;
    const std::string* value = lookup(text.substr(open + 1, close - open - 1));
    if (value != nullptr && !value->empty() && (*value)[0] == '\0') return -1;
    expanded->append(text, position, open - position);
    if (value != nullptr) {
      *expanded += *value;
    } else {
      expanded->append(text, open, close + 1 - open);
    }
    position = close + 1;
  }
  expanded->append(text, position, std::string::npos);
  return 0;
}

bool ReadEnvironmentVariable(const std::string& name, std::string* value) {
  const std::string* found = EnvironmentText(name);
  if (found == nullptr || (!found->empty() && (*found)[0] == '\0')) return false;
  *value = *found;
  return true;
}

std::string AnsiToUtf8(const std::string& text) {
  std::string utf8;
  for (unsigned char c : text) {
    if (c < 0x80) {
      utf8 += static_cast<char>(c);
    } else {
      utf8 += static_cast<char>(0xC0 | (c >> 6));
      utf8 += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return utf8;
}

void WriteStandardStream(int stream, const std::string& utf8) {
  std::fwrite(utf8.data(), 1, utf8.size(), stream == 2 ? stderr : stdout);
}

namespace {

// The Linux path of a file given with backslashes; false when no regular
// file is there.
bool RegularFile(const char* path, std::string* posix) {
  *posix = HostFilePath(path);
  struct stat info;
  return stat(posix->c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

std::string ProgramOriginalFilename(const char* path) {
  std::string posix;
  if (!RegularFile(path, &posix)) return std::string();
  return posix.substr(posix.rfind('/') + 1);
}

int ReadFileBytes(const char* path, uint32_t offset, uint32_t count, std::string* bytes) {
  bytes->clear();
  std::string posix;
  if (!RegularFile(path, &posix)) return -1;
  std::ifstream file(posix, std::ios::binary);
  if (!file.is_open()) return -1;
  if (file.seekg(offset, std::ios::beg)) {
    bytes->resize(count);
    file.read(&(*bytes)[0], count);
    bytes->resize(static_cast<size_t>(file.gcount()));
  }
  return 0;
}

namespace {

struct HostSystem {
  uint16_t native_machine = kMachineAmd64;
  bool emulates_x64 = false;
  bool shell_elevated = false;
  bool administrator = false;
  bool separate_64_bit_view = true;
  std::string windows_folder;
};

HostSystem& System() {
  static HostSystem system;
  return system;
}

}  // namespace

void SetSystemMachine(uint16_t native_machine, bool emulates_x64) {
  System().native_machine = native_machine;
  System().emulates_x64 = emulates_x64;
}

void SetElevation(bool shell_runs_elevated, bool administrator) {
  System().shell_elevated = shell_runs_elevated;
  System().administrator = administrator;
}

void SetSeparate64BitView(bool separate) { System().separate_64_bit_view = separate; }
void SetWindowsFolder(const std::string& folder) { System().windows_folder = folder; }
std::string GetWindowsFolder() { return System().windows_folder; }

namespace {

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

}  // namespace

// As GetFullPathName and GetLongPathName do it for a full path; the host
// knows no current folder (the check asks only about full paths) and no
// short names.
int ProgramPathAsWindowsKnowsIt(const std::string& path, std::string* known) {
  std::string rest = path;
  if (StartsWith(rest, "\\\\?\\UNC\\")) {
    rest.erase(2, 6);
  } else if (StartsWith(rest, "\\\\?\\")) {
    rest.erase(0, 4);
  }
  std::replace(rest.begin(), rest.end(), '/', '\\');
  // What ".." never climbs above: the drive, or the server and share.
  std::string root;
  size_t names = 0;
  if (rest.size() >= 3 && std::isalpha(static_cast<unsigned char>(rest[0])) && rest[1] == ':' && rest[2] == '\\') {
    root = rest.substr(0, 2);
  } else if (StartsWith(rest, "\\\\")) {
    root = "\\";
    names = 2;
  } else {
    return -1;
  }
  std::vector<std::string> kept;
  size_t fixed = 0;
  for (size_t at = root.size(); at <= rest.size();) {
    size_t end = rest.find('\\', at);
    if (end == std::string::npos) end = rest.size();
    const std::string name = rest.substr(at, end - at);
    at = end + 1;
    if (name.empty() || name == ".") continue;
    if (fixed < names) {
      root += (fixed++ == 0 ? "" : "\\") + name;
    } else if (name == "..") {
      if (!kept.empty()) kept.pop_back();
    } else {
      kept.push_back(name);
    }
  }
  *known = root;
  for (const std::string& name : kept) *known += "\\" + name;
  if (kept.empty() && names == 0) *known += "\\";
  return 0;
}

bool HasSeparate64BitView() { return System().separate_64_bit_view; }
uint16_t GetNativeMachine() { return System().native_machine; }
bool EmulatesX64Programs() { return System().emulates_x64; }
bool ShellRunsElevated() { return System().shell_elevated; }
bool UserIsAdministrator() { return System().administrator; }
