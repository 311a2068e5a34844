// What a 32-bit program can learn of the system it runs on, and what follows
// from it. Kept apart from the calls that ask, so that the reasoning holds
// for systems no test machine is: x64 and ARM64 Windows, 32-bit Windows,
// Windows before and after IsWow64Process2.
#pragma once

#include <cstdint>

struct Wow64Answers {
  // IsWow64Process2, which came with Windows 10, version 1709: the machine
  // this process runs as under WOW64 (0, IMAGE_FILE_MACHINE_UNKNOWN, when it
  // runs natively) and the system's native machine.
  bool has_wow64_process2 = false;
  uint16_t process_machine = 0;
  uint16_t native_machine = 0;
  // IsWow64Process, which only x64 (and Itanium) Windows answers TRUE: an x86
  // program on ARM64 Windows 10 is told FALSE, although it runs under WOW64.
  bool is_wow64 = false;
  // GetNativeSystemInfo's processor, as a machine type; asked only where
  // IsWow64Process2 is missing.
  uint16_t native_system_machine = 0;
};

constexpr uint16_t kMachineUnknown = 0;
constexpr uint16_t kMachineX86 = 0x014C;

// Whether this process runs under WOW64, where the registry keeps a 64-bit
// view apart from the 32-bit one it sees.
inline bool RunsUnderWow64(const Wow64Answers& a) {
  return a.has_wow64_process2 ? a.process_machine != kMachineUnknown : a.is_wow64;
}

// The machine the system runs natively.
inline uint16_t NativeMachine(const Wow64Answers& a) {
  if (a.has_wow64_process2) return a.native_machine;
  return a.is_wow64 ? a.native_system_machine : kMachineX86;
}
