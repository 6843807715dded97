#pragma once
// The window's part in a session's steps: the eye on the step's row, and the status line.
#include <functional>

#include "engines/helpers.h"
#include "engines/registry.h"

namespace report {

struct StepDisplay {
  std::function<void(int step)> moveStatusEye;
  engines::ProgressCallback showStatus;
  engines::RegistryErrorNotice registryError;  // the registry could not be read
};

}  // namespace report
