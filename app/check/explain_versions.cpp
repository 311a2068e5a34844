#include "app/check/explain_versions.h"

#include <set>

#include "app/check/report_format.h"
#include "app/check/scan_report.h"
#include "app/launch_version.h"
#include "discovery/scan_installations.h"
#include "discovery/version_name.h"
#include "platform/platform.h"

namespace {

const char* const kRoots[] = {"SOFTWARE\\KESTAL\\Morvo", "SOFTWARE\\KESTAL\\Tessaline"};

struct Elsewhere {
  RegistryKey hive;
  const char* hive_name;
  uint32_t view;
  const char* view_name;
  const char* reason;
};

const Elsewhere kElsewhere[] = {
    {kLocalMachine, "HKLM", kKeyWow64_64Key, "64-bit",
     "the launcher, a 32-bit program, reads the 32-bit registry view only"},
    {kCurrentUser, "HKCU", 0, "", "the launcher reads HKEY_LOCAL_MACHINE only, never one user's keys"},
};

// Lists the installations registered under a root where the launcher never
// looks: subkeys named as versions that hold a "Path". Other subkeys (a
// tool's per-user settings, say) are no installations and are left out.
void ListIgnored(const Elsewhere& where, const char* root, std::vector<IgnoredInstallation>* ignored) {
  RegistryKey key = nullptr;
  if (OpenRegistryKey(where.hive, root, 0, kKeyRead | where.view, &key) != 0) return;
  for (uint32_t index = 0;; ++index) {
    char name[256] = {};
    uint32_t length = sizeof name;
    long result = EnumerateSubkey(key, index, name, &length);
    if (result == kErrorMoreData || result == kErrorNoUnicodeTranslation) continue;
    if (result != 0) break;
    uint32_t major = 0, minor = 0;
    RegistryKey version = nullptr;
    if (ReadVersionName(name, &major, &minor) != 0 ||
        OpenRegistryKey(key, name, 0, kKeyRead | where.view, &version) != 0) {
      continue;
    }
    char path[261] = {};
    uint32_t size = sizeof path - 1;
    bool has_path = QueryRegistryValue(version, "Path", nullptr, reinterpret_cast<unsigned char*>(path),
                                       &size) == 0;
    CloseRegistryKey(version);
    if (!has_path) continue;
    IgnoredInstallation entry;
    entry.key = std::string(where.hive_name) + "\\" + root + "\\" + name;
    entry.view = where.view_name;
    entry.path = path;
    entry.reason = where.reason;
    ignored->push_back(entry);
  }
  CloseRegistryKey(key);
}

std::string BuildCell(const VersionSeen& seen, int32_t bitness) {
  for (const BuildSeen& build : seen.builds) {
    if (build.bitness != bitness) continue;
    return build.outcome == kBuildFound ? "found" : build.outcome == kBuildMissing ? "missing" : "too long";
  }
  return "-";
}

std::string WouldStart(const ToolScan& tool) {
  if (tool.chosen < 0) return "nothing: no build of it is installed where the launcher looks";
  const InstallCandidate& c = tool.candidates[static_cast<size_t>(tool.chosen)];
  return ToolName(tool.kind) + " " + VersionText(c.major, c.minor) + ", " + BitsText(c.bitness) + ": " +
         c.exe_path;
}

}  // namespace

int ExplainVersions(VersionsExplanation* e) {
  const ToolKind kinds[] = {kToolMorvo, kToolTessaline};
  // Both scans read the Morvo root: what is wrong there is counted once.
  std::set<std::string> problems;
  for (int i = 0; i < 2; ++i) {
    ToolScan& tool = e->tools[i];
    tool.kind = kinds[i];
    InstallCandidate wanted = {};
    wanted.kind = tool.kind;
    ScanInstallations(&tool.candidates, wanted, &tool.trace);
    const InstallCandidate* chosen = SelectCandidate(tool.candidates, wanted);
    if (chosen != nullptr) tool.chosen = static_cast<int>(chosen - tool.candidates.data());
    for (const VersionSeen& seen : tool.trace.versions) {
      if (IsProblem(seen)) problems.insert(seen.root + "\\" + seen.key_name);
    }
    for (const RootSeen& root : tool.trace.roots) {
      if (root.stop_error != 0 || (root.open_error != 0 && root.open_error != kErrorFileNotFound)) {
        problems.insert(root.root);
      }
    }
  }
  e->problems = static_cast<int>(problems.size());
  for (const Elsewhere& where : kElsewhere) {
    if (where.view == kKeyWow64_64Key && !HasSeparate64BitView()) continue;
    for (const char* root : kRoots) ListIgnored(where, root, &e->ignored);
  }
  e->problems += static_cast<int>(e->ignored.size());
  bool any = e->tools[0].chosen >= 0 || e->tools[1].chosen >= 0;
  return e->problems == 0 && any ? 0 : 1;
}

std::string VersionsReportText(const VersionsExplanation& e) {
  std::string text;
  for (const ToolScan& tool : e.tools) {
    std::string roots;
    for (const RootSeen& root : tool.trace.roots) roots += (roots.empty() ? "" : ", then ") + RootKeyText(root.root);
    text += "For " + ToolName(tool.kind) + " files the launcher reads " + roots +
            " (32-bit view), looking for " + (tool.kind == kToolMorvo ? "Morvo" : "Quin") + " builds:\n";
    std::vector<std::vector<std::string>> rows = {{"key", "version", "32-bit", "64-bit", "verdict", "Path"}};
    for (const RootSeen& root : tool.trace.roots) {
      std::string problem = RootProblem(root);
      if (!problem.empty()) rows.push_back({root.root.substr(root.root.rfind('\\') + 1), "", "", "", problem});
    }
    for (const VersionSeen& seen : tool.trace.versions) {
      std::string key = tool.trace.roots.size() > 1 ? seen.root.substr(seen.root.rfind('\\') + 1) + "\\" : "";
      bool numbered = seen.outcome != kNotAVersionName;
      std::string reason = PassedOverReason(seen);
      rows.push_back({key + seen.key_name, numbered ? VersionText(seen.major, seen.minor) : "-",
                      BuildCell(seen, kBitness32), BuildCell(seen, kBitness64),
                      (reason.empty() ? "used" : "passed over: " + reason) + PathTypeAside(seen),
                      seen.folder});
    }
    text += AlignColumns(rows, "  ");
    text += "  It would start " + WouldStart(tool) + "\n";
  }
  if (!e.ignored.empty()) {
    text += "Installations the launcher does not see:\n";
    for (const IgnoredInstallation& entry : e.ignored) {
      text += "  ignored: " + entry.key + (entry.view.empty() ? "" : " (" + entry.view + " view)") +
              ", Path " + entry.path + ": " + entry.reason + "\n";
    }
  }
  return text;
}

std::string VersionsReportJson(const VersionsExplanation& e) {
  std::string tools;
  for (const ToolScan& tool : e.tools) {
    std::string roots, installations;
    for (const RootSeen& root : tool.trace.roots) {
      std::string problem = RootProblem(root);
      roots += std::string(roots.empty() ? "" : ",") + "{\"key\":" + JsonString(RootKeyText(root.root)) +
               ",\"found\":" + (root.open_error == 0 ? "true" : "false") +
               ",\"problem\":" + JsonStringOr(!problem.empty(), problem) + "}";
    }
    for (const VersionSeen& seen : tool.trace.versions) {
      std::string builds;
      for (const BuildSeen& build : seen.builds) {
        builds += std::string(builds.empty() ? "" : ",") + "{\"bits\":" +
                  (build.bitness == kBitness64 ? "64" : "32") + ",\"exe\":" +
                  JsonStringOr(build.outcome != kBuildPathTooLong, build.exe_path) +
                  ",\"exists\":" + (build.outcome == kBuildFound ? "true" : "false") + "}";
      }
      std::string reason = PassedOverReason(seen);
      const std::string note = PathTypeNote(seen);
      installations += std::string(installations.empty() ? "" : ",") +
                       "{\"key\":" + JsonString(RootKeyText(seen.root) + "\\" + seen.key_name) +
                       ",\"version\":" + JsonStringOr(seen.outcome != kNotAVersionName,
                                                      VersionText(seen.major, seen.minor)) +
                       ",\"path\":" + JsonStringOr(PathReadWhole(seen.outcome), seen.folder) +
                       ",\"builds\":[" + builds + "]" +
                       ",\"verdict\":" + JsonString(reason.empty() ? "used" : "passed over") +
                       ",\"reason\":" + JsonStringOr(!reason.empty(), reason) +
                       ",\"note\":" + JsonStringOr(!note.empty(), note) + "}";
    }
    std::string start =
        tool.chosen >= 0 ? CandidateJson(tool.candidates[static_cast<size_t>(tool.chosen)]) : "null";
    tools += std::string(tools.empty() ? "" : ",") + "{\"tool\":" + JsonString(ToolName(tool.kind)) +
             ",\"roots\":[" + roots + "],\"installations\":[" + installations +
             "],\"would_start\":" + start + "}";
  }
  std::string ignored;
  for (const IgnoredInstallation& entry : e.ignored) {
    ignored += std::string(ignored.empty() ? "" : ",") + "{\"key\":" + JsonString(entry.key) +
               ",\"view\":" + JsonStringOr(!entry.view.empty(), entry.view) +
               ",\"path\":" + JsonString(entry.path) +
               ",\"reason\":" + JsonString(entry.reason) + "}";
  }
  return "{\"tools\":[" + tools + "],\"ignored\":[" + ignored +
         "],\"problems\":" + std::to_string(e.problems) + "}\n";
}
