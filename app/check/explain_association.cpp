#include "app/check/explain_association.h"

#include <vector>

#include "app/check/report_format.h"
#include "association/association.h"
#include "platform/platform.h"

namespace {

const char kUserChoice[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.cfg\\UserChoice";
const char kOurProgram[] = "ZandrellLauncher.exe";

bool SameLetters(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
    char y = b[i] >= 'A' && b[i] <= 'Z' ? static_cast<char>(b[i] - 'A' + 'a') : b[i];
    if (x != y) return false;
  }
  return true;
}

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

// The program an open command starts: its first word, or its first quoted
// part, as the shell reads it.
std::string CommandProgram(const std::string& command) {
  size_t start = command.find_first_not_of(' ');
  if (start == std::string::npos) return std::string();
  if (command[start] == '"') {
    size_t end = command.find('"', start + 1);
    return command.substr(start + 1, end == std::string::npos ? std::string::npos : end - start - 1);
  }
  size_t end = command.find(' ', start);
  return command.substr(start, end == std::string::npos ? std::string::npos : end - start);
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
  if (e->type.present) {
    e->description = ReadText(kClassesRoot, e->type.text, nullptr);
    e->command = ReadText(kClassesRoot, e->type.text + "\\Shell\\Open\\Command", nullptr);
  }
  if (e->command.present) {
    // The shell expands a REG_EXPAND_SZ command's variables before it runs it.
    std::string command = e->command.text;
    if (e->command.expandable && ExpandEnvironmentText(e->command.text, &e->expanded_command) == 0) {
      command = e->expanded_command;
    }
    e->program = CommandProgram(command);
    e->program_exists = !e->program.empty() && GetPathAttributes(e->program.c_str()) != kInvalidFileAttributes;
    e->program_is_ours = e->program_exists && SameLetters(ProgramOriginalFilename(e->program.c_str()), kOurProgram);
  }

  const bool ours = NamesOurType(e->type);
  if (e->user_choice.present && !NamesOurType(e->user_choice)) {
    e->verdict = "overridden for this user";
    e->detail = "Explorer's \"Open with\" choice for this user is " + e->user_choice.text;
  } else if (e->user_type.present && !NamesOurType(e->user_type)) {
    e->verdict = "overridden for this user";
    e->detail = "this user's own file type for .cfg is " + e->user_type.text;
  } else if (!e->type.present || (ours && !e->command.present)) {
    // The package leaves .cfg naming our file type when it removes that
    // type, unless another program has taken .cfg since.
    e->verdict = "not registered";
    if (!e->type.present) {
      e->detail = ".cfg has no file type";
    } else if (!KeyExists(kClassesRoot, e->type.text)) {
      e->detail = ".cfg names the file type " + e->type.text + ", which does not exist";
    } else {
      e->detail = "the file type has no open command";
    }
  } else if (!ours || (e->program_exists && !e->program_is_ours)) {
    e->verdict = "registered to another program";
    e->detail = !ours ? ".cfg is of the file type " + e->type.text : "the open command starts " + e->program;
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
  if (e.type.present) {
    rows.push_back({"Description:", Shown(e.description)});
    rows.push_back({"Open command:", Shown(e.command)});
    if (e.command.expandable) rows.push_back({"  expands to:", e.expanded_command});
  }
  if (e.command.present) {
    rows.push_back({"Program:", e.program + (!e.program_exists ? "  (not there)"
                                             : e.program_is_ours ? "  (Zandrell Launcher)"
                                                                 : "  (not Zandrell Launcher)")});
  }
  rows.push_back({"Verdict:", e.verdict + ": " + e.detail});
  return AlignColumns(rows, "");
}

std::string AssociationReportJson(const AssociationExplanation& e) {
  auto text = [](const RegistryText& value) { return JsonStringOr(value.present, value.text); };
  return "{\"file_type\":" + text(e.type) + ",\"machine_file_type\":" + text(e.machine_type) +
         ",\"user_file_type\":" + text(e.user_type) + ",\"user_choice\":" + text(e.user_choice) +
         ",\"description\":" + text(e.description) + ",\"command\":" + text(e.command) +
         ",\"command_expanded\":" + JsonStringOr(e.command.expandable, e.expanded_command) +
         ",\"program\":" + JsonStringOr(e.command.present, e.program) +
         ",\"program_exists\":" + (e.program_exists ? "true" : "false") +
         ",\"program_is_ours\":" + (e.program_is_ours ? "true" : "false") +
         ",\"verdict\":" + JsonString(e.verdict) + ",\"detail\":" + JsonString(e.detail) + "}\n";
}
