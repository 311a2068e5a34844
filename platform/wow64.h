// What a 32-bit program can learn of the system it runs on, and what follows
// from it. Kept apart from the calls that ask, so that the reasoning holds
// for systems no test machine is: x64 and ARM64 Windows, 32-bit Windows,
// Windows before and after IsWow64Process2.
#pragma once

#include <cstdint>

#include "platform/platform.h"

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
  // GetNativeSystemInfo's wProcessorArchitecture (PROCESSOR_ARCHITECTURE_*);
  // asked only where IsWow64Process2 is missing.
  uint16_t native_processor = 0;
};

constexpr uint16_t kMachineUnknown = 0;
constexpr uint16_t kMachineIa64 = 0x0200;

constexpr uint16_t kProcessorIa64 = 6;
constexpr uint16_t kProcessorAmd64 = 9;
constexpr uint16_t kProcessorArm64 = 12;

// The machine type of a processor architecture. Before IsWow64Process2 only
// x64 and Itanium Windows ran x86 programs under WOW64; ARM64 is named for
// completeness, and anything else is taken for x86, the one machine this
// program itself runs on natively.
inline uint16_t ProcessorMachine(uint16_t processor) {
  switch (processor) {
    case kProcessorIa64: return kMachineIa64;
    case kProcessorAmd64: return kMachineAmd64;
    case kProcessorArm64: return kMachineArm64;
    default: return kMachineI386;
  }
}

// Whether this process runs under WOW64, where the registry keeps a 64-bit
// view apart from the 32-bit one it sees.
inline bool RunsUnderWow64(const Wow64Answers& a) {
  return a.has_wow64_process2 ? a.process_machine != kMachineUnknown : a.is_wow64;
}

// The machine the system runs natively.
inline uint16_t NativeMachine(const Wow64Answers& a) {
  if (a.has_wow64_process2) return a.native_machine;
  return a.is_wow64 ? ProcessorMachine(a.native_processor) : kMachineI386;
}

// GetMachineTypeAttributes(IMAGE_FILE_MACHINE_AMD64), which came with
// Windows 11 as did the x64 emulation on ARM64: whether the call is there,
// whether it succeeded, and the MACHINE_ATTRIBUTES it gave.
struct X64Answers {
  bool has_machine_type_attributes = false;
  bool succeeded = false;
  int attributes = 0;
};

// UserEnabled: user-mode x64 code runs. KernelEnabled and Wow64Container
// say nothing of the programs a user starts.
constexpr int kMachineUserEnabled = 1;

// Whether x64 programs run, by emulation where the system is no x64 one.
// Without the call (Windows 10 and earlier) nothing emulates x64.
inline bool EmulatesX64(const X64Answers& a) {
  return a.has_machine_type_attributes && a.succeeded && (a.attributes & kMachineUserEnabled) != 0;
}
