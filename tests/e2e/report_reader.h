#pragma once
// Reads both forms of an installation report back into parts a test can compare, and
// tells the changes of an installer from those Wine makes on its own.
#include <regex>
#include <string>
#include <vector>

namespace e2e {

// The bytes of a file; empty when it cannot be read.
std::string ReadBytes(const std::string& path);

// The lines of a text whose every line ends in CR LF; a stray line end fails the test.
std::vector<std::string> CrLfLines(const std::string& text);

// One part of the text form after the header: a block (its heading, the count in
// parentheses and the entries) or a line of its own such as "CHANGES MADE TO x...".
struct Block {
  std::string heading;  // without the count; the whole line for a line of its own
  bool counted = false;
  std::vector<std::string> entries;
};

struct TextReport {
  std::vector<std::string> header;  // up to the first empty line
  std::vector<Block> blocks;
};

// Fails the test where the form is broken: a count that differs from the entries that
// follow, a block or a no-changes line without its empty line.
TextReport ParseTextReport(const std::string& text);

using CsvRow = std::vector<std::string>;
// Every value must be quoted, with inner quotes doubled.
CsvRow ParseCsvLine(const std::string& line);

// Changes that are not the installer's own, by regular expression (case ignored) over a
// report entry: a path, a key path or a value line.
class Incidental {
 public:
  explicit Incidental(const std::vector<std::string>& patterns);
  bool Matches(const std::string& entry) const;
  // The blocks without incidental entries, as the report would print them (with "\n"
  // line ends); a block left empty goes too.
  std::string FilterText(const std::vector<Block>& blocks) const;
  // The rows from the fourth on (after the column headings and the header rows) without
  // those whose path or key path (third or fifth value) is incidental, joined by "\n".
  std::string FilterCsv(const std::string& csv) const;

 private:
  std::vector<std::regex> patterns_;
};

}  // namespace e2e
