#include "app/check/explain_association.h"

#include <vector>

#include "app/check/report_format.h"
#include "app/check/same_letters.h"
#include "association/association.h"
#include "platform/platform.h"

namespace {

const char kUserChoice[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.cfg\\UserChoice";
const char kOurProgram[] = "ZandrellLauncher.exe";
// The file type under which Explorer keeps a program picked in "Open with"
// by browsing to it.
const char kOpenWithProgram[] = "Applications\\ZandrellLauncher.exe";
constexpr uint32_t kFileAttributeDirectory = 0x10;

RegistryText ReadText(RegistryKey root, const std::string& path, const char* value) {
  RegistryText result;
  RegistryKey key = nullptr;
  if (OpenRegistryKey(root, path.c_str(), 0, kKeyRead, &key) != 0) return result;
  std::vector<unsigned char> data(2048);
  uint32_t size = static_cast<uint32_t>(data.size() - 1);
  uint32_t type = 0;
  if (QueryRegistryValue(key, value, &type, data.data(), &size) == 0 &&
      (type == kRegSz || type == kRegExpandSz)) {
    result.present = true;
    result.expandable = type == kRegExpandSz;
    result.text = reinterpret_cast<const char*>(data.data());
  }
  CloseRegistryKey(key);
  return result;
}

// Windows compares file types, like every key name, without regard to case.
bool NamesOurType(const RegistryText& value) { return value.present && SameLetters(value.text, kProgId); }

// Explorer's "Open with" choice is ours when it names our file type, or the
// launcher itself as Explorer records a program picked by browsing to it.
bool NamesOurChoice(const RegistryText& value) {
  return NamesOurType(value) || (value.present && SameLetters(value.text, kOpenWithProgram));
}

// Whether the last name of a path has an extension: SearchPath, which
// CreateProcess asks, appends ".exe" only to one that has none.
bool HasExtension(const std::string& path) {
  bool dot = false;
  for (size_t i = 0; i < path.size(); ++i) {
    if (IsLeadByte(static_cast<unsigned char>(path[i])) && i + 1 < path.size()) {
      ++i;
    } else if (path[i] == '\\' || path[i] == '/') {
      dot = false;
    } else if (path[i] == '.') {
      dot = true;
    }
  }
  return dot;
}

std::string AsProgramName(const std::string& name) { return HasExtension(name) ? name : name + ".exe"; }

bool EndsWithExe(const std::string& name) {
  return name.size() >= 4 && SameLetters(name.substr(name.size() - 4), ".exe");
}

// The path as Explorer, a native program, reaches it. On 64-bit Windows
// this 32-bit program's <Windows folder>\System32 is redirected to SysWOW64;
// Explorer's is the native one, which this program reaches as Sysnative.
std::string AsExplorerSeesIt(const std::string& path) {
  const std::string windows = GetWindowsFolder();
  const std::string system = windows + "\\System32";
  if (windows.empty() || !HasSeparate64BitView() || path.size() <= system.size() ||
      path[system.size()] != '\\' || !SameLetters(path.substr(0, system.size()), system)) {
    return path;
  }
  return windows + "\\Sysnative" + path.substr(system.size());
}

// Whether a program's name says where it is: a folder or a drive before
// the name. One that does not is searched for (App Paths, then
// CreateProcess's folders: Explorer's own, System32, the Windows folder, the
// search path), never looked for in the check's current folder.
bool NamesItsFolder(const std::string& path) {
  for (size_t i = 0; i < path.size(); ++i) {
    if (IsLeadByte(static_cast<unsigned char>(path[i])) && i + 1 < path.size()) {
      ++i;
    } else if (path[i] == '\\' || path[i] == '/' || path[i] == ':') {
      return true;
    }
  }
  return false;
}

// A file that is there and is no folder: what CreateProcess can start.
bool IsProgramFile(const std::string& path) {
  if (!NamesItsFolder(path)) return false;
  const uint32_t attributes = GetPathAttributes(AsExplorerSeesIt(path).c_str());
  return attributes != kInvalidFileAttributes && (attributes & kFileAttributeDirectory) == 0;
}

// The program an open command starts, read as CreateProcess reads a command
// line without a separate program name: a quoted first part is the name;
// otherwise each prefix that ends at a blank or a tab is tried in turn, with
// ".exe" where its last name has no extension, and the first file there is
// started. So "C:\Program Files\ZL\ZandrellLauncher.exe" "%1" without its
// quotes runs C:\Program.exe if that exists: `earlier` receives every such
// program looked for first. Where none is there, `program` is the one the
// command means to start: the first prefix ending in ".exe".
void ResolveProgram(const std::string& command, std::string* program, std::vector<std::string>* earlier) {
  size_t start = command.find_first_not_of(' ');
  if (start == std::string::npos) return;
  if (command[start] == '"') {
    size_t end = command.find('"', start + 1);
    *program = AsProgramName(command.substr(start + 1, end == std::string::npos ? std::string::npos : end - start - 1));
    return;
  }
  std::vector<std::string> tried;
  size_t meant = std::string::npos;  // in `tried`
  for (size_t end = start;; ++end) {
    end = command.find_first_of(" \t", end);
    const std::string prefix = command.substr(start, end == std::string::npos ? std::string::npos : end - start);
    tried.push_back(AsProgramName(prefix));
    if (IsProgramFile(tried.back())) {
      *program = tried.back();
      earlier->assign(tried.begin(), tried.end() - 1);
      return;
    }
    if (meant == std::string::npos && EndsWithExe(prefix)) meant = tried.size() - 1;
    if (end == std::string::npos) break;
  }
  if (meant == std::string::npos) meant = 0;
  *program = tried[meant];
  earlier->assign(tried.begin(), tried.begin() + static_cast<long>(meant));
}

// Explorer, which runs the open command, is a native program: on 64-bit
// Windows a 64-bit one, for which ProgramFiles and CommonProgramFiles name
// the 64-bit folders. This 32-bit program finds those in ProgramW6432 and
// CommonProgramW6432, and its own ProgramFiles names the 32-bit folder.
std::vector<EnvironmentOverride> ShellEnvironment() {
  std::vector<EnvironmentOverride> overrides;
  if (!HasSeparate64BitView()) return overrides;
  const struct {
    const char* name;
    const char* native;
  } folders[] = {{"ProgramFiles", "ProgramW6432"}, {"CommonProgramFiles", "CommonProgramW6432"}};
  for (const auto& folder : folders) {
    std::string value;
    if (ReadEnvironmentVariable(folder.native, &value)) overrides.push_back({folder.name, value});
  }
  return overrides;
}

std::string Shown(const RegistryText& value) { return value.present ? value.text : "(none)"; }

bool KeyExists(RegistryKey root, const std::string& path) {
  RegistryKey key = nullptr;
  if (OpenRegistryKey(root, path.c_str(), 0, kKeyRead, &key) != 0) return false;
  CloseRegistryKey(key);
  return true;
}

}  // namespace

int ExplainAssociation(AssociationExplanation* e) {
  e->machine_type = ReadText(kLocalMachine, std::string("Software\\Classes\\") + kExtensionKey, nullptr);
  e->user_type = ReadText(kCurrentUser, std::string("Software\\Classes\\") + kExtensionKey, nullptr);
  e->user_choice = ReadText(kCurrentUser, kUserChoice, "ProgId");
  e->type = ReadText(kClassesRoot, kExtensionKey, nullptr);
  // Explorer's choice for this user comes before every file type; where it
  // is ours, it is its open command that a double-click runs.
  const bool our_choice = NamesOurChoice(e->user_choice);
  e->used_type = our_choice ? e->user_choice.text : e->type.present ? e->type.text : "";
  if (!e->used_type.empty()) {
    e->description = ReadText(kClassesRoot, e->used_type, nullptr);
    e->command = ReadText(kClassesRoot, e->used_type + "\\Shell\\Open\\Command", nullptr);
  }
  // The shell expands a REG_EXPAND_SZ command's variables before it runs it;
  // where that fails, nothing is judged on the raw text.
  e->expansion_failed = e->command.present && e->command.expandable &&
                        ExpandEnvironmentText(e->command.text, ShellEnvironment(), &e->expanded_command) != 0;
  if (e->expansion_failed) e->expanded_command.clear();
  const bool judged = e->command.present && !e->expansion_failed;
  if (judged) {
    ResolveProgram(e->command.expandable ? e->expanded_command : e->command.text, &e->program,
                   &e->earlier_programs);
    const std::string seen = AsExplorerSeesIt(e->program);
    e->program_exists = NamesItsFolder(e->program) && GetPathAttributes(seen.c_str()) != kInvalidFileAttributes;
    e->program_is_ours = e->program_exists && SameLetters(ProgramOriginalFilename(seen.c_str()), kOurProgram);
    if (!e->earlier_programs.empty()) {
      e->warning = "the open command names its program without quotes and with blanks in its path: Windows "
                   "looks for " + e->earlier_programs.front() +
                   " first, and a program placed there would be started instead";
    }
  }

  const bool ours = our_choice || NamesOurType(e->type);
  if (e->user_choice.present && !our_choice) {
    e->verdict = "overridden for this user";
    e->detail = "Explorer's \"Open with\" choice for this user is " + e->user_choice.text;
  } else if (!e->user_choice.present && e->user_type.present && !NamesOurType(e->user_type)) {
    e->verdict = "overridden for this user";
    e->detail = "this user's own file type for .cfg is " + e->user_type.text;
  } else if (e->used_type.empty() || (ours && !e->command.present)) {
    // The package leaves .cfg naming our file type when it removes that
    // type, unless another program has taken .cfg since.
    e->verdict = "not registered";
    const std::string which = our_choice ? "Explorer's \"Open with\" choice, " + e->used_type + "," : "";
    if (e->used_type.empty()) {
      e->detail = ".cfg has no file type";
    } else if (!KeyExists(kClassesRoot, e->used_type)) {
      e->detail = our_choice ? which + " names a file type that does not exist"
                             : ".cfg names the file type " + e->used_type + ", which does not exist";
    } else {
      e->detail = our_choice ? which + " has no open command" : "the file type has no open command";
    }
  } else if (!ours) {
    e->verdict = "registered to another program";
    e->detail = ".cfg is of the file type " + e->type.text;
  } else if (e->expansion_failed) {
    e->verdict = "not judged";
    e->detail = "the open command's variables could not be expanded (a variable can't be read, or the "
                "result has a character outside the ANSI code page), so it can't be told what it starts";
  } else if (!NamesItsFolder(e->program)) {
    e->verdict = "not judged";
    e->detail = "the open command names " + e->program +
                " without its folder: Windows searches for it (App Paths, Explorer's folder, the system "
                "folders, the search path), which the check does not follow";
  } else if (e->program_exists && !e->program_is_ours) {
    e->verdict = "registered to another program";
    e->detail = "the open command starts " + e->program;
  } else if (!e->program_exists) {
    e->verdict = "program missing";
    e->detail = "the open command starts " + e->program + ", which is not there";
  } else {
    e->verdict = "registered";
    e->detail = ".cfg files open through " + e->program;
  }
  return e->verdict == "registered" ? 0 : 1;
}

std::string AssociationReportText(const AssociationExplanation& e) {
  std::vector<std::vector<std::string>> rows = {
      {"File type of .cfg:", Shown(e.type)},
      {"  for every user:", Shown(e.machine_type) + "  (HKLM\\Software\\Classes\\.cfg)"},
      {"  for this user:", Shown(e.user_type) + "  (HKCU\\Software\\Classes\\.cfg)"},
      {"  \"Open with\" choice:", Shown(e.user_choice) + "  (Explorer's UserChoice)"},
  };
  if (!e.used_type.empty()) {
    if (!e.type.present || e.used_type != e.type.text) {
      rows.push_back({"File type used:", e.used_type + "  (Explorer's \"Open with\" choice)"});
    }
    rows.push_back({"Description:", Shown(e.description)});
    rows.push_back({"Open command:", Shown(e.command)});
    if (e.command.expandable) {
      rows.push_back({"  expands to:", e.expansion_failed ? "(can't be expanded)" : e.expanded_command});
    }
  }
  if (!e.program.empty()) {
    rows.push_back({"Program:", e.program + (!NamesItsFolder(e.program) ? "  (searched for, not judged)"
                                             : !e.program_exists  ? "  (not there)"
                                             : e.program_is_ours  ? "  (Zandrell Launcher)"
                                                                  : "  (not Zandrell Launcher)")});
    std::string earlier;
    for (const std::string& program : e.earlier_programs) earlier += (earlier.empty() ? "" : ", ") + program;
    if (!earlier.empty()) rows.push_back({"  looked for first:", earlier});
  }
  if (!e.warning.empty()) rows.push_back({"Warning:", e.warning});
  rows.push_back({"Verdict:", e.verdict + ": " + e.detail});
  return AlignColumns(rows, "");
}

std::string AssociationReportJson(const AssociationExplanation& e) {
  auto text = [](const RegistryText& value) { return JsonStringOr(value.present, value.text); };
  std::string earlier;
  for (const std::string& program : e.earlier_programs) earlier += (earlier.empty() ? "" : ",") + JsonString(program);
  return "{\"file_type\":" + text(e.type) + ",\"machine_file_type\":" + text(e.machine_type) +
         ",\"user_file_type\":" + text(e.user_type) + ",\"user_choice\":" + text(e.user_choice) +
         ",\"used_file_type\":" + JsonStringOr(!e.used_type.empty(), e.used_type) +
         ",\"description\":" + text(e.description) + ",\"command\":" + text(e.command) +
         ",\"command_expanded\":" + JsonStringOr(e.command.expandable && !e.expansion_failed, e.expanded_command) +
         ",\"program\":" + JsonStringOr(!e.program.empty(), e.program) +
         ",\"program_exists\":" + (e.program_exists ? "true" : "false") +
         ",\"program_is_ours\":" + (e.program_is_ours ? "true" : "false") +
         ",\"earlier_programs\":[" + earlier + "]" +
         ",\"warning\":" + JsonStringOr(!e.warning.empty(), e.warning) +
         ",\"verdict\":" + JsonString(e.verdict) + ",\"detail\":" + JsonString(e.detail) + "}\n";
}
