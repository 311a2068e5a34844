#include "app/command_line.h"

#include <cstring>

#include "platform/platform.h"

namespace {

bool IsSeparator(char c) { return static_cast<unsigned char>(c) <= 32; }

// The switches are ASCII words; the rest of the argument is compared whole,
// so "/regserver " with a trailing blank is not the switch.
bool EqualsIgnoringAsciiCase(const char* text, const char* word) {
  for (; *text != '\0' && *word != '\0'; ++text, ++word) {
    char a = *text, b = *word;
    if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
    if (b >= 'A' && b <= 'Z') b = static_cast<char>(b - 'A' + 'a');
    if (a != b) return false;
  }
  return *text == '\0' && *word == '\0';
}

struct Switch {
  const char* word;
  RunMode mode;
};

const Switch kSwitches[] = {
    {"regserver", kRunRegister},
    {"unregserver", kRunUnregister},
};

}  // namespace

// Bytes are compared unsigned, so characters of the ANSI code page beyond
// ASCII belong to the name rather than ending it; a lead byte carries its
// trail byte, which may look like a quote or a blank.
const char* CommandLineTail(const char* command_line) {
  const char* p = command_line;
  bool in_quotes = false;
  while (*p != '\0' && (in_quotes || !IsSeparator(*p))) {
    if (*p == '"') in_quotes = !in_quotes;
    if (IsLeadByte(static_cast<unsigned char>(*p)) && p[1] != '\0') ++p;
    ++p;
  }
  while (*p != '\0' && IsSeparator(*p)) ++p;
  return p;
}

int NormaliseArgument(const char* tail, std::string* argument) {
  if (tail == nullptr || *tail == '\0') return -1;
  size_t length = std::strlen(tail);
  if (tail[0] != '"') {
    argument->assign(tail, length);
    return 0;
  }
  // The shell hands us a quoted path; the last character goes whatever it is.
  if (length <= 2) return -1;
  argument->assign(tail + 1, length - 2);
  return 0;
}

int ClassifyArgument(const char* argument, RunMode* mode) {
  *mode = kRunNone;
  if (argument[0] == '-' || argument[0] == '/') {
    for (const Switch& s : kSwitches) {
      if (EqualsIgnoringAsciiCase(argument + 1, s.word)) {
        *mode = s.mode;
        return 0;
      }
    }
    return -1;
  }
  if (GetPathAttributes(argument) == kInvalidFileAttributes) return -1;
  *mode = kRunOpen;
  return 0;
}
