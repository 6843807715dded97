#include "support/sample_programs.h"

#include <windows.h>

#include <stdexcept>

#include "platform/system.h"

namespace testing_support {

void WriteWin32Program(const TempFolder& folder, const std::string& relative) {
  if (!CopyFileA(platform::ModulePath().c_str(), (folder / relative).c_str(), FALSE))
    throw std::runtime_error("cannot copy the test program to " + folder / relative);
}

void WriteDosProgram(const TempFolder& folder, const std::string& relative) {
  std::string image(64, '\0');
  const unsigned char header[] = {
      'M', 'Z',    // signature
      68, 0,       // bytes in the last page
      1, 0,        // pages
      0, 0,        // relocations
      4, 0,        // header paragraphs: 64 bytes
      0, 0, 0xFF, 0xFF,  // memory wanted
      0, 0, 0xB8, 0,     // SS:SP
      0, 0, 0, 0, 0, 0,  // checksum, IP, CS
      0x1C, 0,           // relocation table offset
  };
  image.replace(0, sizeof header, reinterpret_cast<const char*>(header), sizeof header);
  image += "\xB4\x4C\xCD\x21";  // mov ah,4Ch; int 21h
  folder.Write(relative, image);
}

void WriteComProgram(const TempFolder& folder, const std::string& relative) {
  folder.Write(relative, "\xB4\x4C\xCD\x21");
}

}  // namespace testing_support
