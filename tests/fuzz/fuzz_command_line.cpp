// The command line as the shell may hand it over, any bytes at all: finding
// the tail, removing its quotes and telling switches from paths.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "platform/host/host_platform.h"
#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  ResetHostPlatform();
  // The first byte picks the code page: single-byte, or one whose lead bytes
  // (0x81..0x9F and 0xE0..0xFC in the Japanese one) may swallow a quote or blank.
  if (data[0] & 1) SetLeadBytes(0x81, 0xFC);
  // A C string of exactly its own size, so that reading one byte past it is caught.
  std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  text.resize(std::strlen(text.c_str()));
  std::vector<char> line(text.begin(), text.end());
  line.push_back('\0');

  const char* tail = CommandLineTail(line.data());
  FUZZ_CHECK(tail >= line.data() && tail <= line.data() + text.size());
  FUZZ_CHECK(*tail == '\0' || static_cast<unsigned char>(*tail) > 32);

  std::string argument;
  if (NormaliseArgument(tail, &argument) != 0) return 0;
  FUZZ_CHECK(!argument.empty() && argument.size() <= std::strlen(tail));
  FUZZ_CHECK(argument.find('\0') == std::string::npos);
  FUZZ_CHECK(tail[0] == '"' ? argument.size() + 2 == std::strlen(tail) : argument == tail);

  RunMode mode = 99;
  int result = ClassifyArgument(argument.c_str(), &mode);
  FUZZ_CHECK(result == 0 ? mode != kRunNone : mode == kRunNone);
  if (mode == kRunRegister || mode == kRunUnregister) {
    FUZZ_CHECK(argument[0] == '/' || argument[0] == '-');
    FUZZ_CHECK(argument.size() == (mode == kRunRegister ? 10u : 12u));
  }
  return 0;
}
