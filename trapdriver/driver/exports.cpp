// The library's entry points: one driver per process, however often it is opened.
#include "trapdriver/driver/driver.h"
#include "trapdriver/driver/exports.h"

namespace trapdriver {

Driver& TheDriver() {
  static Driver driver;
  return driver;
}

}  // namespace trapdriver

using trapdriver::TheDriver;

extern "C" {

BOOL WINAPI VortTrapOpen(void) { return TheDriver().Open(); }

BOOL WINAPI VortTrapClose(void) { return TheDriver().Close(); }

BOOL WINAPI VortTrapControl(DWORD code, void* in, DWORD inSize, void* out, DWORD outSize,
                            DWORD* returned) {
  return TheDriver().Control(code, in, inSize, out, outSize, returned);
}

BOOL WINAPI VortTrapStats(VortTrapCounts* counts) {
  if (!counts) return FALSE;
  *counts = TheDriver().Counts();
  return TRUE;
}

}  // extern "C"
