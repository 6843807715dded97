#pragma once
// Files of each kind an install program can be, for the classification tests.
#include <string>

#include "support/temp_folder.h"

namespace testing_support {

// A real 32-bit Windows program: a copy of the running test program.
void WriteWin32Program(const TempFolder& folder, const std::string& relative);
// A DOS program of the smallest size Wine still recognises (64 bytes of header).
void WriteDosProgram(const TempFolder& folder, const std::string& relative);
// A .COM program: four bytes of code.
void WriteComProgram(const TempFolder& folder, const std::string& relative);

}  // namespace testing_support
