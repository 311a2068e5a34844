#include "discovery/install_folder.h"

#include "platform/platform.h"

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool StartsWithDrive(const char* path, bool slash_allowed) {
  return IsDriveLetter(path[0]) && path[1] == ':' &&
         (path[2] == '\\' || (slash_allowed && path[2] == '/'));
}

// Skips one name of a path (a server's, a share's): the characters up to the
// next separator, a double-byte character whole, so that a second byte that
// reads as a backslash is no separator. Null when the name is empty.
const char* SkipName(const char* p, bool slash_allowed) {
  const char* start = p;
  while (*p != '\0' && *p != '\\' && !(slash_allowed && *p == '/')) {
    if (IsLeadByte(static_cast<unsigned char>(*p)) && p[1] != '\0') ++p;
    ++p;
  }
  return p == start ? nullptr : p;
}

// "server\share" with nothing or a separator after it.
bool IsShare(const char* p, bool slash_allowed) {
  p = SkipName(p, slash_allowed);
  if (p == nullptr || !(*p == '\\' || (slash_allowed && *p == '/'))) return false;
  p = SkipName(p + 1, slash_allowed);
  return p != nullptr;
}

bool StartsWithIgnoringCase(const char* text, const char* prefix) {
  for (; *prefix != '\0'; ++text, ++prefix) {
    char c = *text >= 'a' && *text <= 'z' ? static_cast<char>(*text - 'a' + 'A') : *text;
    if (c != *prefix) return false;
  }
  return true;
}

}  // namespace

bool IsFullFolderPath(const char* folder) {
  if (StartsWithDrive(folder, true)) return true;
  // Behind "\\?\" Windows takes the path as it stands: only backslashes
  // separate there.
  if (folder[0] == '\\' && folder[1] == '\\' && folder[2] == '?' && folder[3] == '\\') {
    const char* rest = folder + 4;
    return StartsWithDrive(rest, false) || (StartsWithIgnoringCase(rest, "UNC\\") && IsShare(rest + 4, false));
  }
  return IsSeparator(folder[0]) && IsSeparator(folder[1]) && IsShare(folder + 2, true);
}
