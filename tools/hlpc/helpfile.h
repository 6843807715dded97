#pragma once
// A help file in the Windows 3.1 help format: the topics, their context names and
// numbers, and the writer that lays them out as the viewer reads them.
#include <cstdint>
#include <string>
#include <vector>

namespace hlpc {

enum class FontKind { kBody, kTitle, kHeading };

struct Span {
  std::string text;
  std::string linkTarget;  // a context name: the span jumps to that topic
};

struct Paragraph {
  enum class Kind { kBody, kTitle, kHeading, kBullet } kind = Kind::kBody;
  std::vector<Span> spans;
};

struct Topic {
  std::string name;                // context name, for jumps between topics
  std::vector<uint32_t> numbers;   // the program's help context numbers
  std::string title;
  std::vector<Paragraph> paragraphs;
};

struct HelpFile {
  std::string title;
  std::string contents;  // the context name of the contents topic
  std::vector<Topic> topics;
};

// The viewer's hash of a context name (letters, digits, '.' and '_' count).
int32_t ContextHash(const std::string& name);

// The whole file. Throws std::runtime_error when a part outgrows what this writer lays out.
std::vector<uint8_t> WriteHelpFile(const HelpFile& file);

}  // namespace hlpc
