// The exact conversion itself, which calls nothing but KERNEL32: the
// package's folder check, a DLL without C runtime, compiles this file on its
// own, and the platform layer includes it in its own unit (see there).
#include "platform/win32/exact_ansi.h"

#include <windows.h>

int ConvertToAnsiExactly(const wchar_t* text, int count, char* out, int capacity) {
  if (count == 0) return 0;
  // With UTF-8 as the ANSI code page (an option of Windows 10 and later)
  // every character has a counterpart and only a broken surrogate pair fails;
  // that code page takes neither the best-fit flag nor the default-character
  // report, and WC_ERR_INVALID_CHARS is documented only for the code page
  // named CP_UTF8 (or 54936), not for CP_ACP that happens to be UTF-8: name it.
  const bool utf8 = GetACP() == CP_UTF8;
  const UINT code_page = utf8 ? CP_UTF8 : CP_ACP;
  const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
  BOOL used_default = FALSE;
  BOOL* report = utf8 ? nullptr : &used_default;
  int needed = WideCharToMultiByte(code_page, flags, text, count, nullptr, 0, nullptr, report);
  if (needed <= 0 || used_default) return -1;
  if (out == nullptr) return needed;
  if (needed > capacity) return -2;
  WideCharToMultiByte(code_page, flags, text, count, out, needed, nullptr, report);
  return needed;
}
