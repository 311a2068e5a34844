#include "discovery/install_candidate.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

InstallCandidate Make(ToolKind kind, uint32_t major, uint32_t minor, int32_t bitness,
                      const char* path = "") {
  InstallCandidate c = {};
  c.kind = kind;
  c.major = major;
  c.minor = minor;
  c.bitness = bitness;
  std::strncpy(c.exe_path, path, sizeof c.exe_path - 1);
  return c;
}

std::string Describe(const CandidateList& list) {
  std::string text;
  for (const InstallCandidate& c : list) {
    text += std::to_string(c.kind) + ":" + std::to_string(c.major) + "." +
            std::to_string(c.minor) + "/" + (c.bitness ? "64" : "32") +
            (c.exe_path[0] ? std::string("@") + c.exe_path : "") + " ";
  }
  return text;
}

struct SortCase {
  const char* name;
  CandidateList input;
  const char* sorted;
};

TEST(SortCandidates, OrdersByKindVersionNumbersAndBitness) {
  const SortCase cases[] = {
      {"one", {Make(1, 3, 0, 1)}, "1:3.0/64 "},
      {"numbers not text",
       {Make(1, 9, 5, 0), Make(1, 10, 0, 0), Make(1, 8, 10, 0)},
       "1:8.10/32 1:9.5/32 1:10.0/32 "},
      {"32-bit before 64-bit", {Make(1, 8, 0, 1), Make(1, 8, 0, 0)}, "1:8.0/32 1:8.0/64 "},
      {"unsigned major", {Make(1, 0x80000000u, 0, 0), Make(1, 5, 0, 0)},
       "1:5.0/32 1:2147483648.0/32 "},
      {"kind first", {Make(2, 1, 0, 0), Make(1, 99, 9, 1)}, "1:99.9/64 2:1.0/32 "},
      {"equal ones keep their order",
       {Make(2, 3, 1, 1, "morvo"), Make(2, 2, 0, 0), Make(2, 3, 1, 1, "tessaline")},
       "2:2.0/32 2:3.1/64@morvo 2:3.1/64@tessaline "},
  };
  for (const SortCase& c : cases) {
    CandidateList list = c.input;
    SortCandidates(&list);
    EXPECT_EQ(Describe(list), c.sorted) << c.name;
  }
}

TEST(SortCandidates, KeepsEqualCandidatesInAppendOrderUpToThirtyTwo) {
  CandidateList list;
  for (int i = 0; i < 32; ++i) {
    std::string path = "p" + std::to_string(i);
    AppendCandidate(&list, Make(2, 7 - i % 3, 0, i % 2, path.c_str()));
  }
  SortCandidates(&list);
  for (size_t i = 1; i < list.size(); ++i) {
    ASSERT_FALSE(CandidateLess(list[i], list[i - 1]));
    if (!CandidateLess(list[i - 1], list[i])) {
      EXPECT_LT(std::stoi(list[i - 1].exe_path + 1), std::stoi(list[i].exe_path + 1));
    }
  }
}

TEST(CandidateLess, IsAStrictOrderThatIgnoresThePath) {
  InstallCandidate a = Make(1, 8, 0, 0, "a");
  InstallCandidate b = Make(1, 8, 0, 0, "b");
  EXPECT_FALSE(CandidateLess(a, a));
  EXPECT_FALSE(CandidateLess(a, b));
  EXPECT_FALSE(CandidateLess(b, a));
  b.revision = 1;
  EXPECT_TRUE(CandidateLess(a, b));
  EXPECT_FALSE(CandidateLess(b, a));
}

TEST(CandidateList, AppendCopiesAndReleaseEmpties) {
  CandidateList list;
  InstallCandidate c = Make(1, 1, 2, 1, "C:\\x.exe");
  AppendCandidate(&list, c);
  c.major = 99;
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].major, 1u);
  ReleaseCandidates(&list);
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(list.capacity(), 0u);
}

}  // namespace
