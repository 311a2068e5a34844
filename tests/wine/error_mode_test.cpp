// The quiet error mode is the calling thread's own: a program the launcher
// starts inherits its process's mode (unless started with
// CREATE_DEFAULT_ERROR_MODE), and must get the one it would have had.
#include <windows.h>

#include <gtest/gtest.h>

#include "platform/platform.h"

namespace {

TEST(QuietErrorMode, IsSetForTheThreadAndNotTheProcess) {
  const UINT process_before = GetErrorMode();
  const DWORD thread_before = GetThreadErrorMode();
  SetQuietErrorMode();
  EXPECT_EQ(GetThreadErrorMode(), static_cast<DWORD>(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX));
  EXPECT_EQ(GetErrorMode(), process_before);
  SetThreadErrorMode(thread_before, nullptr);
}

}  // namespace
