// hlpc: builds the program's help file from its help source text.
// usage: hlpc SOURCE.txt OUTPUT.HLP
#include <fstream>
#include <iostream>

#include "helpfile.h"
#include "source.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: hlpc SOURCE.txt OUTPUT.HLP\n";
    return 2;
  }
  try {
    std::ifstream in(argv[1]);
    if (!in) throw std::runtime_error("cannot read the source");
    std::vector<uint8_t> bytes = hlpc::WriteHelpFile(hlpc::ParseHelpSource(in));
    std::ofstream out(argv[2], std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write the help file");
  } catch (const std::exception& error) {
    std::cerr << argv[1] << ": " << error.what() << "\n";
    std::remove(argv[2]);
    return 1;
  }
  return 0;
}
