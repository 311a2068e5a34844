// ZandrellCheck.exe: explains what the launcher would do, and why.
#include <cstdio>

int main() {
  std::fputs("usage: ZandrellCheck (which FILE | versions | association) [--json]\n", stderr);
  return 2;
}
