#include <cstring>

#include "association/association.h"

namespace {

// Key names can be up to 255 characters; one that long does not fit with its
// terminator, so its parent cannot be emptied and the removal fails.
constexpr uint32_t kNameSize = 255;
// The longest key path the buffer holds, terminator excluded.
constexpr size_t kMaxPathLength = kKeyTreePathSize - 1 - 1;

bool CopyName(char* path, const char* name) {
  if (std::strlen(name) > kMaxPathLength) return false;
  std::memset(path, 0, kKeyTreePathSize - 1);
  std::strcpy(path, name);
  return true;
}

}  // namespace

int DeleteKeyTree(RegistryKey root, char* path) {
  if (DeleteRegistryKey(root, path) == 0) return 0;

  RegistryKey key = nullptr;
  long opened = OpenRegistryKey(root, path, 0, kKeyRead, &key);
  if (opened != 0) return opened == kErrorFileNotFound ? 0 : -1;

  size_t length = std::strlen(path);
  char* tail = path + length;
  if (length == 0 || path[length - 1] != '\\') {
    *tail++ = '\\';
    *tail = '\0';
  }
  size_t used = static_cast<size_t>(tail - path);
  size_t room = used < kMaxPathLength ? kMaxPathLength - used : 0;

  // Always take the first subkey: the one deleted before is gone, so index 0
  // names the next. A subkey that can't be deleted, whose name can't be read
  // exactly or whose full path would not fit the buffer stops the emptying;
  // the key's own deletion then fails. A subkey whose deletion was reported
  // may come first once more (re-created, or gone only for a moment when it
  // was opened); a third time its name leads to some other key or to none,
  // and it would be "deleted" for ever: that stops the emptying too.
  char name[kNameSize] = {};
  int repeats = 0;
  for (;;) {
    uint32_t name_length = kNameSize;
    if (EnumerateSubkey(key, 0, name, &name_length) != 0) break;
    if (name_length > room) break;
    repeats = std::strcmp(tail, name) == 0 ? repeats + 1 : 0;
    if (repeats > 1) break;
    std::memcpy(tail, name, name_length + 1);
    if (DeleteKeyTree(root, path) != 0) break;
  }
  tail[-1] = '\0';

  if (CloseRegistryKey(key) != 0) return -1;
  if (DeleteRegistryKey(root, path) != 0) return -1;
  NotifyAssociationsChanged();
  return 0;
}

int UnregisterAssociation() {
  char path[kKeyTreePathSize];
  if (!CopyName(path, kExtensionKey) || DeleteKeyTree(kClassesRoot, path) != 0) return -1;
  if (!CopyName(path, kProgId) || DeleteKeyTree(kClassesRoot, path) != 0) return -1;
  return 0;
}
