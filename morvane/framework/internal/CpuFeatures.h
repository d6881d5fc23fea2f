// CPU features for run-time dispatch of fast paths.
#pragma once

#include <string>

namespace morvane {

// What the CPU offers and the process may use. Detected once (CPUID, and XGETBV before AVX);
// the environment variable MORVANE_CPU_MASK, a comma-separated list of the names below (or "all"),
// switches features off so that every portable twin can be run and tested.
struct TCpuFeatures {
  bool ssse3 = false;
  bool sse41 = false;
  bool avx2 = false;
  bool sha = false;  // the SHA extensions (SHA-1/SHA-256 instructions)
  bool bmi2 = false;
};

const TCpuFeatures& CpuFeatures() noexcept;

// A short text such as "ssse3,sse4.1,avx2,sha" of the features in use ("none" when none).
std::string CpuFeaturesText();

}  // namespace morvane
