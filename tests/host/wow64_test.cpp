// What follows from the answers Windows gives a 32-bit program about the
// system, on every kind of Windows it may run on.
#include "platform/wow64.h"

#include <gtest/gtest.h>

#include "platform/platform.h"

namespace {

TEST(Wow64, TheSystemIsReadFromTheBestAnswerThereIs) {
  const struct {
    const char* system;
    Wow64Answers answers;
    bool wow64;
    uint16_t native;
  } cases[] = {
      {"x64 Windows 10 1709 and later", {true, kMachineI386, kMachineAmd64, true, 0}, true, kMachineAmd64},
      // IsWow64Process tells an x86 program on ARM64 Windows 10 that it runs
      // natively; only IsWow64Process2 knows better.
      {"ARM64 Windows 10", {true, kMachineI386, kMachineArm64, false, 0}, true, kMachineArm64},
      {"ARM64 Windows 11", {true, kMachineI386, kMachineArm64, true, 0}, true, kMachineArm64},
      {"32-bit Windows 10", {true, kMachineUnknown, kMachineI386, false, 0}, false, kMachineI386},
      // Without IsWow64Process2, GetNativeSystemInfo's processor names it.
      {"x64 Windows 7", {false, 0, 0, true, kProcessorAmd64}, true, kMachineAmd64},
      {"Itanium Windows", {false, 0, 0, true, kProcessorIa64}, true, 0x0200},
      {"ARM64 before IsWow64Process2", {false, 0, 0, true, kProcessorArm64}, true, kMachineArm64},
      {"32-bit Windows 7", {false, 0, 0, false, 0}, false, kMachineI386},
      {"32-bit Windows 7, processor unforeseen", {false, 0, 0, true, 0x7777}, true, kMachineI386},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RunsUnderWow64(c.answers), c.wow64) << c.system;
    EXPECT_EQ(NativeMachine(c.answers), c.native) << c.system;
  }
}

TEST(Wow64, X64RunsByEmulationOnlyForUserCode) {
  const struct {
    const char* system;
    X64Answers answers;
    bool emulates;
  } cases[] = {
      {"Windows 10 and earlier", {false, false, 0}, false},
      {"ARM64 Windows 11", {true, true, 1}, true},
      {"user and kernel code", {true, true, 3}, true},
      {"kernel code only", {true, true, 2}, false},
      {"in a WOW64 container only", {true, true, 4}, false},
      {"the call failed", {true, false, 1}, false},
  };
  for (const auto& c : cases) EXPECT_EQ(EmulatesX64(c.answers), c.emulates) << c.system;
}

}  // namespace
