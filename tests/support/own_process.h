#pragma once
// The abort flag is process-wide and stays set: a test that sets it runs its story in a
// process of its own, as a death test, so the tests after it still run with it clear.
//   EXPECT_EXIT(ExitWith(Story()), testing::ExitedWithCode(0), "");
// The story answers what went wrong, or nothing when all went as it should.
#include <cstdio>
#include <cstdlib>
#include <string>

namespace testing_support {

[[noreturn]] inline void ExitWith(const std::string& fault) {
  std::fprintf(stderr, "%s\n", fault.c_str());
  std::exit(fault.empty() ? 0 : 1);
}

}  // namespace testing_support
