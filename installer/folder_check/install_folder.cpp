#include "installer/folder_check/install_folder.h"

namespace {

bool IsLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }
bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// The end of the server's or the share's name that starts at `name`, or null
// when the name is empty.
const wchar_t* NameEnd(const wchar_t* name) {
  const wchar_t* end = name;
  while (*end != L'\0' && !IsSeparator(*end)) ++end;
  return end == name ? nullptr : end;
}

// "\\.\" and "\\?\" open devices and the long-path namespace, not a share.
bool IsDeviceNamespace(const wchar_t* name, const wchar_t* end) {
  return end == name + 1 && (*name == L'.' || *name == L'?');
}

bool IsOnDrive(const wchar_t* folder) {
  return IsLetter(folder[0]) && folder[1] == L':' && folder[2] == L'\\';
}

bool IsOnShare(const wchar_t* folder) {
  if (folder[0] != L'\\' || folder[1] != L'\\') return false;
  const wchar_t* server = folder + 2;
  const wchar_t* server_end = NameEnd(server);
  if (server_end == nullptr || *server_end != L'\\' || IsDeviceNamespace(server, server_end)) {
    return false;
  }
  const wchar_t* share_end = NameEnd(server_end + 1);
  return share_end != nullptr && (*share_end == L'\\' || *share_end == L'\0');
}

bool EndsWithBackslash(const wchar_t* text) {
  if (*text == L'\0') return false;
  while (text[1] != L'\0') ++text;
  return *text == L'\\';
}

wchar_t FoldedLetter(wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c; }

bool IsTrailingBackslash(const wchar_t* at) { return at[0] == L'\\' && at[1] == L'\0'; }

}  // namespace

bool SameFolder(const wchar_t* a, const wchar_t* b) {
  while (*a != L'\0' && FoldedLetter(*a) == FoldedLetter(*b)) {
    ++a;
    ++b;
  }
  return (*a == L'\0' || IsTrailingBackslash(a)) && (*b == L'\0' || IsTrailingBackslash(b));
}

size_t LauncherPathLength(const wchar_t* folder, size_t ansi_length) {
  return ansi_length + (EndsWithBackslash(folder) ? 0 : 1) + kLauncherNameLength;
}

FolderVerdict JudgeInstallFolder(const wchar_t* folder, size_t ansi_length) {
  if (!IsOnDrive(folder) && !IsOnShare(folder)) return FolderVerdict::kNotFullyQualified;
  if (ansi_length == kNoExactAnsiForm) return FolderVerdict::kNotInCodePage;
  if (LauncherPathLength(folder, ansi_length) > kLongestLauncherPath) return FolderVerdict::kTooLong;
  return FolderVerdict::kUsable;
}
