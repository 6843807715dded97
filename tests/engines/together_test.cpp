// Two walks at once: they overlap, the second's reports reach the window's thread, each
// failure goes where its step would have raised it, and a close request stops both.
#include "engines/together.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "engines/helpers.h"
#include "platform/owners.h"
#include "support/own_process.h"

namespace {

constexpr DWORD kPatience = 20000;  // milliseconds; only a walk that never came waits so long

struct Story {
  platform::Handle secondBegun{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
  bool secondEnded = false;
  std::vector<std::string> shown;  // progress texts, each tagged "main" or "other" thread
  std::vector<std::string> order;
  DWORD mainThread = GetCurrentThreadId();

  engines::ProgressCallback Progress() {
    return [this](const std::string& text) {
      shown.push_back(text + (GetCurrentThreadId() == mainThread ? " main" : " other"));
    };
  }
};

struct Case {
  const char* name;
  bool firstFails;
  bool secondFails;
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

class RunTogether : public ::testing::TestWithParam<Case> {};

TEST_P(RunTogether, OverlapReportsAndFailures) {
  const Case& c = GetParam();
  Story story;
  // The first walk waits for the second to have begun: one after the other, it never would.
  const engines::Walk first = [&](const engines::ProgressCallback& progress) {
    progress("registry");
    const bool overlapped = WaitForSingleObject(story.secondBegun.get(), kPatience) == WAIT_OBJECT_0;
    story.order.push_back(overlapped ? "first overlapped" : "first alone");
    if (c.firstFails) throw std::runtime_error("first");
  };
  const engines::Walk second = [&](const engines::ProgressCallback& progress) {
    SetEvent(story.secondBegun.get());
    Sleep(50);  // still running when the first ends
    progress("disk");
    story.secondEnded = true;
    if (c.secondFails) throw std::logic_error("second");
  };
  std::exception_ptr secondFailure;
  try {
    secondFailure = engines::RunTogether(first, second, story.Progress(),
                                         [&] { story.order.push_back("first ended"); });
    EXPECT_FALSE(c.firstFails);
  } catch (const std::runtime_error&) {
    EXPECT_TRUE(c.firstFails);
  }
  EXPECT_TRUE(story.secondEnded);  // waited for, whatever the first did
  EXPECT_EQ(secondFailure != nullptr, c.secondFails && !c.firstFails);
  const std::vector<std::string> order =
      c.firstFails ? std::vector<std::string>{"first overlapped"}
                   : std::vector<std::string>{"first overlapped", "first ended"};
  EXPECT_EQ(story.order, order);
  EXPECT_EQ(story.shown, (std::vector<std::string>{"registry main", "disk main"}));
}

INSTANTIATE_TEST_SUITE_P(Failures, RunTogether,
                         ::testing::Values(Case{"None", false, false}, Case{"First", true, false},
                                           Case{"Second", false, true}, Case{"Both", true, true}),
                         [](const ::testing::TestParamInfo<Case>& info) {
                           return std::string(info.param.name);
                         });

// In a process of its own, as the abort flag stays set: a close request that the first walk
// meets stops the second, which delivers no messages of its own, and stays for the main loop.
std::string CloseStory() {
  bool firstEnded = false;
  bool secondStopped = false;
  const engines::Walk first = [](const engines::ProgressCallback&) {
    PostQuitMessage(2);
    while (!engines::AbortRequested()) Sleep(1);
  };
  const engines::Walk second = [&](const engines::ProgressCallback&) {
    for (DWORD waited = 0; waited < kPatience && !secondStopped; waited += 5) {
      secondStopped = engines::AbortRequested();
      Sleep(5);
    }
  };
  const std::exception_ptr failure =
      engines::RunTogether(first, second, nullptr, [&] { firstEnded = true; });
  if (!secondStopped) return "the second walk was not stopped";
  if (firstEnded) return "a step was shown after the close request";
  MSG message;
  if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE) || message.message != WM_QUIT)
    return "no WM_QUIT for the main loop";
  return failure ? "a failure" : "";
}

}  // namespace

TEST(RunTogetherDeathTest, CloseRequestStopsBoth) {
  EXPECT_EXIT(testing_support::ExitWith(CloseStory()), testing::ExitedWithCode(0), "");
}
