// `ZandrellCheck association`: what the shell will do with a double-clicked
// .cfg file, and whether that is to start the launcher.
#pragma once

#include <string>
#include <vector>

struct RegistryText {
  bool present = false;
  bool expandable = false;  // REG_EXPAND_SZ: the shell expands its %variables%
  std::string text;
};

struct AssociationExplanation {
  RegistryText machine_type;  // HKLM\Software\Classes\.cfg: the file type for every user
  RegistryText user_type;     // HKCU\Software\Classes\.cfg: this user's own, which comes first
  RegistryText user_choice;   // Explorer's "Open with" choice, which comes before both
  RegistryText type;          // HKCR\.cfg, the merged view
  // The file type whose open command a double-click runs: Explorer's "Open
  // with" choice where that is ours, else the one HKCR\.cfg names.
  std::string used_type;
  RegistryText description;   // of the type used
  RegistryText command;       // its open command
  std::string expanded_command;  // the same with its variables expanded, if expandable
  bool expansion_failed = false;  // expandable, and it could not be expanded
  // The program the command starts; "" where the command could not be
  // expanded. Named as the command names it, System32 included: that is
  // the native one on 64-bit Windows, where Explorer is a 64-bit program.
  std::string program;
  // For an unquoted command with blanks: the programs Windows looks for
  // first, in turn, each of which would be started instead were it there.
  std::vector<std::string> earlier_programs;
  bool program_exists = false;
  bool program_is_ours = false;
  std::string warning;        // a risk in an association that works; "" for none
  // "registered", "not registered", "registered to another program",
  // "program missing", "overridden for this user" or "not judged" (a program
  // named without a full path, which Windows searches for, or a command that
  // could not be expanded), and why in a sentence.
  std::string verdict;
  std::string detail;
};

// Returns 0 when .cfg files open through a launcher of ours, 1 otherwise.
int ExplainAssociation(AssociationExplanation* explanation);

std::string AssociationReportText(const AssociationExplanation& explanation);
std::string AssociationReportJson(const AssociationExplanation& explanation);
