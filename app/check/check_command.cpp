#include "app/check/check_command.h"

#include "app/check/explain_association.h"
#include "app/check/explain_open.h"
#include "app/check/explain_versions.h"
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

}  // namespace

int RunCheck(const std::vector<std::string>& arguments, std::string* out, std::string* err) {
  bool json = false;
  std::vector<std::string> words;
  for (const std::string& argument : arguments) {
    if (argument == "--json") {
      json = true;
    } else if (IsHelp(argument)) {
      *out = kUsage;
      return 0;
    } else {
      words.push_back(argument);
    }
  }
  if (words.empty()) return Usage(err, "no subcommand");
  const std::string& command = words[0];
  const size_t operands = words.size() - 1;
  if (command == "which") {
    if (operands != 1) return Usage(err, "which takes one FILE");
    OpenExplanation explanation;
    int result = ExplainOpen(words[1], &explanation);
    *out = json ? OpenReportJson(explanation) : AnsiToUtf8(OpenReportText(explanation));
    return result == 0 ? 0 : 1;
  }
  if (command == "versions" || command == "association") {
    if (operands != 0) return Usage(err, command + " takes no FILE");
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
  return Usage(err, "unknown subcommand \"" + command + "\"");
}
