// The whole chain under Wine: the driver puts the capture into each traced process, the
// capture writes to the driver's feed, and the driver hands the records to its subscriber
// with the process of each.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "support/temp_folder.h"
#include "tests/trapdriver/capture/tracer.h"
#include "tests/trapdriver/driver_fixture.h"
#include "trapdriver/feed/feed.h"

namespace {

using namespace trapdriver_testing;

// capsetup traced through the driver's VortTrapTraceProcess; `lastTraced` follows the id of
// the last process given to the driver. The stress install takes 8 s traced on an idle
// machine and four times that on one kept busy by two other programs: the time allowed is
// generous.
TraceResult TraceSetup(const std::string& arguments, std::atomic<DWORD>* lastTraced = nullptr) {
  auto traceProcess = reinterpret_cast<decltype(&VortTrapTraceProcess)>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("VORTTRAP.VXD"), "VortTrapTraceProcess")));
  return TraceProgram(
      "\"C:\\tests\\programs\\capsetup.exe\" " + arguments,
      [&](HANDLE process, HANDLE thread, DWORD id) {
        bool traced = traceProcess(process, thread, id) != 0;
        if (lastTraced != nullptr) *lastTraced = id;
        return traced;
      },
      150000);
}

class CaptureChain : public testing::Test {
 protected:
  testing_support::TempFolder folder_;
  const std::string base_ = folder_.Path().substr(0, folder_.Path().size() - 1);
  const std::string token_ = "VortCapChain" + std::to_string(GetCurrentProcessId());
};

TEST_F(CaptureChain, TheDriverGetsEachOperationWithItsProcess) {
  ASSERT_TRUE(TheDriver().open());
  const std::string& base = base_;
  const std::string& token = token_;
  std::vector<std::string> lines;
  TraceResult result;
  {
    Subscriber subscriber;
    result = TraceSetup("run \"" + base + "\" Software\\" + token);
    const uint32_t key = TheDriver().Key();
    auto child = [&](const Seen& seen) { return seen.path == base + "\\child.txt"; };
    std::vector<Seen> seen;
    gui::WaitFor([&] {
      seen = subscriber.WaitFor(0);
      return std::any_of(seen.begin(), seen.end(), child);
    }, kDeliveryTimeout);
    for (const Seen& record : seen) {
      std::string name = record.kind == 64 ? record.path : record.key + "\\" + record.subkey;
      if (name.find(base) == std::string::npos && name.find(token) == std::string::npos) continue;
      auto process = std::find(result.processIds.begin(), result.processIds.end(),
                               record.processId ^ key) - result.processIds.begin();
      lines.push_back(std::to_string(process) + ": " + std::to_string(record.kind) + "." +
                      std::to_string(record.operation) + " " + name.substr(name.rfind('\\') + 1));
    }
  }
  EXPECT_TRUE(TheDriver().close());
  EXPECT_TRUE(result.allEnded);
  std::vector<std::string> expected = {
      "0: 64.32 sub", "0: 64.36 a.txt", "0: 64.36 a.txt", "0: 64.37 a.txt", "0: 64.37 b.txt",
      "0: 64.36 temp.txt", "0: 64.31 temp.txt", "0: 64.32 sub", "0: 64.36 x.txt",
      "0: 64.36 crt.txt", "0: 64.36 shell.txt",
      "0: 1.0 " + token, "0: 1.0 Sub", "0: 1.2 Sub", "0: 1.3 Sub", "0: 1.3 Sub", "0: 1.2 Sub",
      "0: 1.4 Sub", "0: 1.2 Sub", "0: 1.1 Sub", "0: 1.0 Renamed", "0: 1.2 Renamed",
      "0: 1.4 Renamed", "0: 1.4 Renamed", "0: 1.4 Renamed", "0: 1.1 Renamed", "0: 1.1 " + token, "0: 1.0 " + token,
      "0: 1.2 " + token, "0: 1.4 " + token, "0: 1.1 " + token,
      "0: 1.0 " + token, "1: 1.2 " + token, "0: 1.2 " + token, "0: 1.3 " + token,
      "0: 1.3 " + token, "0: 1.4 " + token, "0: 1.4 " + token, "0: 1.1 " + token,
      "0: 1.0 ." + token, "0: 1.1 ." + token,
      "2: 64.36 child.txt",
  };
  EXPECT_EQ(lines, expected);
}

// Three processes of four threads each, every one of their 12,000 operations reported once
// under the process that made it.
TEST_F(CaptureChain, ManyThreadsOfManyProcessesLoseNothing) {
  ASSERT_TRUE(TheDriver().open());
  const std::string key = "Software\\" + token_;
  std::vector<Seen> seen;
  TraceResult result;
  {
    Subscriber subscriber;
    result = TraceSetup("stress \"" + base_ + "\" " + key);
    // The processes have ended: withdrawing the subscriptions delivers all they sent.
    for (int block = 0; block < 11; ++block) subscriber.Unsubscribe(block);
    seen = subscriber.WaitFor(TheDriver().Counts().delivered);
  }
  const uint32_t driverKey = TheDriver().Key();
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, key.c_str());
  EXPECT_TRUE(TheDriver().close());
  ASSERT_TRUE(result.allEnded);
  ASSERT_EQ(result.processIds.size(), 3u);
  // "<process> p<worker>t<thread>\f<i>" for a file, "...\v<i>" for a value, with the
  // index of the process that reported it.
  std::map<std::string, int> reported;
  for (const Seen& record : seen) {
    const bool file = record.kind == 64 && record.operation == 36 && record.path.find(base_) == 0;
    const bool value = record.kind == 1 && record.operation == 2 &&
                       record.subkey.find(token_ + "\\") != std::string::npos;
    if (!file && !value) continue;
    const std::string name =
        file ? record.path.substr(record.path.rfind('\\', record.path.rfind('\\') - 1) + 1)
             : record.subkey.substr(record.subkey.rfind('\\') + 1) + "\\" + record.valueName;
    const auto process = std::find(result.processIds.begin(), result.processIds.end(),
                                   record.processId ^ driverKey) - result.processIds.begin();
    ++reported[std::to_string(process) + " " + name];
  }
  std::vector<std::string> wrong;  // each operation missing, reported twice or elsewhere
  for (int worker = 0; worker < 3; ++worker)
    for (int t = 0; t < 4; ++t)
      for (int i = 0; i < 1000; ++i) {
        const std::string name = std::to_string(worker) + " p" + std::to_string(worker) + "t" +
                                 std::to_string(t) + (i < 500 ? "\\f" : "\\v") +
                                 std::to_string(i % 500);
        auto found = reported.find(name);
        const int times = found == reported.end() ? 0 : found->second;
        if (times != 1) wrong.push_back(name + " x" + std::to_string(times));
        if (found != reported.end()) reported.erase(found);
      }
  for (const auto& [name, times] : reported) wrong.push_back(name + " x" + std::to_string(times));
  EXPECT_EQ(wrong.size(), 0u) << "first: " << (wrong.empty() ? "" : wrong.front());
}

// Tracking stops while a traced child still runs, and its capture goes quiet; a later
// session, which traces every running process, arms it again and hears its later write,
// and the child runs to its end.
TEST_F(CaptureChain, ALaterSessionTracesTheLastOnesProcessesAgain) {
  const std::string eventName = "VortCapChainGo" + std::to_string(GetCurrentProcessId());
  HANDLE go = CreateEventA(nullptr, TRUE, FALSE, eventName.c_str());
  ASSERT_TRUE(TheDriver().open());
  TraceResult result;
  std::atomic<DWORD> lastTraced{0};
  std::thread tracer;
  {
    Subscriber subscriber;
    tracer = std::thread([&] {
      result = TraceSetup("run \"" + base_ + "\" Software\\" + token_ + " " + eventName,
                          &lastTraced);
    });
    // The child has its capture once it has made its stop event.
    DWORD parent = 0;
    EXPECT_TRUE(gui::WaitFor([&] { return (parent = lastTraced) != 0; }, kDeliveryTimeout));
    EXPECT_TRUE(gui::WaitFor([&] {
      DWORD child = lastTraced;
      HANDLE stop = child != parent ? OpenEventA(SYNCHRONIZE, FALSE,
                                                 trapfeed::StopEventName(child).c_str())
                                    : nullptr;
      if (stop != nullptr) CloseHandle(stop);
      return stop != nullptr;
    }, kDeliveryTimeout));
  }
  EXPECT_TRUE(TheDriver().close());

  ASSERT_TRUE(TheDriver().open());
  {
    Subscriber subscriber;
    SetEvent(go);
    tracer.join();
    EXPECT_TRUE(gui::WaitFor([&] {
      for (const Seen& record : subscriber.WaitFor(0))
        if (record.path.find(base_) != std::string::npos) return true;
      return false;
    }, kDeliveryTimeout));
  }
  EXPECT_TRUE(TheDriver().close());
  CloseHandle(go);
  EXPECT_TRUE(result.allEnded);
  EXPECT_EQ(folder_.Read("child.txt"), "child");
}

}  // namespace
