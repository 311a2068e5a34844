#include "discovery/version_name.h"

namespace {

bool IsWhiteSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Digits only: a sign is refused, and so is a number beyond 32 bits, which
// would otherwise wrap around into some other, wrong version.
const char* ReadNumber(const char* p, uint32_t* number) {
  if (*p < '0' || *p > '9') return nullptr;
  uint64_t value = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    value = value * 10 + static_cast<uint64_t>(*p - '0');
    if (value > UINT32_MAX) return nullptr;
  }
  *number = static_cast<uint32_t>(value);
  return p;
}

const char* SkipWhiteSpace(const char* p) {
  while (IsWhiteSpace(*p)) ++p;
  return p;
}

}  // namespace

int ReadVersionName(const char* name, uint32_t* major, uint32_t* minor) {
  uint32_t first = 0, second = 0;
  const char* p = ReadNumber(SkipWhiteSpace(name), &first);
  if (p == nullptr || *p != '.') return -1;
  if (ReadNumber(SkipWhiteSpace(p + 1), &second) == nullptr) return -1;
  *major = first;
  *minor = second;
  return 0;
}
