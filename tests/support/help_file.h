#pragma once
// Reads back what a help file offers, the way the help viewer finds it: the internal
// files of its directory, and the title of the topic each help context number opens.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace testing_support {

struct HelpFileContents {
  std::vector<std::string> internalFiles;          // in the directory's order
  std::map<uint32_t, std::string> topicOfContext;  // context number -> topic title
  std::string contentsTitle;                       // the topic the contents opens
};

// Throws std::runtime_error when the file cannot be read or is not laid out as expected.
HelpFileContents ReadHelpFile(const std::string& path);

}  // namespace testing_support
