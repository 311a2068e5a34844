// Pieces of the check program's reports: JSON strings and aligned text.
// Texts are in the ANSI code page, as the launcher sees them; JSON strings
// are converted to UTF-8.
#pragma once

#include <string>
#include <vector>

// A JSON string (RFC 8259) holding `ansi`, converted to UTF-8.
std::string JsonString(const std::string& ansi);
// The same for text that is UTF-8 already.
std::string JsonUtf8String(const std::string& utf8);
// The same, or null when `present` is false.
std::string JsonStringOr(bool present, const std::string& ansi);

// `bytes` with every control character shown as an escape (\t, \r, \n,
// \x00 ...), so that what is invisible or ends a line can be seen.
std::string ShowControls(const std::string& bytes);

// The rows as columns, each as wide as its widest cell, each row on a line
// of its own after `indent`; the last cell is not padded.
std::string AlignColumns(const std::vector<std::vector<std::string>>& rows,
                         const std::string& indent);

// "9.5" from the numbers.
std::string VersionText(unsigned major, unsigned minor);
