#include "app/check/program_image.h"

#include <cstdio>
#include <vector>

#include "platform/platform.h"

namespace {

// Resource types and names Windows looks up a process's manifest by.
constexpr uint32_t kResourceManifest = 24;         // RT_MANIFEST
constexpr uint32_t kProcessManifestId = 1;         // CREATEPROCESS_MANIFEST_RESOURCE_ID
constexpr uint32_t kResourceDirectoryIndex = 2;    // IMAGE_DIRECTORY_ENTRY_RESOURCE
constexpr uint16_t kOptionalHeader32 = 0x10B;
constexpr uint16_t kOptionalHeader64 = 0x20B;
// Bounds on what is read of a file that may be anything: a real header and
// manifest are far smaller.
constexpr uint32_t kMaxSections = 96;
constexpr uint32_t kMaxResourceBytes = 4u << 20;
constexpr uint32_t kMaxManifestBytes = 1u << 20;

// Offsets are summed in 64 bits: fields read from a file that may be
// anything can be as large as 32 bits allow, and a sum that wraps around
// would point back into the file.
constexpr uint64_t kMaxFileOffset = 0xFFFFFFFFu;

// Little-endian fields of `bytes`; 0 where `bytes` ends before the field.
uint32_t Field(const std::string& bytes, uint64_t offset, int size) {
  if (offset > bytes.size() || bytes.size() - offset < static_cast<uint64_t>(size)) return 0;
  uint32_t value = 0;
  for (int i = size - 1; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[offset + i]);
  return value;
}
uint16_t Word(const std::string& bytes, uint64_t offset) {
  return static_cast<uint16_t>(Field(bytes, offset, 2));
}
uint32_t Dword(const std::string& bytes, uint64_t offset) { return Field(bytes, offset, 4); }

// Bytes of the file at an offset summed from its fields; -1 for one that no
// file offset can reach.
int ReadAt(const char* path, uint64_t offset, uint64_t count, std::string* bytes) {
  if (offset > kMaxFileOffset || count > kMaxFileOffset) return -1;
  return ReadFileBytes(path, static_cast<uint32_t>(offset), static_cast<uint32_t>(count), bytes);
}

struct Section {
  uint32_t address, virtual_size, raw_offset, raw_size;
};

// The file offset where a relative virtual address is stored, and how many
// bytes of the section follow it there; false where no section stores it.
bool FileOffset(const std::vector<Section>& sections, uint32_t rva, uint32_t* offset, uint32_t* left) {
  for (const Section& s : sections) {
    uint32_t extent = s.virtual_size > s.raw_size ? s.virtual_size : s.raw_size;
    if (rva < s.address || rva - s.address >= extent) continue;
    if (rva - s.address >= s.raw_size) return false;  // in memory only, never in the file
    const uint64_t at = uint64_t{s.raw_offset} + (rva - s.address);
    if (at > kMaxFileOffset) return false;
    *offset = static_cast<uint32_t>(at);
    *left = s.raw_size - (rva - s.address);
    return true;
  }
  return false;
}

// The entry with the numeric name `id` of the resource directory at
// `directory` (an offset into the resource data); `any` takes the first
// numeric entry, as for the language. Its data offset, or 0 for none.
uint32_t ResourceEntry(const std::string& resources, uint32_t directory, uint32_t id, bool any) {
  const uint32_t named = Word(resources, uint64_t{directory} + 12);
  const uint32_t numbered = Word(resources, uint64_t{directory} + 14);
  for (uint32_t i = named; i < named + numbered; ++i) {
    const uint64_t entry = uint64_t{directory} + 16 + uint64_t{i} * 8;
    if (entry + 8 > resources.size()) return 0;
    const uint32_t name = Dword(resources, entry);
    if ((name & 0x80000000u) == 0 && (any || name == id)) return Dword(resources, entry + 4);
  }
  return 0;
}

// The manifest that Windows applies when it starts the program: resource
// type RT_MANIFEST, ID 1, in its first language. Empty when there is none.
std::string ReadManifest(const char* path, const std::string& optional, uint16_t magic,
                         const std::vector<Section>& sections) {
  const size_t directories = magic == kOptionalHeader32 ? 96 : 112;
  const uint32_t directory_count = Dword(optional, directories - 4);
  if (directory_count <= kResourceDirectoryIndex) return std::string();
  const uint32_t rva = Dword(optional, directories + kResourceDirectoryIndex * 8);
  uint32_t size = Dword(optional, directories + kResourceDirectoryIndex * 8 + 4);
  uint32_t offset = 0, left = 0;
  if (rva == 0 || size == 0 || !FileOffset(sections, rva, &offset, &left)) return std::string();
  if (size > left) size = left;
  if (size > kMaxResourceBytes) size = kMaxResourceBytes;
  std::string resources;
  if (ReadAt(path, offset, size, &resources) != 0) return std::string();

  // Three levels: type, name, language; the first two lead to directories
  // (high bit set), the last to a data entry.
  uint32_t next = 0;
  const uint32_t levels[2] = {kResourceManifest, kProcessManifestId};
  for (uint32_t id : levels) {
    const uint32_t entry = ResourceEntry(resources, next, id, false);
    if ((entry & 0x80000000u) == 0) return std::string();
    next = entry & 0x7FFFFFFFu;
  }
  const uint32_t language = ResourceEntry(resources, next, 0, true);
  if (language == 0 || (language & 0x80000000u) != 0) return std::string();
  const uint32_t data_rva = Dword(resources, language);
  uint32_t data_size = Dword(resources, uint64_t{language} + 4);
  if (uint64_t{language} + 8 > resources.size() || !FileOffset(sections, data_rva, &offset, &left)) {
    return std::string();
  }
  if (data_size > left) data_size = left;
  if (data_size > kMaxManifestBytes) data_size = kMaxManifestBytes;
  std::string manifest;
  if (ReadAt(path, offset, data_size, &manifest) != 0) return std::string();
  return manifest;
}

// The manifest's text with its ASCII characters where they are: UTF-16 (by
// its byte order mark) is narrowed, other characters become '?'. The names
// and values looked for are all ASCII.
std::string AsciiText(const std::string& manifest) {
  if (manifest.size() >= 2) {
    const unsigned char first = static_cast<unsigned char>(manifest[0]);
    const unsigned char second = static_cast<unsigned char>(manifest[1]);
    if ((first == 0xFF && second == 0xFE) || (first == 0xFE && second == 0xFF)) {
      const size_t low = first == 0xFF ? 0 : 1;
      std::string text;
      for (size_t i = 2; i + 1 < manifest.size(); i += 2) {
        const char c = manifest[i + low], high = manifest[i + 1 - low];
        text += high == 0 && static_cast<unsigned char>(c) < 0x80 ? c : '?';
      }
      return text;
    }
  }
  return manifest;
}

bool IsXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

int ReadProgramImage(const char* path, ProgramImage* image) {
  *image = ProgramImage();
  std::string dos;
  if (ReadFileBytes(path, 0, 64, &dos) != 0) return -1;
  image->is_program = dos.size() >= 2 && dos[0] == 'M' && dos[1] == 'Z';
  if (!image->is_program || dos.size() < 64) return 0;

  // Without the "PE" signature where the DOS header points, the file is an
  // old DOS program or something else again: no machine to compare.
  const uint64_t pe = Dword(dos, 0x3C);
  std::string file_header;
  if (ReadAt(path, pe, 24, &file_header) != 0 || file_header.size() < 24 ||
      file_header.compare(0, 4, std::string("PE\0\0", 4)) != 0) {
    return 0;
  }
  image->machine = Word(file_header, 4);

  const uint32_t section_count = Word(file_header, 6);
  const uint32_t optional_size = Word(file_header, 20);
  std::string optional;
  if (ReadAt(path, pe + 24, optional_size, &optional) != 0) return 0;
  const uint16_t magic = Word(optional, 0);
  if ((magic != kOptionalHeader32 && magic != kOptionalHeader64) || section_count > kMaxSections) {
    return 0;
  }
  std::string table;
  if (ReadAt(path, pe + 24 + optional_size, uint64_t{section_count} * 40, &table) != 0) return 0;
  std::vector<Section> sections;
  for (size_t at = 0; at + 40 <= table.size(); at += 40) {
    sections.push_back({Dword(table, at + 12), Dword(table, at + 8), Dword(table, at + 20),
                        Dword(table, at + 16)});
  }
  image->execution_level =
      ManifestExecutionLevel(ReadManifest(path, optional, magic, sections));
  return 0;
}

std::string ManifestExecutionLevel(const std::string& manifest) {
  std::string text = AsciiText(manifest);
  // Comments say nothing to Windows.
  for (size_t open; (open = text.find("<!--")) != std::string::npos;) {
    size_t close = text.find("-->", open + 4);
    text.erase(open, close == std::string::npos ? std::string::npos : close + 3 - open);
  }
  const std::string element = "requestedExecutionLevel";
  for (size_t at = text.find(element); at != std::string::npos; at = text.find(element, at + 1)) {
    // The element itself, with or without a namespace prefix, not an
    // attribute or text that happens to hold the word.
    const char before = at > 0 ? text[at - 1] : '\0';
    const size_t after = at + element.size();
    if ((before != '<' && before != ':') || after >= text.size() ||
        !(IsXmlSpace(text[after]) || text[after] == '/' || text[after] == '>')) {
      continue;
    }
    const size_t end = text.find('>', after);
    const std::string tag = text.substr(after, end == std::string::npos ? std::string::npos : end - after);
    for (size_t name = tag.find("level"); name != std::string::npos; name = tag.find("level", name + 1)) {
      if (name == 0 || !IsXmlSpace(tag[name - 1])) continue;
      size_t p = name + 5;
      while (p < tag.size() && IsXmlSpace(tag[p])) ++p;
      if (p >= tag.size() || tag[p] != '=') continue;
      ++p;
      while (p < tag.size() && IsXmlSpace(tag[p])) ++p;
      if (p >= tag.size() || (tag[p] != '"' && tag[p] != '\'')) continue;
      const size_t close = tag.find(tag[p], p + 1);
      if (close == std::string::npos) return std::string();
      return tag.substr(p + 1, close - p - 1);
    }
    return std::string();
  }
  return std::string();
}

bool MachineRuns(uint16_t machine, uint16_t native, bool emulates_x64) {
  if (machine == native) return true;
  // What WOW64 and the x64 emulation run beside the native programs.
  const struct {
    uint16_t native;
    uint16_t machine;
    bool needs_x64_emulation;
  } guests[] = {
      {kMachineAmd64, kMachineI386, false},
      {kMachineArm64, kMachineI386, false},
      {kMachineArm64, kMachineArmNt, false},
      {kMachineArm64, kMachineAmd64, true},
  };
  for (const auto& guest : guests) {
    if (guest.native == native && guest.machine == machine) {
      return !guest.needs_x64_emulation || emulates_x64;
    }
  }
  return false;
}

bool StartNeedsElevation(const std::string& level, bool elevated, bool administrator) {
  if (elevated) return false;
  if (level == "requireAdministrator") return true;
  return level == "highestAvailable" && administrator;
}

std::string MachineName(uint16_t machine) {
  switch (machine) {
    case kMachineI386: return "x86";
    case kMachineAmd64: return "x64";
    case kMachineArm64: return "ARM64";
    case kMachineArmNt: return "ARM";
  }
  char text[16];
  std::snprintf(text, sizeof text, "0x%04X", machine);
  return std::string("machine ") + text;
}
