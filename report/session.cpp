#include "report/session.h"

namespace session {

StatMask ModeMask(TrackMode mode, InstallType type) {
  StatMask mask = 0;
  switch (mode) {
    case tmReal: mask = kMaskReal; break;
    case tmTime: mask = kMaskTime; break;
    case tmDisk: mask = kMaskDisk; break;
    case tmNone: return 0;
  }
  return IsDosBased(type) ? mask & kMaskDosSteps : mask;
}

}  // namespace session
