// Gives HKLM\SOFTWARE, in both registry views, an access list that lets
// everyone read it and nobody write it, as a prompt without elevation finds
// it on Windows; the test of run-tests.cmd's refusal then starts the kit.
// Wine holds a key's security only while its wineserver runs (none is saved
// with the registry), so the test keeps the server running until the kit has
// refused, and the prefix is writable again once the server has ended.
#include <windows.h>
#include <sddl.h>

#include <initializer_list>

int main() {
  PSECURITY_DESCRIPTOR read_only = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA("D:P(A;;KR;;;WD)", SDDL_REVISION_1,
                                                            &read_only, nullptr)) {
    return 1;
  }
  for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
    HKEY software = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, WRITE_DAC | view, &software) != ERROR_SUCCESS) {
      return 2;
    }
    const LONG set = RegSetKeySecurity(software, DACL_SECURITY_INFORMATION, read_only);
    RegCloseKey(software);
    if (set != ERROR_SUCCESS) return 3;
  }
  LocalFree(read_only);
  return 0;
}
