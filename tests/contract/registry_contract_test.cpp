// What the launcher relies on from the registry, checked on whichever
// platform layer the test is linked with: the in-memory one natively, the
// real one under Wine. A case that passes on one and fails on the other is a
// fault of the in-memory registry.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "platform/platform.h"
#include "tests/support/outside_code_page.h"
#include "tests/support/registry_helpers.h"

namespace {

const char kBase[] = "SOFTWARE\\ZandrellContract";
const std::string kBaseText = kBase;
constexpr uint32_t k32 = kKeyWow64_32Key;
// "āmega" in UTF-8: "ā" has no form in code page 1252 nor in 932.
const std::string kOutside = "\xc4\x81mega";
// The longest name a key can have, its last character outside the code page.
const std::string kLongestOutside = std::string(254, 'l') + "\xc4\x81";

// The launcher is a 32-bit program; a 64-bit build of these tests sees the
// other view when it names none.
#if defined(_WIN64)
constexpr bool kDefaultViewIs32Bit = false;
#else
constexpr bool kDefaultViewIs32Bit = true;
#endif

class RegistryContract : public ::testing::Test {
 protected:
  void SetUp() override { Clean(); }
  void TearDown() override { Clean(); }
  void Clean() {
    ASSERT_TRUE(DeleteKeyOutsideCodePage(kLocalMachine, kBase, kOutside, kKeyWow64_32Key));
    ASSERT_TRUE(DeleteKeyOutsideCodePage(kLocalMachine, kBase, kLongestOutside, kKeyWow64_32Key));
    ASSERT_TRUE(RemoveTree(kLocalMachine, kBase, kKeyWow64_32Key));
    ASSERT_TRUE(RemoveTree(kLocalMachine, kBase, kKeyWow64_64Key));
    ASSERT_TRUE(RemoveTree(kClassesRoot, ".zandrellcontract"));
  }
};

long Open(RegistryKey root, const std::string& path, uint32_t access, RegistryKey* key) {
  return OpenRegistryKey(root, path.c_str(), 0, access, key);
}

// 64-bit Windows keeps HKLM\SOFTWARE apart for 32-bit programs (under
// Wow6432Node); 32-bit Windows has one view, which both flags name. The
// layer says which, and the registry must agree.
TEST_F(RegistryContract, TheViewsOfSoftwareAreSeparateWhereTheSystemSaysSo) {
  const bool separate = HasSeparate64BitView();
  ASSERT_TRUE(WriteString(kLocalMachine, kBaseText + "\\Only64", "Path", "x", kKeyWow64_64Key));
  ASSERT_TRUE(WriteString(kLocalMachine, kBaseText + "\\Only32", "Path", "y", kKeyWow64_32Key));
  EXPECT_TRUE(KeyExists(kLocalMachine, kBaseText + "\\Only64", kKeyWow64_64Key));
  EXPECT_EQ(KeyExists(kLocalMachine, kBaseText + "\\Only64", kKeyWow64_32Key), !separate);
  EXPECT_EQ(KeyExists(kLocalMachine, kBaseText + "\\Only64"), !separate || !kDefaultViewIs32Bit);
  EXPECT_EQ(KeyExists(kLocalMachine, kBaseText + "\\Only32"), !separate || kDefaultViewIs32Bit);
  EXPECT_EQ(KeyExists(kLocalMachine, kBaseText + "\\Only32", kKeyWow64_64Key), !separate);
  EXPECT_EQ(KeyExists(kLocalMachine, "SOFTWARE\\Wow6432Node\\ZandrellContract\\Only32", kKeyWow64_64Key),
            separate);
}

TEST_F(RegistryContract, NamesIgnoreCaseAndEnumerateInSortedOrder) {
  for (const char* name : {"b", "C", "a", "10.0", "9.5"}) {
    ASSERT_TRUE(WriteKey(kLocalMachine, kBaseText + "\\" + name, k32));
  }
  EXPECT_TRUE(KeyExists(kLocalMachine, "software\\zandrellcontract\\c", k32));
  RegistryKey key = nullptr;
  ASSERT_EQ(Open(kLocalMachine, kBase, kKeyRead | kKeyWow64_32Key, &key), 0);
  uint32_t count = 0;
  ASSERT_EQ(QuerySubkeyCount(key, &count), 0);
  EXPECT_EQ(count, 5u);
  std::string order;
  char name[16];
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t length = sizeof name;
    ASSERT_EQ(EnumerateSubkey(key, i, name, &length), 0);
    EXPECT_EQ(length, std::strlen(name));
    order += std::string(name) + " ";
  }
  EXPECT_EQ(order, "10.0 9.5 a b C ");
  uint32_t length = sizeof name;
  EXPECT_EQ(EnumerateSubkey(key, count, name, &length), kErrorNoMoreItems);
  EXPECT_EQ(CloseRegistryKey(key), 0);
}

TEST_F(RegistryContract, EnumerationRefusesANameThatDoesNotFit) {
  const std::string longest(255, 'n');
  RegistryKey key = nullptr, child = nullptr;
  ASSERT_EQ(CreateRegistryKey(kLocalMachine, kBase, kKeyAllAccess | k32, &key), 0);
  ASSERT_EQ(CreateRegistryKey(key, longest.c_str(), kKeyAllAccess | k32, &child), 0);
  EXPECT_EQ(CloseRegistryKey(child), 0);
  char name[256];
  uint32_t length = 255;
  EXPECT_EQ(EnumerateSubkey(key, 0, name, &length), kErrorMoreData);
  length = 256;
  EXPECT_EQ(EnumerateSubkey(key, 0, name, &length), 0);
  EXPECT_EQ(length, 255u);
  EXPECT_EQ(name, longest);
  EXPECT_EQ(CloseRegistryKey(key), 0);
}

TEST_F(RegistryContract, ValuesKeepTheirTypeAndBytes) {
  const struct {
    const char* name;
    uint32_t type;
    std::string data;
  } cases[] = {
      {"Path", kRegSz, std::string("C:\\Tools\0", 9)},
      {"Expand", kRegExpandSz, std::string("%ProgramFiles%\\T\0", 17)},
      {"Binary", kRegBinary, std::string("\x01\x00\xff", 3)},
      {"Dword", kRegDword, std::string("\x2a\0\0\0", 4)},
      {"", kRegSz, std::string("default\0", 8)},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(WriteValue(kLocalMachine, kBase, c.name, c.type, c.data, k32)) << c.name;
    uint32_t type = 0;
    std::string data;
    ASSERT_TRUE(ReadValue(kLocalMachine, kBase, c.name, &type, &data, k32)) << c.name;
    EXPECT_EQ(type, c.type) << c.name;
    EXPECT_EQ(data, c.data) << c.name;
  }
  uint32_t type = 0;
  std::string data;
  EXPECT_FALSE(ReadValue(kLocalMachine, kBase, "Missing", &type, &data, k32));
}

TEST_F(RegistryContract, AShortBufferGetsMoreDataAndStringsGetATerminator) {
  ASSERT_TRUE(WriteValue(kLocalMachine, kBase, "Bare", kRegSz, std::string(259, 'p'), k32));
  ASSERT_TRUE(WriteValue(kLocalMachine, kBase, "Ended", kRegSz, std::string(259, 'p') + '\0', k32));
  ASSERT_TRUE(WriteValue(kLocalMachine, kBase, "Bin", kRegBinary, std::string(259, 'b'), k32));
  RegistryKey key = nullptr;
  ASSERT_EQ(Open(kLocalMachine, kBase, kKeyRead | k32, &key), 0);
  const struct {
    const char* name;
    uint32_t capacity;
    long result;
    uint32_t size;
    int last;  // the byte behind the 259 stored ones, -1 where nothing may be read
  } cases[] = {
      {"Bare", 300, 0, 260, 0},  // a string stored without terminator gets one
      {"Bare", 259, kErrorMoreData, 260, -1},
      {"Ended", 260, 0, 260, 0},
      {"Ended", 259, kErrorMoreData, 260, -1},
      {"Bin", 300, 0, 259, '#'},  // other types get nothing added
      {"Bin", 259, 0, 259, -1},
      {"Bin", 258, kErrorMoreData, 259, -1},
  };
  for (const auto& c : cases) {
    unsigned char buffer[300];
    std::memset(buffer, '#', sizeof buffer);
    uint32_t size = c.capacity;
    EXPECT_EQ(QueryRegistryValue(key, c.name, nullptr, buffer, &size), c.result) << c.name << c.capacity;
    EXPECT_EQ(size, c.size) << c.name << c.capacity;
    if (c.last >= 0) {
      EXPECT_EQ(buffer[259], c.last) << c.name << c.capacity;
    }
  }
  EXPECT_EQ(CloseRegistryKey(key), 0);
}

// Text written without its terminator, from a buffer whose next byte is no
// zero either, read as the scan reads "Path": into 260 bytes. The scan takes a
// path only where the buffer holds its terminator, which the layer adds.
TEST_F(RegistryContract, StringsStoredWithoutTerminatorAreReadAsTheScanReadsThem) {
  const std::string bytes = std::string(260, 'p') + "qqqq";
  const struct {
    const char* name;
    uint32_t stored;  // bytes written, none of them zero
    bool taken;       // a terminated path of `stored` characters comes back
  } cases[] = {
      {"Bare259", 259, true},
      {"Odd", 5, true},
      {"Bare260", 260, false},  // fills the buffer: handed out without a terminator
  };
  RegistryKey key = nullptr;
  ASSERT_EQ(CreateRegistryKey(kLocalMachine, kBase, kKeyAllAccess | k32, &key), 0);
  for (const auto& c : cases) {
    EXPECT_EQ(SetRegistryValue(key, c.name, kRegSz, reinterpret_cast<const unsigned char*>(bytes.data()),
                               c.stored),
              0);
  }
  for (const auto& c : cases) {
    char folder[260];
    std::memset(folder, '#', sizeof folder);  // the terminator must come from the layer
    uint32_t size = sizeof folder;
    uint32_t type = 0;
    long result = QueryRegistryValue(key, c.name, &type, reinterpret_cast<unsigned char*>(folder), &size);
    const bool terminated = std::memchr(folder, '\0', sizeof folder) != nullptr;
    EXPECT_EQ(result == 0 && terminated, c.taken) << c.name << " " << result;
    // The size is what was stored: the terminator the layer adds is not counted.
    EXPECT_EQ(size, c.stored) << c.name;
    if (c.taken) {
      EXPECT_EQ(type, kRegSz) << c.name;
      EXPECT_EQ(std::string(folder), bytes.substr(0, c.stored)) << c.name;
    }
  }
  EXPECT_EQ(CloseRegistryKey(key), 0);
}

// A module path that does not fit is cut: size - 1 characters, a terminator,
// and the size as the result.
TEST(ModulePathContract, APathThatDoesNotFitIsCutAtTheBuffersSize) {
  char whole[1024] = {};
  const uint32_t length = GetOwnModulePath(whole, sizeof whole);
  ASSERT_GT(length, 4u) << "no module path to cut";
  ASSERT_EQ(std::strlen(whole), length);
  for (uint32_t size : {length + 1, length, length - 1, 4u, 1u}) {
    char buffer[1024];
    std::memset(buffer, '#', sizeof buffer);
    const uint32_t expected = size > length ? length : size;
    EXPECT_EQ(GetOwnModulePath(buffer, size), expected) << size;
    const uint32_t kept = size > length ? length : size - 1;
    EXPECT_EQ(std::string(buffer, kept), std::string(whole, kept)) << size;
    EXPECT_EQ(buffer[kept], '\0') << size;
    EXPECT_EQ(buffer[kept + 1], '#') << size;
  }
}

// "ā" has no form in code page 1252 nor in 932; the system's own ANSI calls
// would hand it out as its look-alike "a". The layer refuses such text
// instead, names and string values alike, and leaves other types' bytes alone.
TEST_F(RegistryContract, TextOutsideTheCodePageIsRefusedNotReplaced) {
  const std::string& outside = kOutside;
  ASSERT_TRUE(WriteString(kLocalMachine, kBaseText + "\\amega", "Path", "C:\\plain", k32));
  ASSERT_TRUE(WriteKeyOutsideCodePage(kLocalMachine, kBaseText, outside, k32));
  ASSERT_TRUE(WriteKeyOutsideCodePage(kLocalMachine, kBaseText, kLongestOutside, k32));
  ASSERT_TRUE(WriteStringOutsideCodePage(kLocalMachine, kBaseText + "\\amega", "Other", "C:\\" + outside, k32));
  ASSERT_TRUE(WriteValue(kLocalMachine, kBaseText + "\\amega", "Bytes", kRegBinary, outside, k32));

  RegistryKey key = nullptr;
  ASSERT_EQ(Open(kLocalMachine, kBase, kKeyRead | k32, &key), 0);
  // Into the scan's 255 bytes: the longest name is refused for its
  // character, not as a name too long to fit.
  std::multiset<std::string> names;
  for (uint32_t i = 0; i < 3; ++i) {
    char name[255];
    uint32_t length = sizeof name;
    long result = EnumerateSubkey(key, i, name, &length);
    names.insert(result == 0 ? std::string(name) : "error " + std::to_string(result));
  }
  EXPECT_EQ(names, (std::multiset<std::string>{"amega", "error 1113", "error 1113"}));
  EXPECT_EQ(CloseRegistryKey(key), 0);

  const struct {
    const char* name;
    long result;
    std::string data;
  } values[] = {
      {"Path", 0, WithTerminator("C:\\plain")},
      {"Other", kErrorNoUnicodeTranslation, ""},
      {"Bytes", 0, outside},
  };
  ASSERT_EQ(Open(kLocalMachine, kBaseText + "\\amega", kKeyRead | k32, &key), 0);
  for (const auto& v : values) {
    unsigned char data[64] = {};
    uint32_t size = sizeof data;
    EXPECT_EQ(QueryRegistryValue(key, v.name, nullptr, data, &size), v.result) << v.name;
    if (v.result == 0) {
      EXPECT_EQ(std::string(reinterpret_cast<char*>(data), size), v.data) << v.name;
    }
    size = 0;
    EXPECT_EQ(QueryRegistryValue(key, v.name, nullptr, nullptr, &size), v.result) << v.name;
  }
  EXPECT_EQ(CloseRegistryKey(key), 0);
}

TEST_F(RegistryContract, DeletionTakesOnlyLeavesAndReportsMissingKeys) {
  ASSERT_TRUE(WriteKey(kClassesRoot, ".zandrellcontract\\Shell\\Open"));
  EXPECT_EQ(DeleteRegistryKey(kClassesRoot, ".zandrellcontract\\Shell"), kErrorAccessDenied);
  EXPECT_EQ(DeleteRegistryKey(kClassesRoot, ".zandrellcontract\\Missing"), kErrorFileNotFound);
  EXPECT_EQ(DeleteRegistryKey(kClassesRoot, ".zandrellcontract\\Shell\\Open"), 0);
  EXPECT_FALSE(KeyExists(kClassesRoot, ".zandrellcontract\\Shell\\Open"));
  EXPECT_EQ(DeleteRegistryKey(kClassesRoot, ".zandrellcontract\\Shell"), 0);
  RegistryKey key = nullptr;
  EXPECT_EQ(Open(kClassesRoot, ".zandrellcontract\\Shell", kKeyRead, &key), kErrorFileNotFound);
}

TEST_F(RegistryContract, AHandleToADeletedKeyFails) {
  ASSERT_TRUE(WriteKey(kClassesRoot, ".zandrellcontract\\Gone"));
  RegistryKey key = nullptr;
  ASSERT_EQ(Open(kClassesRoot, ".zandrellcontract\\Gone", kKeyAllAccess, &key), 0);
  ASSERT_EQ(DeleteRegistryKey(kClassesRoot, ".zandrellcontract\\Gone"), 0);
  uint32_t count = 0;
  EXPECT_EQ(QuerySubkeyCount(key, &count), kErrorKeyDeleted);
  const unsigned char data[] = "x";
  EXPECT_EQ(SetRegistryValue(key, nullptr, kRegSz, data, 2), kErrorKeyDeleted);
  EXPECT_EQ(CloseRegistryKey(key), 0);
}

TEST_F(RegistryContract, TheClassesRootOpensForWritingAndTakesNewKeys) {
  RegistryKey root = nullptr, ext = nullptr;
  ASSERT_EQ(OpenRegistryKey(kClassesRoot, nullptr, 0, kKeySetValue, &root), 0);
  ASSERT_EQ(CreateRegistryKey(root, ".zandrellcontract", kKeySetValue, &ext), 0);
  const char text[] = "Zandrell.Contract";
  EXPECT_EQ(SetRegistryValue(ext, nullptr, kRegSz, reinterpret_cast<const unsigned char*>(text),
                             sizeof text),
            0);
  EXPECT_EQ(CloseRegistryKey(ext), 0);
  EXPECT_EQ(CloseRegistryKey(root), 0);
  uint32_t type = 0;
  std::string data;
  ASSERT_TRUE(ReadValue(kClassesRoot, ".zandrellcontract", "", &type, &data));
  EXPECT_EQ(type, kRegSz);
  EXPECT_EQ(data, std::string(text, sizeof text));
}

}  // namespace
