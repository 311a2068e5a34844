// What run-tests.cmd cannot do in cmd itself, in one small program beside it:
//
//   kit_tool folder      exit code 0 when the kit's folder can be named in
//                        the ANSI code page exactly, as the programs under
//                        test need (the launcher refuses other paths)
//   kit_tool installed   exit code 0 when Windows Installer has a product of
//                        Zandrell Launcher's upgrade code installed
//   kit_tool remove      removes every such product quietly, then the copies
//                        of the kit's packages that Windows Installer kept
//                        in its cache for none of its products
//   kit_tool summary REPORTS SUITE=EXIT_CODE...
//                        reads each suite's JUnit report and prints each
//                        failing case, then the counts; exit code 0 when
//                        nothing failed
//
// Everything is done through the wide calls: the kit's folder may hold any
// letter the file system takes, and this program must still be able to say
// so rather than fail on it.
#include <windows.h>
#include <msi.h>
#include <msiquery.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/win32/exact_ansi.h"

namespace {

const wchar_t kUpgradeCode[] = ZL_UPGRADE_CODE;

std::wstring OwnFolder() {
  wchar_t path[32768] = {};
  const DWORD length = GetModuleFileNameW(nullptr, path, 32768);
  if (length == 0 || length >= 32768) return std::wstring();
  std::wstring folder(path, length);
  folder.resize(folder.rfind(L'\\'));
  return folder;
}

// Whether the ANSI code page holds `text` exactly, as the launcher converts
// what it is given: no letter dropped for a question mark and none replaced
// by a look-alike.
bool FitsAnsiCodePage(const std::wstring& text) {
  std::string ansi;
  return !text.empty() && ConvertToAnsiExactly(text.c_str(), static_cast<int>(text.size()), &ansi);
}

std::vector<std::wstring> RelatedProducts() {
  std::vector<std::wstring> products;
  wchar_t product[39] = {};
  for (DWORD i = 0; MsiEnumRelatedProductsW(kUpgradeCode, 0, i, product) == ERROR_SUCCESS; ++i) {
    products.push_back(product);
  }
  return products;
}

std::wstring ProductInfo(const std::wstring& product, const wchar_t* property) {
  wchar_t value[MAX_PATH + 1] = {};
  DWORD size = MAX_PATH + 1;
  if (MsiGetProductInfoW(product.c_str(), property, value, &size) != ERROR_SUCCESS) return std::wstring();
  return value;
}

// A package's code (the summary's revision number), which tells one build
// from another whatever its file is called.
std::wstring PackageCode(const std::wstring& path) {
  MSIHANDLE summary = 0;
  if (MsiGetSummaryInformationW(0, path.c_str(), 0, &summary) != ERROR_SUCCESS) return std::wstring();
  wchar_t code[64] = {};
  DWORD size = 64;
  UINT type = 0;
  const UINT read = MsiSummaryInfoGetPropertyW(summary, PIDSI_REVNUMBER, &type, nullptr, nullptr, code, &size);
  MsiCloseHandle(summary);
  return read == ERROR_SUCCESS ? code : std::wstring();
}

// The .msi files in `folder` and its subfolders.
void FindPackages(const std::wstring& folder, std::vector<std::wstring>* found) {
  WIN32_FIND_DATAW entry = {};
  HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring name = entry.cFileName;
    if (name == L"." || name == L"..") continue;
    const std::wstring path = folder + L"\\" + name;
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      FindPackages(path, found);
    } else if (name.size() > 4 && _wcsicmp(name.c_str() + name.size() - 4, L".msi") == 0) {
      found->push_back(path);
    }
  } while (FindNextFileW(search, &entry));
  FindClose(search);
}

// Windows Installer answers 1605 for a product already gone and 3010 when a
// restart finishes the removal.
int Remove() {
  int result = 0;
  MsiSetInternalUI(INSTALLUILEVEL_NONE, nullptr);
  for (const std::wstring& product : RelatedProducts()) {
    const std::wstring name = ProductInfo(product, L"ProductName") + L" " +
                              ProductInfo(product, L"VersionString");
    const UINT removed = MsiConfigureProductExW(product.c_str(), INSTALLLEVEL_DEFAULT, INSTALLSTATE_ABSENT,
                                                L"REBOOT=ReallySuppress");
    if (removed != ERROR_SUCCESS && removed != ERROR_UNKNOWN_PRODUCT && removed != ERROR_SUCCESS_REBOOT_REQUIRED) {
      std::wprintf(L"run-tests.cmd: removing %ls %ls ended with error %u\n", name.c_str(), product.c_str(), removed);
      result = 1;
    }
  }
  if (!RelatedProducts().empty()) result = 1;

  // A cached copy that no installed product names as its package is one
  // Windows Installer will never use again.
  std::vector<std::wstring> ours, cached;
  FindPackages(OwnFolder(), &ours);
  std::vector<std::wstring> codes;
  for (const std::wstring& package : ours) codes.push_back(PackageCode(package));
  std::vector<std::wstring> in_use;
  wchar_t product[39] = {};
  for (DWORD i = 0; MsiEnumProductsW(i, product) == ERROR_SUCCESS; ++i) {
    in_use.push_back(ProductInfo(product, L"LocalPackage"));
  }
  wchar_t windows[MAX_PATH] = {};
  GetWindowsDirectoryW(windows, MAX_PATH);
  FindPackages(std::wstring(windows) + L"\\Installer", &cached);
  for (const std::wstring& copy : cached) {
    bool used = false, kits = false;
    for (const std::wstring& path : in_use) used = used || _wcsicmp(path.c_str(), copy.c_str()) == 0;
    const std::wstring code = PackageCode(copy);
    for (const std::wstring& ours_code : codes) kits = kits || (!code.empty() && code == ours_code);
    if (kits && !used) DeleteFileW(copy.c_str());
  }
  return result;
}

std::string ReadWhole(const std::wstring& path, bool* found) {
  std::string text;
  FILE* file = _wfopen(path.c_str(), L"rb");
  *found = file != nullptr;
  if (file == nullptr) return text;
  char buffer[65536];
  for (size_t read; (read = std::fread(buffer, 1, sizeof buffer, file)) > 0;) text.append(buffer, read);
  std::fclose(file);
  return text;
}

// An attribute of the element that `tag` holds, its entities decoded.
std::string Attribute(const std::string& tag, const std::string& name) {
  const std::string key = " " + name + "=\"";
  const size_t start = tag.find(key);
  if (start == std::string::npos) return std::string();
  const size_t from = start + key.size();
  std::string value = tag.substr(from, tag.find('"', from) - from);
  const struct {
    const char* entity;
    char letter;
  } entities[] = {{"&quot;", '"'}, {"&apos;", '\''}, {"&lt;", '<'}, {"&gt;", '>'}, {"&amp;", '&'}};
  for (const auto& e : entities) {
    for (size_t at; (at = value.find(e.entity)) != std::string::npos;) value.replace(at, strlen(e.entity), 1, e.letter);
  }
  return value;
}

struct Counts {
  int passed = 0;
  int failed = 0;
  int skipped = 0;
};

// GoogleTest's report: one <testcase> per case, holding a <failure> when it
// failed and a <skipped> when GTEST_SKIP ended it; a disabled case is there
// with status="notrun".
void CountReport(const std::string& suite, const std::string& xml, int exit_code, Counts* counts) {
  int failed = 0;
  for (size_t at = xml.find("<testcase "); at != std::string::npos; at = xml.find("<testcase ", at + 1)) {
    const size_t tag_end = xml.find('>', at);
    const std::string tag = xml.substr(at, tag_end - at);
    size_t end = tag_end;
    if (tag.empty() || tag.back() != '/') end = xml.find("</testcase>", tag_end);
    const std::string body = xml.substr(tag_end, end == std::string::npos ? std::string::npos : end - tag_end);
    if (body.find("<failure") != std::string::npos || body.find("<error") != std::string::npos) {
      std::printf("%s: %s.%s\n", suite.c_str(), Attribute(tag, "classname").c_str(), Attribute(tag, "name").c_str());
      ++failed;
    } else if (Attribute(tag, "status") == "notrun" || Attribute(tag, "result") == "skipped" ||
               body.find("<skipped") != std::string::npos) {
      ++counts->skipped;
    } else {
      ++counts->passed;
    }
  }
  // A suite that ended otherwise than its cases say (a crash after the
  // report, an error outside every case) has failed all the same.
  if (failed == 0 && exit_code != 0) {
    std::printf("%s: exit code %d, though no case in its report failed\n", suite.c_str(), exit_code);
    failed = 1;
  }
  counts->failed += failed;
}

std::string Narrow(const std::wstring& text) {
  std::string narrow;
  for (wchar_t letter : text) narrow += letter < 128 ? static_cast<char>(letter) : '?';
  return narrow;
}

int Summary(const std::wstring& reports, int count, wchar_t** outcomes) {
  Counts counts;
  for (int i = 0; i < count; ++i) {
    const std::wstring outcome = outcomes[i];
    const size_t equals = outcome.find(L'=');
    const std::string suite = Narrow(outcome.substr(0, equals));
    const int exit_code = equals == std::wstring::npos ? -1 : _wtoi(outcome.c_str() + equals + 1);
    bool found = false;
    const std::string xml = ReadWhole(reports + L"\\" + outcome.substr(0, equals) + L".xml", &found);
    if (!found || xml.find("<testsuites") == std::string::npos) {
      std::printf("%s: no report, exit code %d\n", suite.c_str(), exit_code);
      ++counts.failed;
      continue;
    }
    CountReport(suite, xml, exit_code, &counts);
  }
  std::printf("%d tests passed, %d failed, %d skipped in %d suites\n", counts.passed, counts.failed,
              counts.skipped, count);
  return counts.failed == 0 ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring command = argc > 1 ? argv[1] : L"";
  if (command == L"folder") return FitsAnsiCodePage(OwnFolder()) ? 0 : 1;
  if (command == L"installed") return RelatedProducts().empty() ? 1 : 0;
  if (command == L"remove") return Remove();
  if (command == L"summary" && argc > 2) return Summary(argv[2], argc - 3, argv + 3);
  std::fprintf(stderr, "usage: kit_tool folder | installed | remove | summary REPORTS SUITE=EXIT_CODE...\n");
  return 2;
}
