#include "app/check/compatibility_layers.h"

#include <vector>

#include "app/check/same_letters.h"
#include "platform/platform.h"

namespace {

const char kLayers[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\Layers";

bool IsSpace(char c) { return c == ' ' || c == '\t'; }

// Whether the layers of one value ("~ RUNASADMIN WIN8RTM", say: blank
// between layers, a leading "~" or "$" for how they were set) name it.
bool NamesRunAsAdministrator(const std::string& layers) {
  for (size_t at = 0; at < layers.size();) {
    while (at < layers.size() && IsSpace(layers[at])) ++at;
    size_t end = at;
    while (end < layers.size() && !IsSpace(layers[end])) ++end;
    if (end > at && SameLetters(layers.substr(at, end - at), "RUNASADMIN")) return true;
    at = end;
  }
  return false;
}

bool LayerSet(RegistryKey hive, uint32_t view, const std::string& exe_path) {
  RegistryKey key = nullptr;
  if (OpenRegistryKey(hive, kLayers, 0, kKeyQueryValue | view, &key) != 0) return false;
  std::vector<unsigned char> data(1024);
  uint32_t size = static_cast<uint32_t>(data.size() - 1);
  uint32_t type = 0;
  const bool set = QueryRegistryValue(key, exe_path.c_str(), &type, data.data(), &size) == 0 &&
                   type == kRegSz && NamesRunAsAdministrator(reinterpret_cast<const char*>(data.data()));
  CloseRegistryKey(key);
  return set;
}

}  // namespace

// The value is named after the program's full path. The machine's layers are
// looked for in both registry views: Explorer, a 64-bit program on 64-bit
// Windows, writes them in its own.
std::string RunAsAdministratorLayer(const std::string& exe_path) {
  std::string known;
  if (ProgramPathAsWindowsKnowsIt(exe_path, &known) != 0) return std::string();
  const struct {
    RegistryKey hive;
    const char* name;
    uint32_t view;
  } places[] = {
      {kCurrentUser, "HKCU", 0},
      {kLocalMachine, "HKLM", kKeyWow64_64Key},
      {kLocalMachine, "HKLM", kKeyWow64_32Key},
  };
  for (const auto& place : places) {
    if (LayerSet(place.hive, place.view, known)) return std::string(place.name) + "\\" + kLayers;
  }
  return std::string();
}

// Where the value is missing, or is no number, Windows has User Account
// Control on. The policy is the machine's, in the native registry view.
bool UserAccountControlOn() {
  RegistryKey key = nullptr;
  if (OpenRegistryKey(kLocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System", 0,
                      kKeyQueryValue | kKeyWow64_64Key, &key) != 0) {
    return true;
  }
  unsigned char data[4] = {};
  uint32_t size = sizeof data, type = 0;
  const bool off = QueryRegistryValue(key, "EnableLUA", &type, data, &size) == 0 && type == kRegDword &&
                   size == sizeof data && (data[0] | data[1] | data[2] | data[3]) == 0;
  CloseRegistryKey(key);
  return !off;
}
