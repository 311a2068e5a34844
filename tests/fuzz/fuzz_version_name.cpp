// Version subkey names of any content, checked against a reading of the
// same rules written the slow and obvious way.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "discovery/version_name.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

bool Space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool Digit(char c) { return c >= '0' && c <= '9'; }

// Digits from `i` on as a 32-bit number, judged on the digits' text.
bool Number(const std::string& s, size_t* i, uint32_t* value) {
  size_t start = *i;
  while (*i < s.size() && Digit(s[*i])) ++*i;
  if (*i == start) return false;
  std::string digits = s.substr(start, *i - start);
  digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size() - 1));
  if (digits.size() > 10 || (digits.size() == 10 && digits > "4294967295")) return false;
  *value = static_cast<uint32_t>(std::stoull(digits));
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string name(reinterpret_cast<const char*>(data), size);
  name.resize(std::strlen(name.c_str()));
  std::vector<char> exact(name.begin(), name.end());
  exact.push_back('\0');

  uint32_t major = 7, minor = 7;
  int result = ReadVersionName(exact.data(), &major, &minor);

  size_t i = 0;
  uint32_t first = 0, second = 0;
  while (i < name.size() && Space(name[i])) ++i;
  bool valid = Number(name, &i, &first) && i < name.size() && name[i] == '.';
  if (valid) {
    ++i;
    while (i < name.size() && Space(name[i])) ++i;
    valid = Number(name, &i, &second);
  }
  FUZZ_CHECK(result == (valid ? 0 : -1));
  FUZZ_CHECK(valid ? major == first && minor == second : major == 7 && minor == 7);
  return 0;
}
