#include "config_probe/probe_configuration.h"

#include <cstring>

#include "platform/platform.h"

namespace {

struct ToolName {
  const char* text;
  ToolKind kind;
};

// Searched in this order: a line naming both tools belongs to Morvo.
const ToolName kToolNames[] = {
    {"Morvo", kToolMorvo},
    {"Tessaline", kToolTessaline},
};

constexpr int kFirstLineSize = 260;

// The tools write one byte of their own ahead of the header line, so the
// line is read from the second byte on.
constexpr uint32_t kHeaderOffset = 1;

}  // namespace

int ProbeConfiguration(const char* path, ToolKind* kind, ProbeTrace* trace) {
  // Room for the longest line we look at plus its line feed, so that the
  // line can be cut at the feed without reading further.
  char text[kFirstLineSize] = {};
  uint32_t length = 0;
  if (ReadTextFile(path, kHeaderOffset, text, sizeof text, &length) != 0) return -1;

  char line[kFirstLineSize] = {};
  uint32_t line_length = 0;
  for (; line_length < length && line_length < kFirstLineSize - 1 && text[line_length] != '\n';
       ++line_length) {
    line[line_length] = text[line_length];
  }
  if (trace != nullptr) {
    trace->opened = true;
    trace->line.assign(line, line_length);
  }

  // The line is searched as a C string: a zero byte ends it.
  for (const ToolName& name : kToolNames) {
    if (std::strstr(line, name.text) != nullptr) {
      *kind = name.kind;
      return 0;
    }
  }
  return -1;
}
