// The conversion that keeps look-alikes out, against the code page's own
// round trip over random UTF-16 text: text converts exactly if and only if
// converting it (best fit allowed) and back gives the very same text, and
// then the bytes are those of the plain conversion. ctest runs it under code
// page 1252 and again under 932.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/exact_ansi.h"
#include "tests/wine/under_wine.h"

namespace {

// Ranges to draw characters from: what the code pages hold, what they hold
// only as a look-alike, and what no code page holds.
const std::pair<wchar_t, wchar_t> kRanges[] = {
    {0x0001, 0x007F},  // ASCII, controls included
    {0x0080, 0x00FF},  // Latin-1
    {0x0100, 0x017F},  // Latin Extended-A: "ā", "ő"
    {0x0370, 0x03FF},  // Greek: "Ω"
    {0x0400, 0x04FF},  // Cyrillic
    {0x2000, 0x22FF},  // punctuation, currency, arrows, mathematics: "€", "∞"
    {0x3000, 0x30FF},  // Japanese punctuation, kana: "ソ"
    {0x4E00, 0x9FFF},  // CJK ideographs: "表"
    {0xD800, 0xDFFF},  // surrogates, paired or not
    {0xE000, 0xE0FF},  // private use
    {0xFF00, 0xFFFF},  // full and half width forms, specials
};

TEST(ExactAnsi, AgreesWithTheCodePagesRoundTrip) {
  std::mt19937 random(12345);
  std::uniform_int_distribution<size_t> pick_range(0, std::size(kRanges) - 1);
  std::uniform_int_distribution<int> pick_length(0, 12);
  int exact_texts = 0;
  for (int round = 0; round < 20000; ++round) {
    std::wstring text;
    for (int i = pick_length(random); i > 0; --i) {
      const auto& range = kRanges[pick_range(random)];
      text += static_cast<wchar_t>(std::uniform_int_distribution<int>(range.first, range.second)(random));
    }
    const int count = static_cast<int>(text.size());
    char plain[64] = {};
    int plain_length = WideCharToMultiByte(CP_ACP, 0, text.data(), count, plain, sizeof plain, nullptr, nullptr);
    wchar_t back[64] = {};
    int back_length = MultiByteToWideChar(CP_ACP, 0, plain, plain_length, back, 64);
    const bool round_trips = std::wstring(back, static_cast<size_t>(back_length)) == text;

    char exact[64] = {};
    int exact_length = ConvertToAnsiExactly(text.data(), count, exact, sizeof exact);
    ASSERT_EQ(exact_length >= 0, round_trips) << "round " << round;
    if (exact_length >= 0) {
      ASSERT_EQ(std::string(exact, exact_length), std::string(plain, plain_length)) << "round " << round;
      ++exact_texts;
    }
  }
  // Both kinds of text were met, many times over.
  EXPECT_GT(exact_texts, 1000);
  EXPECT_LT(exact_texts, 19000);
}

// Strings as another program may store them through the W call (with or
// without a terminator, or with an odd byte count that ends in half a
// character) read back through the layer exactly as RegQueryValueExA hands
// them out: the same result, size and bytes, for every buffer size.
TEST(ExactAnsi, StringValuesReadAsTheAnsiCallReadsThem) {
  const wchar_t kKey[] = L"Software\\ZandrellExactAnsi";
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), 0);
  const wchar_t text[] = L"abcd";
  const struct {
    const wchar_t* name;
    DWORD bytes;  // stored from `text`
  } stored[] = {{L"Ended", 10}, {L"Bare", 8}, {L"Odd", 7}, {L"OneByte", 1}, {L"Empty", 0}};
  for (const auto& value : stored) {
    ASSERT_EQ(RegSetValueExW(key, value.name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), value.bytes), 0);
  }
  for (const auto& value : stored) {
    char name[16] = {};
    WideCharToMultiByte(CP_ACP, 0, value.name, -1, name, sizeof name, nullptr, nullptr);
    for (DWORD capacity : {0u, 1u, 2u, 3u, 4u, 5u, 6u, 260u}) {
      unsigned char ours[300], theirs[300];
      std::memset(ours, '#', sizeof ours);
      std::memset(theirs, '#', sizeof theirs);
      uint32_t our_size = capacity;
      DWORD their_size = capacity;
      uint32_t our_type = 0;
      DWORD their_type = 0;
      long our_result = QueryRegistryValue(reinterpret_cast<RegistryKey>(key), name, &our_type, ours, &our_size);
      long their_result = RegQueryValueExA(key, name, nullptr, &their_type, theirs, &their_size);
      const std::string where = std::string(name) + " into " + std::to_string(capacity);
      EXPECT_EQ(our_result, their_result) << where;
      EXPECT_EQ(our_size, their_size) << where;
      EXPECT_EQ(our_type, their_type) << where;
      EXPECT_EQ(std::string(reinterpret_cast<char*>(ours), sizeof ours),
                std::string(reinterpret_cast<char*>(theirs), sizeof theirs))
          << where;
    }
  }
  RegCloseKey(key);
  RegDeleteKeyW(HKEY_CURRENT_USER, kKey);
}

// Windows takes WC_ERR_INVALID_CHARS only for a code page named CP_UTF8 (or
// 54936): with CP_ACP it refuses the flag (ERROR_INVALID_FLAGS), whatever the
// ANSI code page is, 65001 included, which is why the exact conversion names
// CP_UTF8 under UTF-8. Wine takes the flag with CP_ACP in every code page.
TEST(ExactAnsi, TheStrictFlagIsRefusedWithCpAcpOnWindowsAndTakenUnderWine) {
  char out[16] = {};
  SetLastError(ERROR_SUCCESS);
  const int converted = WideCharToMultiByte(CP_ACP, WC_ERR_INVALID_CHARS, L"ab", 2, out, sizeof out, nullptr, nullptr);
  const DWORD error = GetLastError();
  if (RunningUnderWine()) {
    EXPECT_EQ(converted, 2) << "code page " << GetACP();
  } else {
    EXPECT_EQ(converted, 0) << "code page " << GetACP();
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_INVALID_FLAGS)) << "code page " << GetACP();
  }
  // Named as CP_UTF8, the flag is taken everywhere.
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, L"ab", 2, out, sizeof out, nullptr, nullptr), 2);
}

}  // namespace
