// The probe opens the file the way Windows users expect of a viewer: it does
// not mind a tool that has the file open for writing, and gives up on a file
// another program holds without allowing others to read it.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "config_probe/probe_configuration.h"
#include "tests/support/outside_code_page.h"

namespace {

TEST(ProbeSharing, DependsOnWhatTheOtherHolderAllows) {
  std::string path = AnsiFromPath(std::filesystem::temp_directory_path() / "probe-shared.cfg");
  std::ofstream(path, std::ios::binary) << "xTessaline\r\n";
  const struct {
    DWORD share;
    int result;
  } cases[] = {
      {FILE_SHARE_READ | FILE_SHARE_WRITE, 0},
      {FILE_SHARE_READ, 0},
      {FILE_SHARE_WRITE, -1},
      {0, -1},
  };
  for (const auto& c : cases) {
    HANDLE writer = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, c.share, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    ToolKind kind = 0;
    EXPECT_EQ(ProbeConfiguration(path.c_str(), &kind), c.result) << c.share;
    EXPECT_EQ(kind, c.result == 0 ? kToolTessaline : 0) << c.share;
    CloseHandle(writer);
  }
  std::filesystem::remove(PathFromAnsi(path));
}

}  // namespace
