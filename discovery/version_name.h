#pragma once

#include <cstdint>

// Reads "major.minor" from the start of a version subkey's name: optional
// white space, a decimal number, a full stop, optional white space, a second
// decimal number; anything after it is ignored ("8.0 SP1" is 8.0). Returns 0
// with both numbers, or -1 when the name gives no version.
int ReadVersionName(const char* name, uint32_t* major, uint32_t* minor);
