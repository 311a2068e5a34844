// Text the system hands over in UTF-16, converted to the ANSI code page only
// when every character has its own counterpart there.
//
// The A calls convert with "best fit": a character the code page lacks becomes
// a look-alike ("ā" becomes "a", "Ω" becomes "O") or "?". For a string that
// names a file, a folder, a key or a program that is another name, and acting
// on it opens another file or starts another program. The platform layer
// therefore takes such strings through the W calls and converts them here.
#pragma once

#include <string>

// Converts `count` UTF-16 units. Returns the number of bytes of the ANSI form
// (written to `out` when `out` is not null and `capacity` holds them), or -1
// when a character has no exact counterpart, or -2 when `out` is too small.
int ConvertToAnsiExactly(const wchar_t* text, int count, char* out, int capacity);

// The same into a string; false when the text has no exact ANSI form.
bool ConvertToAnsiExactly(const wchar_t* text, int count, std::string* out);
