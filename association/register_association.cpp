#include <cstring>
#include <initializer_list>

#include "association/association.h"

namespace {

constexpr size_t kTextSize = 16383;
constexpr size_t kModulePathSize = 255;
// The open command, terminator included, must fit this bound.
constexpr size_t kCommandBound = 255;

constexpr uint16_t kPrimaryLanguageMask = 0x3FF;
constexpr uint16_t kLangGerman = 0x07;

const char kDescriptionGerman[] = "Tessaline/Morvo Konfiguration";
const char kDescriptionOther[] = "Tessaline/Morvo Configuration";
const char kIconReference[] = "%1";
const char kCommandTail[] = "\" \"%1\"";

long SetDefaultText(RegistryKey key, const char* text) {
  return SetRegistryValue(key, nullptr, kRegSz, reinterpret_cast<const unsigned char*>(text),
                          static_cast<uint32_t>(std::strlen(text) + 1));
}

// Copies `text` behind what `buffer` holds if the result, terminator
// included, stays within `bound` characters.
bool AppendBounded(char* buffer, size_t bound, const char* text) {
  size_t used = std::strlen(buffer);
  size_t length = std::strlen(text);
  if (used + length + 1 > bound) return false;
  std::memcpy(buffer + used, text, length + 1);
  return true;
}

// Any German, whatever the country: the primary language decides.
const char* Description() {
  return (GetDefaultUiLanguage() & kPrimaryLanguageMask) == kLangGerman ? kDescriptionGerman
                                                                        : kDescriptionOther;
}

// The open command quotes our own path and the opened file, so that blanks in
// either survive and the file reaches us as the single quoted argument we
// expect. A module path the system cut to fit its buffer, or one too long for
// the command, would register a command that starts nothing: refuse instead.
bool BuildOpenCommand(char* text) {
  char module_path[kModulePathSize] = {};
  uint32_t length = GetOwnModulePath(module_path, kModulePathSize);
  if (length == 0 || length >= kModulePathSize) return false;
  text[0] = '\0';
  return AppendBounded(text, kCommandBound, "\"") &&
         AppendBounded(text, kCommandBound, module_path) &&
         AppendBounded(text, kCommandBound, kCommandTail);
}

// On the way out of a failed registration the keys still open are closed,
// in the order given, without looking at the results: the job has failed
// already and nothing is rolled back.
int FailClosing(RegistryKey a, RegistryKey b = nullptr, RegistryKey c = nullptr) {
  for (RegistryKey key : {a, b, c}) {
    if (key != nullptr) CloseRegistryKey(key);
  }
  return -1;
}

}  // namespace

// Walks down the file-type key, closing each parent as soon as its child
// exists, so that besides the root no more than two keys are open at a time.
int RegisterAssociation() {
  char text[kTextSize] = {};

  RegistryKey root = nullptr, ext = nullptr, progid = nullptr, icon = nullptr;
  RegistryKey shell = nullptr, open = nullptr, command = nullptr;

  if (OpenMachineClasses(kKeySetValue, &root) != 0) return -1;

  if (CreateRegistryKey(root, kExtensionKey, kKeySetValue, &ext) != 0) return FailClosing(root);
  if (SetDefaultText(ext, kProgId) != 0) return FailClosing(root, ext);
  if (CloseRegistryKey(ext) != 0) return FailClosing(root);

  if (CreateRegistryKey(root, kProgId, kKeySetValue, &progid) != 0) return FailClosing(root);
  if (SetDefaultText(progid, Description()) != 0) return FailClosing(root, progid);

  if (CreateRegistryKey(progid, "DefaultIcon", kKeySetValue, &icon) != 0) {
    return FailClosing(root, progid);
  }
  if (SetDefaultText(icon, kIconReference) != 0) return FailClosing(root, progid, icon);
  if (CloseRegistryKey(icon) != 0) return FailClosing(root, progid);

  if (CreateRegistryKey(progid, "Shell", kKeySetValue, &shell) != 0) {
    return FailClosing(root, progid);
  }
  if (CloseRegistryKey(progid) != 0) return FailClosing(root, shell);
  if (CreateRegistryKey(shell, "Open", kKeySetValue, &open) != 0) return FailClosing(root, shell);
  if (CloseRegistryKey(shell) != 0) return FailClosing(root, open);
  if (CreateRegistryKey(open, "Command", kKeySetValue, &command) != 0) {
    return FailClosing(root, open);
  }
  if (CloseRegistryKey(open) != 0) return FailClosing(root, command);

  if (!BuildOpenCommand(text) || SetDefaultText(command, text) != 0) {
    return FailClosing(root, command);
  }
  if (CloseRegistryKey(command) != 0) return FailClosing(root);
  if (CloseRegistryKey(root) != 0) return -1;

  NotifyAssociationsChanged();
  return 0;
}
