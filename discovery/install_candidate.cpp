#include "discovery/install_candidate.h"

#include <algorithm>

void AppendCandidate(CandidateList* list, const InstallCandidate& candidate) {
  list->push_back(candidate);
}

// Kind, then version numbers, then bitness, so that the last candidate of a
// kind is its newest version, in its 64-bit build where there is one. The
// path takes no part: equal candidates stay in the order they were found.
bool CandidateLess(const InstallCandidate& a, const InstallCandidate& b) {
  if (a.kind != b.kind) return a.kind < b.kind;
  if (a.major != b.major) return a.major < b.major;
  if (a.minor != b.minor) return a.minor < b.minor;
  if (a.revision != b.revision) return a.revision < b.revision;
  return a.bitness < b.bitness;
}

// Stable, because for a Tessaline configuration the same version may come
// from both roots and the one found last (under the Tessaline root) must win.
void SortCandidates(CandidateList* list) {
  std::stable_sort(list->begin(), list->end(), CandidateLess);
}

void ReleaseCandidates(CandidateList* list) { CandidateList().swap(*list); }
