#include "app/check/explain_open.h"

#include "app/check/compatibility_layers.h"
#include "app/check/program_image.h"
#include "app/check/report_format.h"
#include "app/check/scan_report.h"
#include "app/launch_version.h"
#include "discovery/scan_installations.h"
#include "platform/platform.h"

namespace {

int Fail(OpenExplanation* e, const std::string& error) {
  e->error = error;
  return -1;
}

// Why a line that could be read names no tool, with a hint where the
// reason is a near miss.
std::string NoToolNamed(const std::string& line) {
  std::string lower;
  for (char c : line) lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  std::string error = "its first line names neither Morvo nor Tessaline";
  if (line.find('\0') != std::string::npos) {
    error += " before a zero byte, where the search ends";
  } else if (lower.find("morvo") != std::string::npos || lower.find("tessaline") != std::string::npos) {
    error += " in these letters (the names are matched case for case)";
  }
  return error + "; the first byte of the file is never read";
}

// Whether 32-bit Windows has NTVDM, which it hands DOS and 16-bit programs to.
bool HasDosSubsystem() {
  const std::string windows = GetWindowsFolder();
  return !windows.empty() &&
         GetPathAttributes((windows + "\\System32\\ntvdm.exe").c_str()) != kInvalidFileAttributes;
}

}  // namespace

int ExplainOpen(const std::string& file, OpenExplanation* e) {
  e->file = file;
  // The shell hands the launcher the file in double quotes.
  if (NormaliseArgument(("\"" + file + "\"").c_str(), &e->argument) != 0) {
    return Fail(e, "no file was named");
  }
  if (ClassifyArgument(e->argument.c_str(), &e->mode) != 0) {
    if (e->argument[0] == '-' || e->argument[0] == '/') {
      return Fail(e, "an argument that begins with - or / is taken for a switch, and this is none");
    }
    return Fail(e, "nothing exists at this path");
  }
  if (e->mode != kRunOpen) {
    return Fail(e, "the launcher would take this for its switch to " +
                       std::string(e->mode == kRunRegister ? "register" : "remove") +
                       " the file association");
  }
  if (ProbeConfiguration(e->argument.c_str(), &e->kind, &e->probe) != 0) {
    if (!e->probe.opened) return Fail(e, "the file can't be opened for reading (a folder, or locked)");
    return Fail(e, NoToolNamed(e->probe.line));
  }
  InstallCandidate wanted = {};
  wanted.kind = e->kind;
  if (ScanInstallations(&e->candidates, wanted, &e->scan) != 0) {
    return Fail(e, "no installed " + ToolName(e->kind) + " build was found");
  }
  const InstallCandidate* chosen = SelectCandidate(e->candidates, wanted);
  if (chosen == nullptr) return Fail(e, "no installed " + ToolName(e->kind) + " build was found");
  e->chosen = static_cast<int>(chosen - e->candidates.data());
  char command_line[kCommandLineSize];
  if (BuildCommandLine(chosen->exe_path, e->argument.c_str(), command_line) != 0) {
    return Fail(e, "the command line would be longer than " + std::to_string(kCommandLineSize - 1) +
                       " characters");
  }
  e->command_line = command_line;
  // The launcher only asks whether something exists at the build's path, and
  // tries no other build when the start fails. Windows refuses a file that is
  // no program, a program for a machine it can't run, and one whose manifest
  // asks for rights that the launcher, started by the shell, lacks.
  ProgramImage image;
  ReadProgramImage(chosen->exe_path, &image);
  if (!image.is_program) {
    return Fail(e, "the build it would start is no Windows program, so the start would fail, and "
                   "the launcher tries no other build");
  }
  e->machine = image.machine;
  e->execution_level = image.execution_level;
  const uint16_t native = GetNativeMachine();
  // Without a PE header the file is a DOS or 16-bit program, or none at
  // all. WOW64 runs 32-bit programs only, so 64-bit Windows refuses it;
  // 32-bit Windows hands it to NTVDM, an optional feature that is off
  // unless someone turned it on.
  if (image.machine == 0 && (native != kMachineI386 || !HasDosSubsystem())) {
    return Fail(e, std::string("the build it would start has no PE header: it is a DOS or 16-bit program, or no "
                               "program at all, which ") +
                       (native != kMachineI386 ? "64-bit Windows does not run"
                                               : "32-bit Windows runs only through NTVDM, and NTVDM is not "
                                                 "installed here") +
                       ", so the start would fail, and the launcher tries no other build");
  }
  if (image.machine != 0 && !MachineRuns(image.machine, native, EmulatesX64Programs())) {
    return Fail(e, "the build it would start is a program for " + MachineName(image.machine) +
                       ", which this " + MachineName(native) +
                       " Windows can't run" +
                       (native == kMachineArm64 && image.machine == kMachineAmd64
                            ? " (it has no x64 emulation, which came with Windows 11)"
                            : "") +
                       ", so the start would fail, and the launcher tries no other build");
  }
  // Without User Account Control nothing asks for elevation: the build
  // starts with the user's token as the shell's own programs do.
  const bool elevated = !UserAccountControlOn() || ShellRunsElevated(), administrator = UserIsAdministrator();
  if (StartNeedsElevation(image.execution_level, elevated, administrator)) {
    return Fail(e, "the build it would start asks for administrator rights in its manifest (" +
                       image.execution_level +
                       ") and the launcher runs without them, so Windows refuses the start (error 740), "
                       "and the launcher tries no other build");
  }
  // The Compatibility tab's "Run this program as an administrator" asks for
  // the rights as requireAdministrator does.
  e->run_as_admin_layer = RunAsAdministratorLayer(chosen->exe_path);
  if (!e->run_as_admin_layer.empty() && StartNeedsElevation("requireAdministrator", elevated, administrator)) {
    return Fail(e, "the build it would start is set to \"Run this program as an administrator\" "
                   "(the compatibility layer RUNASADMIN in " + e->run_as_admin_layer +
                       ") and the launcher runs without those rights, so Windows refuses the start "
                       "(error 740), and the launcher tries no other build");
  }
  return 0;
}

namespace {

// A line of the report: its label in a column of its own.
std::string Labeled(const std::string& label, const std::string& text) {
  return label + std::string(label.size() < 14 ? 14 - label.size() : 1, ' ') + text + "\n";
}

}  // namespace

std::string OpenReportText(const OpenExplanation& e) {
  std::string text = Labeled("File:", e.file);
  if (e.probe.opened) {
    text += Labeled("First line:", "\"" + ShowControls(e.probe.line) + "\" (read from the second byte)");
    text += Labeled("Tool:", e.kind != 0 ? ToolName(e.kind) : "neither");
  }
  if (e.kind != 0) {
    if (!e.candidates.empty()) {
      text += "Builds found, in the launcher's order (the last one is started):\n";
      std::vector<std::vector<std::string>> builds;
      for (size_t i = 0; i < e.candidates.size(); ++i) {
        const InstallCandidate& c = e.candidates[i];
        builds.push_back({static_cast<int>(i) == e.chosen ? ">" : " ", VersionText(c.major, c.minor),
                          BitsText(c.bitness), c.exe_path});
      }
      text += AlignColumns(builds, "  ");
    }
    std::vector<std::vector<std::string>> passed;
    for (const VersionSeen& seen : e.scan.versions) {
      if (IsProblem(seen) || seen.outcome == kNotAVersionName) {
        passed.push_back({RootKeyText(seen.root) + "\\" + seen.key_name + ":",
                          PassedOverReason(seen) + PathTypeAside(seen)});
      }
    }
    for (const RootSeen& root : e.scan.roots) {
      std::string problem = RootProblem(root);
      if (!problem.empty()) passed.push_back({RootKeyText(root.root) + ":", problem});
    }
    if (!passed.empty()) {
      text += "Passed over:\n" + AlignColumns(passed, "  ");
    }
  }
  if (!e.command_line.empty()) text += Labeled("Command line:", e.command_line);
  if (!e.error.empty()) {
    return text + Labeled("Result:", "the launcher would start nothing and exit with -1: " + e.error);
  }
  const InstallCandidate& c = e.candidates[static_cast<size_t>(e.chosen)];
  return text + Labeled("Result:", "the launcher would start " + ToolName(e.kind) + " " +
                                       VersionText(c.major, c.minor) + " (" + BitsText(c.bitness) +
                                       ") and exit with 0");
}

std::string OpenReportJson(const OpenExplanation& e) {
  std::string candidates;
  for (const InstallCandidate& c : e.candidates) {
    candidates += std::string(candidates.empty() ? "" : ",") + CandidateJson(c);
  }
  const bool chosen = e.chosen >= 0;
  // Every report has every field, whatever it ends in, so that scripts read
  // one shape.
  return "{\"file\":" + (e.file_utf8.empty() ? JsonString(e.file) : JsonUtf8String(e.file_utf8)) +
         ",\"first_line\":" + JsonStringOr(e.probe.opened, e.probe.line) +
         ",\"tool\":" + JsonStringOr(e.kind != 0, ToolName(e.kind)) +
         ",\"candidates\":[" + candidates + "]" +
         ",\"exe\":" + JsonStringOr(chosen, chosen ? e.candidates[static_cast<size_t>(e.chosen)].exe_path : "") +
         ",\"machine\":" + JsonStringOr(e.machine != 0, MachineName(e.machine)) +
         ",\"execution_level\":" + JsonStringOr(!e.execution_level.empty(), e.execution_level) +
         ",\"run_as_admin_layer\":" + JsonStringOr(!e.run_as_admin_layer.empty(), e.run_as_admin_layer) +
         ",\"command_line\":" + JsonStringOr(!e.command_line.empty(), e.command_line) +
         ",\"exit_code\":" + (e.error.empty() ? "0" : "-1") +
         ",\"error\":" + JsonStringOr(!e.error.empty(), e.error) + "}\n";
}
