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

// Whether the path's last character is a backslash. In a double-byte code
// page (932, 936, 950) the second byte of a character may be 0x5C (the last
// byte of "表" or "ソ" in 932, of "許" in 950), so the path is read from its
// start, a lead byte taking its trail byte with it, as the command line is.
bool EndsInBackslash(const char* path) {
  const char* last = nullptr;
  for (const char* p = path; *p != '\0'; ++p) {
    last = p;
    if (IsLeadByte(static_cast<unsigned char>(*p)) && p[1] != '\0') ++p;
  }
  return last != nullptr && *last == '\\';
}

}  // namespace

int DeleteKeyTree(RegistryKey root, char* path) {
  if (DeleteRegistryKey(root, path) == 0) return 0;

  RegistryKey key = nullptr;
  long opened = OpenRegistryKey(root, path, 0, kKeyRead, &key);
  if (opened != 0) return opened == kErrorFileNotFound ? 0 : -1;

  size_t length = std::strlen(path);
  char* tail = path + length;
  if (!EndsInBackslash(path)) {
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
  RegistryKey root = nullptr;
  if (OpenMachineClasses(kKeyRead, &root) != 0) return -1;
  char path[kKeyTreePathSize];
  int result = -1;
  if (CopyName(path, kExtensionKey) && DeleteKeyTree(root, path) == 0 &&
      CopyName(path, kProgId) && DeleteKeyTree(root, path) == 0) {
    result = 0;
  }
  if (CloseRegistryKey(root) != 0) return -1;
  return result;
}
