// A fixture that runs a test once per encoder path (portable, SSSE3, AVX2), skipping the paths
// this CPU lacks or MORVANE_CPU_MASK switches off, and puts the fastest path back afterwards.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "morvane/encode/internal/VRXEncodeKernels.h"

namespace morvane::test {

class EncodePathTest : public ::testing::TestWithParam<detail::TEncodePath> {
 protected:
  void SetUp() override {
    if (!detail::SelectEncodePath(GetParam())) GTEST_SKIP() << "path not available here";
  }
  void TearDown() override { SelectFastestEncodePath(); }

 public:
  static void SelectFastestEncodePath() {
    for (auto p : {detail::TEncodePath::AVX2, detail::TEncodePath::SSSE3}) {
      if (detail::SelectEncodePath(p)) return;
    }
    detail::SelectEncodePath(detail::TEncodePath::Portable);
  }
};

inline std::string EncodePathName(const ::testing::TestParamInfo<detail::TEncodePath>& info) {
  switch (info.param) {
    case detail::TEncodePath::Portable:
      return "Portable";
    case detail::TEncodePath::SSSE3:
      return "SSSE3";
    default:
      return "AVX2";
  }
}

#define MORVANE_INSTANTIATE_ENCODE_PATHS(Suite)                                                   \
  INSTANTIATE_TEST_SUITE_P(                                                                       \
      Paths, Suite,                                                                               \
      ::testing::Values(morvane::detail::TEncodePath::Portable,                                   \
                        morvane::detail::TEncodePath::SSSE3, morvane::detail::TEncodePath::AVX2), \
      morvane::test::EncodePathName)

}  // namespace morvane::test
