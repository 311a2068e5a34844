// The platform layer on Linux, for the unit tests.
//
// The registry is a tree in memory that follows the Win32 rules the launcher
// relies on: names compared without regard to case and enumerated in sorted
// order, the 32-bit view of HKLM\SOFTWARE redirected to Wow6432Node, deleting a
// key that still has subkeys refused, short buffers answered with
// ERROR_MORE_DATA. Files are the real POSIX ones, with backslashes read as
// slashes and a drive letter taken for the Linux root. Nothing is ever
// started: the command line is recorded instead.
#include "platform/host/host_platform.h"

#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <map>
#include <new>
#include <memory>

namespace {

// Compares names without regard to case. A name outside the code page is
// kept with a zero byte in front (see CreateKeyOutsideCodePage), so the
// comparison goes on past a zero byte to the ends of both strings.
struct CaseInsensitiveLess {
  bool operator()(const std::string& a, const std::string& b) const {
    for (size_t i = 0;;) {
      int order = strcasecmp(a.c_str() + i, b.c_str() + i);
      if (order != 0) return order < 0;
      i += std::strlen(a.c_str() + i) + 1;
      if (i > a.size() || i > b.size()) return a.size() < b.size();
    }
  }
};

struct FakeValue {
  uint32_t type = kRegNone;
  std::vector<unsigned char> data;
  bool exact = true;  // false: a string with a character the code page lacks
};

struct FakeKey {
  std::string name;
  FakeKey* parent = nullptr;
  bool deleted = false;
  bool exact = true;  // false: a name with a character the code page lacks
  std::map<std::string, FakeValue, CaseInsensitiveLess> values;
  std::map<std::string, std::shared_ptr<FakeKey>, CaseInsensitiveLess> subkeys;
};

struct OpenKey {
  std::shared_ptr<FakeKey> node;
  uintptr_t root;                     // the predefined root the key lies under
  std::vector<std::string> path;      // logical path below the root, as the caller named it
};

struct Fault {
  std::string function;  // empty: any function
  int remaining;
  long error;
  int times;  // how many calls in a row it takes over
};

using SubkeyMap = std::map<std::string, std::shared_ptr<FakeKey>, CaseInsensitiveLess>;

// Where the last enumeration by index stood. A scan asks for 0, 1, 2, ... in
// turn, and a map can only count its way to an index; remembering the last
// position makes each step one increment instead of a walk from the start,
// so a scan of n subkeys costs n steps rather than n * n / 2.
struct EnumerationCursor {
  const FakeKey* node = nullptr;  // nullptr: nothing remembered
  size_t index = 0;
  SubkeyMap::const_iterator position;
};

struct HostState {
  std::map<uintptr_t, std::shared_ptr<FakeKey>> roots;
  std::map<uintptr_t, OpenKey> open_keys;
  uintptr_t next_handle = 0x1000;
  std::vector<PlatformCall> calls;
  std::vector<Fault> faults;
  int fired_faults = 0;
  std::string command_line = "ZandrellLauncher.exe";
  bool command_line_exact = true;
  unsigned char lead_first = 1, lead_last = 0;
  std::string module_path = "C:\\Program Files\\Zandrell\\ZandrellLauncher.exe";
  bool module_path_exact = true;
  uint16_t ui_language = 0x0409;
  uint32_t start_result = 33;
  std::vector<StartedProgram> started;
  int notifications = 0;
  std::map<std::string, std::string, CaseInsensitiveLess> environment;
  // Forgotten whenever a key is added or removed anywhere: indices shift.
  EnumerationCursor cursor;
};

HostState& State() {
  static HostState state;
  return state;
}

constexpr size_t kMaxKeyNameLength = 255;
constexpr long kErrorInvalidParameter = 87;

bool IsPredefined(RegistryKey key) {
  uintptr_t value = reinterpret_cast<uintptr_t>(key);
  return value >= 0x80000000u && value <= 0x80000002u;
}

constexpr uintptr_t kClassesRootValue = 0x80000000u;
constexpr uintptr_t kLocalMachineValue = 0x80000002u;

std::shared_ptr<FakeKey> Walk(uintptr_t root, const std::vector<std::string>& physical, bool create);

// HKEY_CLASSES_ROOT is shown as Wine shows it: HKLM\SOFTWARE\Classes itself,
// without Windows' merge of the user's own classes over it. That key is there
// on every machine.
std::shared_ptr<FakeKey> Root(uintptr_t root) {
  if (root == kClassesRootValue) return Walk(kLocalMachineValue, {"SOFTWARE", "Classes"}, true);
  auto& slot = State().roots[root];
  if (!slot) {
    slot = std::make_shared<FakeKey>();
    if (root == kLocalMachineValue) Walk(root, {"SOFTWARE", "Classes"}, true);
  }
  return slot;
}

// Records a call and decides whether an injected fault takes it over.
bool Record(const char* function, const std::string& argument, RegistryKey key, long* error) {
  HostState& state = State();
  state.calls.push_back({function, argument, key, 0, nullptr});
  for (auto it = state.faults.begin(); it != state.faults.end(); ++it) {
    if (!it->function.empty() && it->function != function) continue;
    if (--it->remaining > 0) continue;
    *error = it->error;
    if (--it->times == 0) state.faults.erase(it);
    ++state.fired_faults;
    state.calls.back().result = *error;
    if (*error == kThrowOutOfMemory) throw std::bad_alloc();
    return true;
  }
  return false;
}

long Finish(long result) {
  State().calls.back().result = result;
  return result;
}

// Windows reads a path in the ANSI code page by its characters: the trail
// byte of a double-byte character is no backslash even where it is 0x5C.
std::vector<std::string> SplitPath(const char* path) {
  std::vector<std::string> parts;
  if (path == nullptr) return parts;
  std::string part;
  for (const char* p = path; *p != '\0'; ++p) {
    if (IsLeadByte(static_cast<unsigned char>(*p)) && p[1] != '\0') {
      part += *p++;
      part += *p;
    } else if (*p == '\\') {
      if (!part.empty()) parts.push_back(part);
      part.clear();
    } else {
      part += *p;
    }
  }
  if (!part.empty()) parts.push_back(part);
  return parts;
}

// A 32-bit process on 64-bit Windows sees HKLM\SOFTWARE through Wow6432Node
// unless it asks for the 64-bit view; HKLM\SOFTWARE\Classes is shared by both
// views (apart from COM's subkeys, which nothing here touches). 32-bit
// Windows has one view, and the view flags change nothing there.
std::vector<std::string> PhysicalPath(uintptr_t root, std::vector<std::string> path,
                                      uint32_t access) {
  bool software = root == kLocalMachineValue && !path.empty() && strcasecmp(path[0].c_str(), "SOFTWARE") == 0;
  bool already = path.size() > 1 && (strcasecmp(path[1].c_str(), "Wow6432Node") == 0 ||
                                     strcasecmp(path[1].c_str(), "Classes") == 0);
  if (software && !already && (access & kKeyWow64_64Key) == 0 && HasSeparate64BitView()) {
    path.insert(path.begin() + 1, "Wow6432Node");
  }
  return path;
}

// Finds the key a handle names; nullptr with an error code when it can't.
const OpenKey* Lookup(RegistryKey key, long* error, OpenKey* scratch) {
  if (IsPredefined(key)) {
    scratch->root = reinterpret_cast<uintptr_t>(key);
    scratch->node = Root(scratch->root);
    scratch->path.clear();
    return scratch;
  }
  auto it = State().open_keys.find(reinterpret_cast<uintptr_t>(key));
  if (it == State().open_keys.end()) {
    *error = kErrorInvalidHandle;
    return nullptr;
  }
  if (it->second.node->deleted) {
    *error = kErrorKeyDeleted;
    return nullptr;
  }
  return &it->second;
}

std::shared_ptr<FakeKey> Walk(uintptr_t root, const std::vector<std::string>& physical, bool create) {
  std::shared_ptr<FakeKey> node = Root(root);
  for (const std::string& part : physical) {
    auto it = node->subkeys.find(part);
    if (it == node->subkeys.end()) {
      if (!create) return nullptr;
      auto child = std::make_shared<FakeKey>();
      child->name = part;
      child->parent = node.get();
      it = node->subkeys.emplace(part, child).first;
      State().cursor.node = nullptr;
    }
    node = it->second;
  }
  return node;
}

long OpenOrCreate(const char* function, RegistryKey parent, const char* sub_key, uint32_t access,
                  bool create, RegistryKey* key) {
  *key = nullptr;
  long error = 0;
  if (Record(function, sub_key ? sub_key : "", parent, &error)) return error;
  // Opening a predefined root itself hands back the predefined handle.
  if (!create && IsPredefined(parent) && (sub_key == nullptr || *sub_key == '\0')) {
    *key = parent;
    return Finish(0);
  }
  OpenKey scratch;
  const OpenKey* base = Lookup(parent, &error, &scratch);
  if (base == nullptr) return Finish(error);
  std::vector<std::string> path = base->path;
  for (const std::string& part : SplitPath(sub_key)) {
    if (part.size() > kMaxKeyNameLength) return Finish(kErrorInvalidParameter);
    path.push_back(part);
  }
  std::shared_ptr<FakeKey> node = Walk(base->root, PhysicalPath(base->root, path, access), create);
  if (!node) return Finish(kErrorFileNotFound);
  uintptr_t handle = State().next_handle += 4;
  State().open_keys[handle] = OpenKey{node, base->root, path};
  *key = reinterpret_cast<RegistryKey>(handle);
  State().calls.back().opened = *key;
  return Finish(0);
}

}  // namespace

// ---- test controls ----

void ResetHostPlatform() {
  State() = HostState();
  SetSystemMachine(kMachineAmd64);
  SetElevation(false, false);
  SetSeparate64BitView(true);
  SetWindowsFolder("");
}
void ClearRecordedCalls() { State().calls.clear(); }
const std::vector<PlatformCall>& RecordedCalls() { return State().calls; }
void FailCall(const std::string& function, int occurrence, long error, int times) {
  State().faults.push_back({function, occurrence, error, times});
}
void FailCallNumber(int number, long error) { State().faults.push_back({"", number, error, 1}); }
int FiredFaults() { return State().fired_faults; }
int OpenKeyCount() { return static_cast<int>(State().open_keys.size()); }
void SetProcessCommandLine(const std::string& command_line, bool exact) {
  State().command_line = command_line;
  State().command_line_exact = exact;
}
void SetLeadBytes(unsigned char first, unsigned char last) {
  State().lead_first = first;
  State().lead_last = last;
}
void SetOwnModulePath(const std::string& path, bool exact) {
  State().module_path = path;
  State().module_path_exact = exact;
}

// A name outside the code page is kept under its name with a zero byte in
// front: no name the logic can pass (a C string) reaches it, as on Windows no
// ANSI name reaches a key whose Unicode name has no ANSI form.
bool CreateKeyOutsideCodePage(RegistryKey root, const std::string& parent,
                              const std::string& name, uint32_t access) {
  uintptr_t base = reinterpret_cast<uintptr_t>(root);
  std::shared_ptr<FakeKey> node = Walk(base, PhysicalPath(base, SplitPath(parent.c_str()), access), true);
  std::string key = std::string(1, '\0') + name;
  auto child = std::make_shared<FakeKey>();
  child->name = key;
  child->parent = node.get();
  child->exact = false;
  node->subkeys.emplace(key, child);
  State().cursor.node = nullptr;
  return true;
}

bool RemoveKeyOutsideCodePage(RegistryKey root, const std::string& parent,
                              const std::string& name, uint32_t access) {
  uintptr_t base = reinterpret_cast<uintptr_t>(root);
  std::shared_ptr<FakeKey> node = Walk(base, PhysicalPath(base, SplitPath(parent.c_str()), access), false);
  if (node) node->subkeys.erase(std::string(1, '\0') + name);
  State().cursor.node = nullptr;
  return true;
}

bool SetValueOutsideCodePage(RegistryKey root, const std::string& path, const std::string& name,
                             uint32_t type, const std::string& text, uint32_t access) {
  uintptr_t base = reinterpret_cast<uintptr_t>(root);
  std::shared_ptr<FakeKey> node = Walk(base, PhysicalPath(base, SplitPath(path.c_str()), access), true);
  FakeValue& value = node->values[name];
  value.type = type;
  value.data.assign(text.begin(), text.end());
  value.data.push_back(0);
  value.exact = false;
  return true;
}
void SetDefaultUiLanguage(uint16_t language) { State().ui_language = language; }
// A value outside the code page is kept with a zero byte in front, which no
// value the tests set otherwise has.
void SetEnvironmentText(const std::string& name, const std::string& value, bool exact) {
  State().environment[name] = exact ? value : std::string(1, '\0') + value;
}
const std::string* EnvironmentText(const std::string& name) {
  auto it = State().environment.find(name);
  return it == State().environment.end() ? nullptr : &it->second;
}
void SetStartResult(uint32_t result) { State().start_result = result; }
const std::vector<StartedProgram>& StartedPrograms() { return State().started; }
int AssociationNotifications() { return State().notifications; }

// ---- the platform interface ----

long OpenRegistryKey(RegistryKey parent, const char* sub_key, uint32_t /*options*/,
                     uint32_t access, RegistryKey* key) {
  return OpenOrCreate("OpenRegistryKey", parent, sub_key, access, false, key);
}

long CreateRegistryKey(RegistryKey parent, const char* sub_key, uint32_t access,
                       RegistryKey* key) {
  return OpenOrCreate("CreateRegistryKey", parent, sub_key, access, true, key);
}

long QuerySubkeyCount(RegistryKey key, uint32_t* count) {
  long error = 0;
  if (Record("QuerySubkeyCount", "", key, &error)) return error;
  OpenKey scratch;
  const OpenKey* open = Lookup(key, &error, &scratch);
  if (open == nullptr) return Finish(error);
  *count = static_cast<uint32_t>(open->node->subkeys.size());
  return Finish(0);
}

long EnumerateSubkey(RegistryKey key, uint32_t index, char* name, uint32_t* name_length) {
  long error = 0;
  if (Record("EnumerateSubkey", std::to_string(index), key, &error)) return error;
  OpenKey scratch;
  const OpenKey* open = Lookup(key, &error, &scratch);
  if (open == nullptr) return Finish(error);
  if (index >= open->node->subkeys.size()) return Finish(kErrorNoMoreItems);
  EnumerationCursor& cursor = State().cursor;
  const SubkeyMap& subkeys = open->node->subkeys;
  if (cursor.node == open->node.get() && cursor.index <= index) {
    cursor.position = std::next(cursor.position, static_cast<long>(index - cursor.index));
  } else {
    cursor.position = std::next(subkeys.begin(), static_cast<long>(index));
  }
  cursor.node = open->node.get();
  cursor.index = index;
  if (!cursor.position->second->exact) return Finish(kErrorNoUnicodeTranslation);
  const std::string& found = cursor.position->second->name;
  if (found.size() + 1 > *name_length) return Finish(kErrorMoreData);
  std::memcpy(name, found.c_str(), found.size() + 1);
  *name_length = static_cast<uint32_t>(found.size());
  return Finish(0);
}

long QueryRegistryValue(RegistryKey key, const char* value_name, uint32_t* type,
                        unsigned char* data, uint32_t* size) {
  long error = 0;
  if (Record("QueryRegistryValue", value_name ? value_name : "", key, &error)) return error;
  OpenKey scratch;
  const OpenKey* open = Lookup(key, &error, &scratch);
  if (open == nullptr) return Finish(error);
  auto it = open->node->values.find(value_name ? value_name : "");
  if (it == open->node->values.end()) return Finish(kErrorFileNotFound);
  const FakeValue& value = it->second;
  bool is_string = value.type == kRegSz || value.type == kRegExpandSz || value.type == kRegMultiSz;
  if (is_string && !value.exact) return Finish(kErrorNoUnicodeTranslation);
  if (type != nullptr) *type = value.type;
  // As the ANSI call does: the size is what was stored; a string stored
  // without its terminator gets one only where the buffer has room for it,
  // so one that fills the buffer exactly comes back unterminated.
  const std::vector<unsigned char>& bytes = value.data;
  const uint32_t capacity = *size;
  const uint32_t needed = static_cast<uint32_t>(bytes.size());
  *size = needed;
  if (data == nullptr) return Finish(0);
  if (needed > capacity) return Finish(kErrorMoreData);
  if (needed > 0) std::memcpy(data, bytes.data(), needed);
  if (is_string && needed > 0 && needed < capacity && bytes.back() != 0) data[needed] = 0;
  return Finish(0);
}

long SetRegistryValue(RegistryKey key, const char* value_name, uint32_t type,
                      const unsigned char* data, uint32_t size) {
  long error = 0;
  if (Record("SetRegistryValue", value_name ? value_name : "", key, &error)) return error;
  OpenKey scratch;
  const OpenKey* open = Lookup(key, &error, &scratch);
  if (open == nullptr) return Finish(error);
  FakeValue& value = open->node->values[value_name ? value_name : ""];
  value.type = type;
  // The ANSI call stores a string whose count leaves out its terminator with
  // the terminator all the same when the byte after the count is one; it
  // looks one byte past the count to find out, as Windows and Wine do.
  const bool is_string = type == kRegSz || type == kRegExpandSz || type == kRegMultiSz;
  if (is_string && size > 0 && data[size - 1] != 0 && data[size] == 0) ++size;
  value.data.assign(data, data + size);
  return Finish(0);
}

long DeleteRegistryKey(RegistryKey parent, const char* sub_key) {
  return DeleteRegistryKeyInView(parent, sub_key, 0);
}

long DeleteRegistryKeyInView(RegistryKey parent, const char* sub_key, uint32_t view) {
  long error = 0;
  if (Record("DeleteRegistryKey", sub_key ? sub_key : "", parent, &error)) return error;
  OpenKey scratch;
  const OpenKey* base = Lookup(parent, &error, &scratch);
  if (base == nullptr) return Finish(error);
  std::vector<std::string> path = base->path;
  for (const std::string& part : SplitPath(sub_key)) path.push_back(part);
  std::shared_ptr<FakeKey> node = Walk(base->root, PhysicalPath(base->root, path, view), false);
  if (!node || node->parent == nullptr || path.empty()) return Finish(kErrorFileNotFound);
  if (!node->subkeys.empty()) return Finish(kErrorAccessDenied);
  node->deleted = true;
  node->parent->subkeys.erase(node->name);
  State().cursor.node = nullptr;
  return Finish(0);
}

long CloseRegistryKey(RegistryKey key) {
  long error = 0;
  bool failed = Record("CloseRegistryKey", "", key, &error);
  // Even a close that reports a failure gives the handle up: the tests count
  // what the logic forgot to close, not what the system refused.
  size_t erased = State().open_keys.erase(reinterpret_cast<uintptr_t>(key));
  if (failed) return error;
  if (erased == 0 && !IsPredefined(key)) return Finish(kErrorInvalidHandle);
  return Finish(0);
}

namespace {

// Windows' file system redirection for a 32-bit program under WOW64.
std::string Redirected(const std::string& path) {
  const std::string windows = GetWindowsFolder();
  if (windows.empty() || !HasSeparate64BitView()) return path;
  const std::pair<const char*, const char*> redirects[] = {{"\\System32", "\\SysWOW64"},
                                                           {"\\Sysnative", "\\System32"}};
  for (const auto& [from, to] : redirects) {
    const std::string folder = windows + from;
    if (path.size() >= folder.size() && strncasecmp(path.c_str(), folder.c_str(), folder.size()) == 0 &&
        (path.size() == folder.size() || path[folder.size()] == '\\')) {
      return windows + to + path.substr(folder.size());
    }
  }
  return path;
}

}  // namespace

std::string HostFilePath(const char* path) {
  std::string posix = Redirected(path);
  // "\\?\C:\x" names what "C:\x" names.
  if (posix.rfind("\\\\?\\", 0) == 0) posix.erase(0, 4);
  std::replace(posix.begin(), posix.end(), '\\', '/');
  const bool drive = posix.size() >= 3 && std::isalpha(static_cast<unsigned char>(posix[0])) &&
                     posix[1] == ':' && posix[2] == '/';
  return drive ? posix.substr(2) : posix;
}

uint32_t GetPathAttributes(const char* path) {
  long error = 0;
  if (Record("GetPathAttributes", path, nullptr, &error)) return kInvalidFileAttributes;
  const std::string posix = HostFilePath(path);
  struct stat info;
  if (posix.empty() || stat(posix.c_str(), &info) != 0) {
    Finish(-1);
    return kInvalidFileAttributes;
  }
  return S_ISDIR(info.st_mode) ? 0x10u : 0x80u;
}

// Emulates the Windows runtime's text mode over a plain POSIX read.
int ReadTextFile(const char* path, uint32_t offset, char* buffer, uint32_t capacity,
                 uint32_t* length) {
  *length = 0;
  long error = 0;
  if (Record("ReadTextFile", path, nullptr, &error)) return -1;
  const std::string posix = HostFilePath(path);
  struct stat info;
  if (stat(posix.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return static_cast<int>(Finish(-1));
  std::ifstream file(posix, std::ios::binary);
  if (!file.is_open()) return static_cast<int>(Finish(-1));
  file.seekg(offset, std::ios::beg);
  int c;
  while (*length < capacity && (c = file.get()) != EOF) {
    if (c == 26) break;
    if (c == '\r' && file.peek() == '\n') continue;
    buffer[(*length)++] = static_cast<char>(c);
  }
  return 0;
}

uint32_t StartProgram(const char* command_line, int show) {
  long error = 0;
  if (Record("StartProgram", command_line, nullptr, &error)) return static_cast<uint32_t>(error);
  State().started.push_back({command_line, show});
  return static_cast<uint32_t>(Finish(State().start_result));
}

const char* GetProcessCommandLine() {
  return State().command_line_exact ? State().command_line.c_str() : nullptr;
}

bool IsLeadByte(unsigned char byte) {
  return byte >= State().lead_first && byte <= State().lead_last;
}

// Behaves like GetModuleFileNameA on current Windows: a path that doesn't fit
// is cut to size - 1 characters, terminated, and the result equals size.
uint32_t GetOwnModulePath(char* buffer, uint32_t size) {
  long error = 0;
  if (Record("GetOwnModulePath", "", nullptr, &error)) return 0;
  const std::string& path = State().module_path;
  if (size == 0 || !State().module_path_exact) return static_cast<uint32_t>(Finish(0));
  size_t copied = std::min<size_t>(path.size(), size - 1);
  std::memcpy(buffer, path.data(), copied);
  buffer[copied] = '\0';
  return static_cast<uint32_t>(Finish(path.size() >= size ? size : static_cast<long>(copied)));
}

uint16_t GetDefaultUiLanguage() {
  long error = 0;
  Record("GetDefaultUiLanguage", "", nullptr, &error);
  return State().ui_language;
}

void NotifyAssociationsChanged() {
  long error = 0;
  Record("NotifyAssociationsChanged", "", nullptr, &error);
  ++State().notifications;
}

void SetQuietErrorMode() {
  long error = 0;
  Record("SetQuietErrorMode", "", nullptr, &error);
}
