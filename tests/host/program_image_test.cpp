// `which` foresees what Windows refuses to start although the file is a
// program: a build for a machine the system can't run, and a build whose
// manifest asks for administrator rights that the launcher lacks. The builds
// are stub program files with just such a header and manifest, on systems
// and for users set up through the host layer.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

#include "app/check/check_command.h"
#include "platform/host/host_platform.h"
#include "tests/support/registry_helpers.h"

namespace {

namespace fs = std::filesystem;

void Put(std::string* bytes, size_t offset, uint32_t value, int size) {
  if (bytes->size() < offset + size) bytes->resize(offset + size, '\0');
  for (int i = 0; i < size; ++i) (*bytes)[offset + i] = static_cast<char>(value >> (8 * i) & 0xFF);
}

// Where the section holding the resources lies, as its header gives it; the
// defaults are a linker's layout: the tree at the section's start, all of the
// section stored in the file.
struct Layout {
  uint32_t tree_at = 0;          // the tree's offset within the section
  uint32_t raw_size = 0;         // SizeOfRawData; 0: the whole section
  uint32_t raw_pointer = 0x400;  // PointerToRawData
  bool type_among_named = false; // RT_MANIFEST's entry counted with the named ones
};

// A program file as a linker lays it out, reduced to what Windows reads
// before it starts one: the DOS header, the PE header with `machine`, and one
// section holding the resource tree with `manifest` as RT_MANIFEST `id`
// (none when `manifest` is null). The tree's bytes are written where
// PointerToRawData plus its offset in the section points, that sum cut to
// 32 bits: past 4 GiB, where a reader that wraps around would look.
std::string StubProgram(uint16_t machine, const std::string* manifest, uint32_t id = 1,
                        const Layout& layout = Layout()) {
  const bool pe64 = machine == kMachineAmd64 || machine == kMachineArm64;
  const uint32_t pe = 0x80, optional_size = pe64 ? 240 : 224;
  const uint32_t section_table = pe + 24 + optional_size, rva = 0x1000;
  std::string file = "MZ";
  Put(&file, 0x3C, pe, 4);
  Put(&file, pe, 0x4550, 4);  // "PE\0\0"
  Put(&file, pe + 4, machine, 2);
  Put(&file, pe + 6, 1, 2);  // one section
  Put(&file, pe + 20, optional_size, 2);
  const uint32_t optional = pe + 24, directories = optional + (pe64 ? 112 : 96);
  Put(&file, optional, pe64 ? 0x20B : 0x10B, 2);
  Put(&file, directories - 4, 16, 4);
  // The resource tree: type, name and language directories of one entry
  // each, the data entry, then the manifest.
  std::string tree;
  const uint32_t levels[] = {24, id, 0x409};
  const uint32_t tree_rva = rva + layout.tree_at;
  for (uint32_t level = 0; level < 3; ++level) {
    const uint32_t at = level * 24;
    Put(&tree, at + (level == 0 && layout.type_among_named ? 12 : 14), 1, 2);
    Put(&tree, at + 16, levels[level], 4);
    Put(&tree, at + 20, level < 2 ? (0x80000000u | (at + 24)) : at + 24, 4);
  }
  const std::string text = manifest != nullptr ? *manifest : "";
  Put(&tree, 72, tree_rva + 88, 4);
  Put(&tree, 76, static_cast<uint32_t>(text.size()), 4);
  tree.resize(88);
  tree += text;
  const uint32_t size = static_cast<uint32_t>(tree.size());
  if (manifest != nullptr) {
    Put(&file, directories + 2 * 8, tree_rva, 4);
    Put(&file, directories + 2 * 8 + 4, size, 4);
  }
  const uint32_t virtual_size = layout.tree_at + size;
  file.resize(section_table);
  file += ".rsrc";
  Put(&file, section_table + 8, virtual_size, 4);
  Put(&file, section_table + 12, rva, 4);
  Put(&file, section_table + 16, layout.raw_size != 0 ? layout.raw_size : virtual_size, 4);
  Put(&file, section_table + 20, layout.raw_pointer, 4);
  file.resize(static_cast<uint32_t>(layout.raw_pointer + layout.tree_at));
  return file + tree;
}

std::string Manifest(const std::string& trust_info) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
         "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">\n"
         "  <trustInfo xmlns=\"urn:schemas-microsoft-com:asm.v3\"><security><requestedPrivileges>\n"
         "    " + trust_info + "\n"
         "  </requestedPrivileges></security></trustInfo>\n</assembly>\n";
}

std::string Utf16(const std::string& text, bool big_endian = false) {
  std::string wide = big_endian ? "\xFE\xFF" : "\xFF\xFE";
  for (char c : text) wide += big_endian ? std::string{'\0', c} : std::string{c, '\0'};
  return wide;
}

const char kLayers[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\Layers";

TEST(WhichForesees, MachinesAndRightsThatWindowsRefuses) {
  const std::string admin = Manifest("<requestedExecutionLevel level=\"requireAdministrator\" uiAccess=\"false\"/>");
  const std::string highest = Manifest("<requestedExecutionLevel level='highestAvailable'/>");
  const std::string invoker = Manifest("<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\" />");
  const std::string prefixed = Manifest(
      "<ms_asmv2:requestedExecutionLevel xmlns:ms_asmv2=\"urn:schemas-microsoft-com:asm.v2\"\n"
      "      uiAccess = \"false\" level = \"requireAdministrator\"></ms_asmv2:requestedExecutionLevel>");
  const std::string commented = Manifest(
      "<!-- <requestedExecutionLevel level=\"requireAdministrator\"/> -->"
      "<requestedExecutionLevel level=\"asInvoker\"/>");
  const std::string admin16 = Utf16(admin), admin16_big = Utf16(admin, true);
  const uint16_t x86 = kMachineI386, x64 = kMachineAmd64, arm64 = kMachineArm64;
  // Layouts in which Windows finds no manifest, although the file holds one
  // where a careless reader would look. The part of a section past its
  // stored bytes is in memory only, as zeros: the file's bytes there are no
  // part of it.
  Layout in_tail;
  in_tail.tree_at = 0x400;
  in_tail.raw_size = 0x200;
  // The manifest's stored bytes end before its requestedExecutionLevel.
  Layout cut_short;
  cut_short.raw_size = 88 + static_cast<uint32_t>(admin.find("<requestedExecutionLevel"));
  // Windows looks for a numbered type among the numbered entries only.
  Layout among_named;
  among_named.type_among_named = true;
  // PointerToRawData plus the tree's offset passes 4 GiB: no file offset
  // reaches it, and cut to 32 bits it would point back into the file.
  Layout past_4_gib;
  past_4_gib.raw_pointer = 0xFFFFFC00u;
  past_4_gib.tree_at = 0x800;
  // A 16-bit Windows program: its DOS header points at an "NE" header.
  std::string win16 = "MZ";
  Put(&win16, 0x3C, 0x40, 4);
  Put(&win16, 0x40, 0x454E, 2);
  enum Verdict { kStarts, kWrongMachine, kNeedsElevation, kNoPeHeader };
  const struct {
    const char* name;
    std::string program;
    uint16_t native;
    bool emulates_x64, shell_elevated, administrator;
    Verdict verdict;
    const char* machine;  // as `which --json` names it; null: no PE header
    const char* level;    // null: no level asked for
    // The Compatibility tab's layers for the build: where ("HKCU", "HKLM"
    // in the 64-bit or "HKLM32" in the 32-bit view), and what; null: none.
    const char* layer_place = nullptr;
    const char* layers = nullptr;
    bool layer_found = false;
    const char* says = nullptr;  // words the error has for this row alone
    bool uac_off = false;        // EnableLUA 0
    // How "Path" names the build's folder: "\\" behind it, "/" for every
    // backslash, or "\\?\" in front; null: as it is.
    const char* path_form = nullptr;
    bool ntvdm = false;  // System32 holds NTVDM, 32-bit Windows' optional DOS subsystem
  } cases[] = {
      {"x86 on x86", StubProgram(x86, nullptr), x86, false, false, false, kStarts, "x86", nullptr},
      {"x86 on x64", StubProgram(x86, nullptr), x64, false, false, false, kStarts, "x86", nullptr},
      {"x86 on ARM64", StubProgram(x86, nullptr), arm64, false, false, false, kStarts, "x86", nullptr},
      {"x64 on x86", StubProgram(x64, nullptr), x86, false, false, false, kWrongMachine, "x64", nullptr},
      {"x64 on x64", StubProgram(x64, nullptr), x64, false, false, false, kStarts, "x64", nullptr},
      {"x64 on ARM64 without emulation", StubProgram(x64, nullptr), arm64, false, false, false,
       kWrongMachine, "x64", nullptr, nullptr, nullptr, false, "it has no x64 emulation, which came with Windows 11"},
      {"x64 on ARM64 with emulation", StubProgram(x64, nullptr), arm64, true, false, false, kStarts, "x64",
       nullptr},
      {"ARM64 on x64", StubProgram(arm64, nullptr), x64, true, false, false, kWrongMachine, "ARM64", nullptr},
      {"ARM on ARM64", StubProgram(kMachineArmNt, nullptr), arm64, false, false, false, kStarts, "ARM", nullptr},
      // 32-bit Windows hands a DOS or 16-bit program to NTVDM where that is
      // installed; WOW64 runs neither.
      {"no PE header", "MZ", x86, false, false, false, kNoPeHeader, nullptr, nullptr},
      {"no PE header, NTVDM installed", "MZ", x86, false, false, false, kStarts, nullptr, nullptr, nullptr,
       nullptr, false, nullptr, false, nullptr, true},
      {"no PE header on x64", "MZ", x64, false, false, false, kNoPeHeader, nullptr, nullptr},
      {"16-bit program on ARM64", win16, arm64, true, false, false, kNoPeHeader, nullptr, nullptr},
      {"requireAdministrator, standard user", StubProgram(x86, &admin), x64, false, false, false,
       kNeedsElevation, "x86", "requireAdministrator"},
      {"requireAdministrator, administrator under UAC", StubProgram(x86, &admin), x64, false,
       false, true, kNeedsElevation, "x86", "requireAdministrator"},
      {"requireAdministrator, shell elevated", StubProgram(x86, &admin), x64, false, true, true,
       kStarts, "x86", "requireAdministrator"},
      {"highestAvailable, administrator under UAC", StubProgram(x86, &highest), x64, false, false,
       true, kNeedsElevation, "x86", "highestAvailable"},
      {"highestAvailable, standard user", StubProgram(x86, &highest), x64, false, false, false,
       kStarts, "x86", "highestAvailable"},
      {"asInvoker, administrator under UAC", StubProgram(x86, &invoker), x64, false, false, true,
       kStarts, "x86", "asInvoker"},
      {"prefixed element, attributes spaced", StubProgram(x86, &prefixed), x64, false, false, false,
       kNeedsElevation, "x86", "requireAdministrator"},
      {"commented out", StubProgram(x86, &commented), x64, false, false, false, kStarts, "x86",
       "asInvoker"},
      {"UTF-16 manifest", StubProgram(x86, &admin16), x64, false, false, false,
       kNeedsElevation, "x86", "requireAdministrator"},
      {"UTF-16 big-endian manifest", StubProgram(x86, &admin16_big), x64, false, false, false,
       kNeedsElevation, "x86", "requireAdministrator"},
      {"x64 manifest asks", StubProgram(x64, &admin), x64, false, false, false, kNeedsElevation,
       "x64", "requireAdministrator"},
      // Windows applies the manifest with ID 1 to a program; others are for
      // its DLLs.
      {"manifest not ID 1", StubProgram(x86, &admin, 2), x64, false, false, false, kStarts, "x86",
       nullptr},
      {"resource tree in the section's memory-only tail", StubProgram(x86, &admin, 1, in_tail), x64, false,
       false, false, kStarts, "x86", nullptr},
      {"manifest running on into the memory-only tail", StubProgram(x86, &admin, 1, cut_short), x64, false,
       false, false, kStarts, "x86", nullptr},
      {"manifest's type counted among the named entries", StubProgram(x86, &admin, 1, among_named), x64,
       false, false, false, kStarts, "x86", nullptr},
      {"resource tree past 4 GiB into the file", StubProgram(x86, &admin, 1, past_4_gib), x64, false, false,
       false, kStarts, "x86", nullptr},
      // The machine is what Windows refuses first.
      {"wrong machine asking for rights", StubProgram(x64, &admin), x86, false, false, false,
       kWrongMachine, "x64", "requireAdministrator"},
      // "Run this program as an administrator" asks for the rights as
      // requireAdministrator does.
      {"run as administrator for this user", StubProgram(x86, nullptr), x64, false, false, false,
       kNeedsElevation, "x86", nullptr, "HKCU", "~ RUNASADMIN", true},
      {"run as administrator for all users, administrator under UAC", StubProgram(x86, nullptr), x64,
       false, false, true, kNeedsElevation, "x86", nullptr, "HKLM", "RUNASADMIN", true},
      {"run as administrator in the 32-bit view", StubProgram(x86, nullptr), x64, false, false, false,
       kNeedsElevation, "x86", nullptr, "HKLM32", "$ win7rtm runasadmin", true},
      {"run as administrator, shell elevated", StubProgram(x86, nullptr), x64, false, true, true, kStarts,
       "x86", nullptr, "HKCU", "~ RUNASADMIN", true},
      {"run as administrator for another program", StubProgram(x86, nullptr), x64, false, false, false,
       kStarts, "x86", nullptr, "HKCU, another program", "~ RUNASADMIN", false},
      {"other layers only", StubProgram(x86, nullptr), x64, false, false, false, kStarts, "x86", nullptr,
       "HKCU", "~ WIN8RTM HIGHDPIAWARE RUNASADMINX", false},
      // Windows keeps the layer under the program's full path, whatever form
      // "Path" gives its folder in.
      {"run as administrator, Path with a trailing backslash", StubProgram(x86, nullptr), x64, false, false,
       false, kNeedsElevation, "x86", nullptr, "HKLM", "RUNASADMIN", true, nullptr, false, "\\"},
      {"run as administrator, Path with slashes", StubProgram(x86, nullptr), x64, false, false, false,
       kNeedsElevation, "x86", nullptr, "HKCU", "RUNASADMIN", true, nullptr, false, "/"},
      {"run as administrator, Path behind \\\\?\\", StubProgram(x86, nullptr), x64, false, false, false,
       kNeedsElevation, "x86", nullptr, "HKCU", "RUNASADMIN", true, nullptr, false, "\\\\?\\"},
      // Without User Account Control nothing is elevated, and nothing refused.
      {"requireAdministrator, User Account Control off", StubProgram(x86, &admin), x64, false, false, false,
       kStarts, "x86", "requireAdministrator", nullptr, nullptr, false, nullptr, true},
      {"run as administrator, User Account Control off", StubProgram(x86, nullptr), x64, false, false, true,
       kStarts, "x86", nullptr, "HKCU", "~ RUNASADMIN", true, nullptr, true},
  };

  const fs::path base = fs::temp_directory_path() / ("image-" + std::to_string(getpid()));
  fs::remove_all(base);
  fs::create_directories(base / "Morvo 9.5" / "Exec32");
  std::ofstream(base / "model.cfg", std::ios::binary) << "xMorvo model\r\n";
  const std::string exe = (base / "Morvo 9.5" / "Exec32" / "Morvo32.exe").string();
  for (const auto& c : cases) {
    // The UTF-16 case's stub holds zero bytes: written whole, not as a C string.
    std::ofstream(exe, std::ios::binary | std::ios::trunc).write(c.program.data(), c.program.size());
    ResetHostPlatform();
    if (c.ntvdm) {
      fs::create_directories(base / "Windows" / "System32");
      std::ofstream(base / "Windows" / "System32" / "ntvdm.exe") << "MZ";
      SetWindowsFolder(AsWindowsPath(base / "Windows"));
      SetSeparate64BitView(false);  // 32-bit Windows redirects no System32
    }
    std::string path = AsWindowsPath(base / "Morvo 9.5");
    const std::string form = c.path_form != nullptr ? c.path_form : "";
    if (form == "/") std::replace(path.begin(), path.end(), '\\', '/');
    path = form == "\\" ? path + form : form == "\\\\?\\" ? form + path : path;
    ASSERT_TRUE(WriteString(kLocalMachine, "SOFTWARE\\KESTAL\\Morvo\\9.5", "Path", path, kKeyWow64_32Key));
    if (c.uac_off) {
      ASSERT_TRUE(WriteValue(kLocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System",
                             "EnableLUA", kRegDword, std::string(4, '\0'), kKeyWow64_64Key));
    }
    SetSystemMachine(c.native, c.emulates_x64);
    SetElevation(c.shell_elevated, c.administrator);
    if (c.layer_place != nullptr) {
      const std::string place = c.layer_place;
      const std::string layers = kLayers;
      const std::string program = AsWindowsPath(exe) + (place == "HKCU, another program" ? ".old" : "");
      ASSERT_TRUE(WriteString(place.compare(0, 4, "HKCU") == 0 ? kCurrentUser : kLocalMachine, layers, program,
                              c.layers, place == "HKLM32" ? kKeyWow64_32Key : place == "HKLM" ? kKeyWow64_64Key : 0));
    }

    std::string out, err;
    const int result = RunCheck({"which", AsWindowsPath(base / "model.cfg"), "--json"}, &out, &err);
    const nlohmann::json report = nlohmann::json::parse(out);
    EXPECT_EQ(result, c.verdict == kStarts ? 0 : 1) << c.name;
    EXPECT_EQ(report["exit_code"], c.verdict == kStarts ? 0 : -1) << c.name;
    EXPECT_EQ(report["machine"], c.machine ? nlohmann::json(c.machine) : nlohmann::json()) << c.name;
    EXPECT_EQ(report["execution_level"], c.level ? nlohmann::json(c.level) : nlohmann::json()) << c.name;
    const std::string error = report["error"].is_null() ? "" : std::string(report["error"]);
    EXPECT_EQ(error.find("Windows can't run") != std::string::npos, c.verdict == kWrongMachine)
        << c.name << ": " << error;
    EXPECT_EQ(error.find("error 740") != std::string::npos, c.verdict == kNeedsElevation)
        << c.name << ": " << error;
    EXPECT_EQ(report["run_as_admin_layer"], !c.layer_found ? nlohmann::json()
                                            : nlohmann::json(std::string(c.layer_place, 4) + "\\" + kLayers))
        << c.name;
    EXPECT_EQ(error.find("no PE header") != std::string::npos, c.verdict == kNoPeHeader)
        << c.name << ": " << error;
    EXPECT_EQ(OpenKeyCount(), 0) << c.name;
    if (c.says != nullptr) {
      EXPECT_NE(error.find(c.says), std::string::npos) << c.name << ": " << error;
    }
    // The text names the same step.
    RunCheck({"which", AsWindowsPath(base / "model.cfg")}, &out, &err);
    EXPECT_NE(out.find(c.verdict == kStarts ? "and exit with 0" : error), std::string::npos)
        << c.name << ": " << out;
  }
  fs::remove_all(base);
}

}  // namespace
