// The folders the package's custom action accepts: fully qualified (a drive
// or a share) and short enough for the open command, one row each, at the
// length bound from both sides.
#include "installer/folder_check/install_folder.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// A folder on drive C: whose launcher path has `launcher_length` characters.
std::wstring FolderForLauncherPath(size_t launcher_length, bool trailing_backslash) {
  std::wstring folder = L"C:\\Tools\\";
  folder.append(launcher_length - kLauncherNameLength - folder.size() - 1, L'x');
  return trailing_backslash ? folder + L"\\" : folder;
}

TEST(InstallFolderTest, OnlyFullyQualifiedFoldersWithRoomForTheLauncherAreUsable) {
  const auto usable = FolderVerdict::kUsable;
  const auto relative = FolderVerdict::kNotFullyQualified;
  const auto too_long = FolderVerdict::kTooLong;
  const auto not_in_code_page = FolderVerdict::kNotInCodePage;
  const struct {
    const char* name;
    std::wstring folder;
    size_t ansi_length;  // 0: as many as the folder has characters
    FolderVerdict verdict;
  } rows[] = {
      {"on a drive", L"C:\\Program Files (x86)\\Zandrell Launcher\\", 0, usable},
      {"a drive letter in lower case, no trailing backslash", L"d:\\Tools\\Zandrell", 0, usable},
      {"the drive's root", L"C:\\", 0, usable},
      {"on a share", L"\\\\server\\share\\Zandrell\\", 0, usable},
      {"a share's root", L"\\\\server\\share\\", 0, usable},
      {"a share's root without its backslash", L"\\\\server\\share", 0, usable},
      {"relative", L"relative\\ZL\\", 0, relative},
      {"rooted but on no drive", L"\\Tools\\ZL\\", 0, relative},
      {"relative to a drive's current folder", L"C:Tools\\ZL\\", 0, relative},
      {"slashes for backslashes", L"C:/Tools/ZL/", 0, relative},
      {"no letter before the colon", L"1:\\Tools\\", 0, relative},
      {"a server without a share", L"\\\\server\\", 0, relative},
      {"a share without a server", L"\\\\\\share\\", 0, relative},
      {"an empty share's name", L"\\\\server\\\\ZL\\", 0, relative},
      {"a slash after the server", L"\\\\server/share\\", 0, relative},
      {"the long-path namespace", L"\\\\?\\C:\\Tools\\", 0, relative},
      {"the device namespace", L"\\\\.\\C:\\Tools\\", 0, relative},
      {"nothing", L"", 0, relative},
      {"a launcher path of 247", FolderForLauncherPath(247, true), 0, usable},
      {"a launcher path of 248", FolderForLauncherPath(248, true), 0, too_long},
      {"247 without a trailing backslash", FolderForLauncherPath(247, false), 0, usable},
      {"248 without a trailing backslash", FolderForLauncherPath(248, false), 0, too_long},
      // Double-byte characters count twice, as in the launcher's own path.
      {"short in characters, long in the code page", L"C:\\Tools\\", 228, too_long},
      // The launcher would refuse its own path there, and so every file.
      {"a character the code page lacks", L"C:\\\u0416zl\\", kNoExactAnsiForm, not_in_code_page},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    size_t ansi_length = row.ansi_length != 0 ? row.ansi_length : row.folder.size();
    EXPECT_EQ(JudgeInstallFolder(row.folder.c_str(), ansi_length), row.verdict);
  }
  // What the refusal reports, with and without the trailing backslash.
  EXPECT_EQ(LauncherPathLength(L"C:\\ZL\\", 6), 26u);
  EXPECT_EQ(LauncherPathLength(L"C:\\ZL", 5), 26u);
}

// A repair says it ignored a folder only when it is another folder.
TEST(InstallFolderTest, TheSameFolderInOtherLettersOrWithoutItsBackslashIsTheSame) {
  const struct {
    const wchar_t* a;
    const wchar_t* b;
    bool same;
  } rows[] = {
      {L"C:\\Tools\\ZL\\", L"C:\\Tools\\ZL\\", true},
      {L"C:\\Tools\\ZL", L"C:\\Tools\\ZL\\", true},
      {L"c:\\tools\\zl\\", L"C:\\TOOLS\\ZL", true},
      {L"C:\\Tools\\ZL\\", L"C:\\Tools\\ZL2\\", false},
      {L"C:\\Tools\\ZL\\X", L"C:\\Tools\\ZL\\", false},
      {L"C:\\Moved\\ZL", L"C:\\Tools\\ZL\\", false},
      {L"C:\\Tools\\ZL\\\\", L"C:\\Tools\\ZL", false},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(SameFolder(row.a, row.b), row.same);
    EXPECT_EQ(SameFolder(row.b, row.a), row.same);
  }
}

}  // namespace
