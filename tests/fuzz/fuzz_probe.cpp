// Configuration files of any content: the probe must read no further than
// its buffers and name the tool exactly when the first line does.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "config_probe/probe_configuration.h"
#include "platform/host/host_platform.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

// The first line as the runtime's text mode presents it from the second byte
// on, at most 259 characters, ended by a line feed or a zero byte.
std::string FirstLine(const uint8_t* data, size_t size) {
  std::string text;
  for (size_t i = 1; i < size && text.size() < 260; ++i) {
    if (data[i] == 26) break;
    if (data[i] == '\r' && i + 1 < size && data[i + 1] == '\n') continue;
    text += static_cast<char>(data[i]);
  }
  text = text.substr(0, text.find('\n')).substr(0, 259);
  return text.substr(0, text.find('\0'));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = "/tmp/zandrell-fuzz-probe-" + std::to_string(getpid()) + ".cfg";
  ResetHostPlatform();
  FILE* file = std::fopen(path.c_str(), "wb");
  FUZZ_CHECK(file != nullptr);
  FUZZ_CHECK(std::fwrite(data, 1, size, file) == size);
  std::fclose(file);

  ToolKind kind = 99;
  int result = ProbeConfiguration(path.c_str(), &kind);
  std::string line = FirstLine(data, size);
  ToolKind expected = line.find("Morvo") != std::string::npos       ? kToolMorvo
                      : line.find("Tessaline") != std::string::npos ? kToolTessaline
                                                                    : 99;
  FUZZ_CHECK(result == (expected == 99 ? -1 : 0));
  FUZZ_CHECK(kind == expected);
  std::remove(path.c_str());
  return 0;
}
