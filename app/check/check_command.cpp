#include "app/check/check_command.h"

#include <exception>

#include "app/check/explain_association.h"
#include "app/check/explain_open.h"
#include "app/check/explain_versions.h"
#include "app/check/report_format.h"
#include "platform/platform.h"

namespace {

const char kUsage[] =
    "usage: ZandrellCheck which FILE [--json]\n"
    "       ZandrellCheck versions [--json]\n"
    "       ZandrellCheck association [--json]\n"
    "\n"
    "Explains what ZandrellLauncher.exe does with a .cfg file, and why:\n"
    "  which FILE    the tool and build it would start for FILE, and the exact\n"
    "                command line, or the step at which it would fail\n"
    "  versions      every installation of Morvo and Tessaline it finds or passes\n"
    "                over, and those it cannot see\n"
    "  association   whether double-clicking a .cfg file starts it\n"
    "  --json        one JSON object instead of text\n"
    "It only reads: it starts no tool and changes nothing.\n"
    "Exit code: 0 when all is well, 1 when the launcher would fail or something\n"
    "is wrong, 2 for a usage error.\n";

bool IsHelp(const std::string& argument) {
  return argument == "--help" || argument == "-h" || argument == "/?" || argument == "help";
}

int Usage(std::string* err, const std::string& problem) {
  *err = "ZandrellCheck: " + problem + "\n" + kUsage;
  return 2;
}

// The report when the check itself can't go on: one JSON object, or a line
// on standard error. For `which`, `file` is the FILE it was asked about, and
// the object has every field of its reports, as any that ends in failure.
int CheckFailed(bool json, const std::string& error, const ProcessArgument* file, std::string* out,
                std::string* err) {
  if (json && file != nullptr) {
    OpenExplanation explanation;
    if (file->exact) {
      explanation.file = file->text;
    } else {
      explanation.file_utf8 = file->utf8;
    }
    explanation.error = error;
    *out = OpenReportJson(explanation);
  } else if (json) {
    *out = "{\"error\":" + JsonUtf8String(error) + "}\n";
  } else {
    const std::string shown = file == nullptr ? "" : file->exact ? AnsiToUtf8(file->text) : file->utf8;
    *err = "ZandrellCheck: " + (file != nullptr ? shown + ": " : std::string()) + error + "\n";
  }
  return 1;
}

int RunSubcommand(const std::vector<ProcessArgument>& words, bool json, std::string* out,
                  std::string* err) {
  const std::string& command = words[0].text;
  if (command == "which") {
    if (!words[1].exact) {
      return CheckFailed(json,
                         "the name has a character outside the ANSI code page; the launcher can't "
                         "take it either and would exit with -1",
                         &words[1], out, err);
    }
    OpenExplanation explanation;
    int result = ExplainOpen(words[1].text, &explanation);
    *out = json ? OpenReportJson(explanation) : AnsiToUtf8(OpenReportText(explanation));
    return result == 0 ? 0 : 1;
  }
  if (command == "versions") {
    VersionsExplanation explanation;
    int result = ExplainVersions(&explanation);
    *out = json ? VersionsReportJson(explanation) : AnsiToUtf8(VersionsReportText(explanation));
    return result;
  }
  AssociationExplanation explanation;
  int result = ExplainAssociation(&explanation);
  *out = json ? AssociationReportJson(explanation) : AnsiToUtf8(AssociationReportText(explanation));
  return result;
}

}  // namespace

int RunCheck(const std::vector<ProcessArgument>& arguments, std::string* out, std::string* err) {
  bool json = false;
  std::vector<ProcessArgument> words;
  for (const ProcessArgument& argument : arguments) {
    if (argument.exact && argument.text == "--json") {
      json = true;
    } else if (argument.exact && IsHelp(argument.text)) {
      *out = kUsage;
      return 0;
    } else {
      words.push_back(argument);
    }
  }
  if (words.empty()) return Usage(err, "no subcommand");
  const std::string command = words[0].exact ? words[0].text : words[0].utf8;
  const size_t operands = words.size() - 1;
  if (command == "which") {
    if (operands != 1) return Usage(err, "which takes one FILE");
  } else if (command == "versions" || command == "association") {
    if (operands != 0) return Usage(err, command + " takes no FILE");
  } else {
    return Usage(err, "unknown subcommand \"" + (words[0].exact ? AnsiToUtf8(command) : command) + "\"");
  }
  // Whatever goes wrong on the way (memory running out, say), the caller
  // still gets an answer it can read, and an exit code that says so.
  const ProcessArgument* file = command == "which" ? &words[1] : nullptr;
  try {
    out->clear();
    return RunSubcommand(words, json, out, err);
  } catch (const std::exception& error) {
    return CheckFailed(json, std::string("the check itself failed: ") + error.what(), file, out, err);
  } catch (...) {
    return CheckFailed(json, "the check itself failed", file, out, err);
  }
}

int RunCheckProgram(std::string* out, std::string* err) {
  SetQuietErrorMode();
  // The C runtime's own argv holds best-fit look-alikes of names outside the
  // ANSI code page; the arguments are taken exactly, or only reported.
  std::vector<ProcessArgument> arguments;
  if (GetProcessArguments(&arguments) != 0) {
    *err = "ZandrellCheck: the command line can't be read\n";
    return 1;
  }
  if (!arguments.empty()) arguments.erase(arguments.begin());
  return RunCheck(arguments, out, err);
}
