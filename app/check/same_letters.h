// Names Windows compares without regard to case (file types, key and value
// names, compatibility layers, file name extensions): the ASCII letters A to
// Z match their lower-case forms, every other byte only itself.
#pragma once

#include <string>

inline bool SameLetters(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
    char y = b[i] >= 'A' && b[i] <= 'Z' ? static_cast<char>(b[i] - 'A' + 'a') : b[i];
    if (x != y) return false;
  }
  return true;
}
