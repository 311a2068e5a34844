// One launchable executable of one installed tool version, and the list the
// installation scan collects them in.
#pragma once

#include <cstdint>
#include <vector>

// Which tool a configuration belongs to.
typedef int32_t ToolKind;
constexpr ToolKind kToolMorvo = 1;
constexpr ToolKind kToolTessaline = 2;

constexpr int32_t kBitness32 = 0;
constexpr int32_t kBitness64 = 1;

constexpr int kFilePathSize = 260;

// A plain value: clear it to zero (`InstallCandidate candidate = {};`) before
// filling it, so that every byte after the path's terminator is zero too.
struct InstallCandidate {
  uint32_t major;
  uint32_t minor;
  uint32_t revision;
  char exe_path[kFilePathSize];
  ToolKind kind;
  int32_t bitness;
};

typedef std::vector<InstallCandidate> CandidateList;

void AppendCandidate(CandidateList* list, const InstallCandidate& candidate);
bool CandidateLess(const InstallCandidate& a, const InstallCandidate& b);
void SortCandidates(CandidateList* list);
// Gives the list's storage back; the list is empty afterwards.
void ReleaseCandidates(CandidateList* list);
