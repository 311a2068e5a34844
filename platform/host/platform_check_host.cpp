// The check program's share of the platform layer on Linux, for the tests:
// arguments split at blanks outside quotes, environment variables of the
// tests' own making, the "ANSI code page" taken as
// Latin-1, output written as it is, and a program's original file name taken
// from its own name where the file exists.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>

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
int ExpandEnvironmentText(const std::string& text, std::string* expanded) {
  expanded->clear();
  size_t position = 0;
  while (position < text.size()) {
    size_t open = text.find('%', position);
    size_t close = open == std::string::npos ? std::string::npos : text.find('%', open + 1);
    if (close == std::string::npos) break;
    const std::string* value = EnvironmentText(text.substr(open + 1, close - open - 1));
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

bool HasSeparate64BitView() { return true; }

std::string ProgramOriginalFilename(const char* path) {
  std::string posix(path);
  std::replace(posix.begin(), posix.end(), '\\', '/');
  struct stat info;
  if (stat(posix.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::string();
  return posix.substr(posix.rfind('/') + 1);
}
