// The whole chain under Wine: the driver puts the capture into each traced process, the
// capture writes to the driver's feed, and the driver hands the records to its subscriber
// with the process of each.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/temp_folder.h"
#include "trapdriver/driver_fixture.h"
#include "trapdriver/tracer.h"

namespace {

using namespace trapdriver_testing;

TEST(CaptureChain, TheDriverGetsEachOperationWithItsProcess) {
  ASSERT_TRUE(TheDriver().open());
  auto traceProcess = reinterpret_cast<decltype(&VortTrapTraceProcess)>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("VORTTRAP.VXD"), "VortTrapTraceProcess")));
  ASSERT_NE(traceProcess, nullptr);
  testing_support::TempFolder folder;
  const std::string base = folder.path().substr(0, folder.path().size() - 1);
  const std::string token = "VortCapChain" + std::to_string(GetCurrentProcessId());
  std::vector<std::string> lines;
  trapcapture::TraceResult result;
  {
    Subscriber subscriber;
    result = trapcapture::TraceProgram(
        "\"C:\\tests\\programs\\capsetup.exe\" run \"" + base + "\" Software\\" + token,
        [&](HANDLE process, HANDLE thread, DWORD id) { return traceProcess(process, thread, id) != 0; },
        60000);
    const uint32_t key = TheDriver().Key();
    auto child = [&](const Seen& seen) { return seen.path == base + "\\child.txt"; };
    std::vector<Seen> seen;
    Eventually([&] {
      seen = subscriber.WaitFor(0);
      return std::any_of(seen.begin(), seen.end(), child);
    });
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
      "0: 64.36 crt.txt",
      "0: 1.0 " + token, "0: 1.0 Sub", "0: 1.2 Sub", "0: 1.3 Sub", "0: 1.3 Sub", "0: 1.2 Sub",
      "0: 1.4 Sub", "0: 1.2 Sub", "0: 1.1 Sub", "0: 1.0 Renamed", "0: 1.1 Renamed",
      "0: 1.1 " + token, "0: 1.0 " + token, "0: 1.2 " + token, "0: 1.1 " + token,
      "0: 1.0 ." + token, "0: 1.1 ." + token,
      "1: 64.36 child.txt",
  };
  EXPECT_EQ(lines, expected);
}

}  // namespace
