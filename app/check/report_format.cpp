#include "app/check/report_format.h"

#include <cstdio>

#include "platform/platform.h"

namespace {

std::string Hex(unsigned char c) {
  char text[8];
  std::snprintf(text, sizeof text, "%02x", c);
  return text;
}

}  // namespace

std::string JsonString(const std::string& ansi) { return JsonUtf8String(AnsiToUtf8(ansi)); }

std::string JsonUtf8String(const std::string& utf8) {
  std::string json = "\"";
  for (unsigned char c : utf8) {
    switch (c) {
      case '"': json += "\\\""; break;
      case '\\': json += "\\\\"; break;
      case '\b': json += "\\b"; break;
      case '\f': json += "\\f"; break;
      case '\n': json += "\\n"; break;
      case '\r': json += "\\r"; break;
      case '\t': json += "\\t"; break;
      default:
        if (c < 0x20) {
          json += "\\u00" + Hex(c);
        } else {
          json += static_cast<char>(c);
        }
    }
  }
  return json + "\"";
}

std::string JsonStringOr(bool present, const std::string& ansi) {
  return present ? JsonString(ansi) : "null";
}

std::string ShowControls(const std::string& bytes) {
  std::string shown;
  for (unsigned char c : bytes) {
    switch (c) {
      case '\t': shown += "\\t"; break;
      case '\r': shown += "\\r"; break;
      case '\n': shown += "\\n"; break;
      default:
        if (c < 0x20 || c == 0x7F) {
          shown += "\\x" + Hex(c);
        } else {
          shown += static_cast<char>(c);
        }
    }
  }
  return shown;
}

std::string AlignColumns(const std::vector<std::vector<std::string>>& rows,
                         const std::string& indent) {
  std::vector<size_t> widths;
  for (const auto& row : rows) {
    for (size_t i = 0; i < row.size(); ++i) {
      if (widths.size() <= i) widths.push_back(0);
      if (row[i].size() > widths[i]) widths[i] = row[i].size();
    }
  }
  std::string text;
  for (const auto& row : rows) {
    std::string line = indent;
    for (size_t i = 0; i < row.size(); ++i) {
      line += row[i];
      if (i + 1 < row.size()) line += std::string(widths[i] - row[i].size() + 2, ' ');
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    text += line + "\n";
  }
  return text;
}

std::string VersionText(unsigned major, unsigned minor) {
  return std::to_string(major) + "." + std::to_string(minor);
}
