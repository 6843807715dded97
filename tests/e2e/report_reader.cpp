#include "report_reader.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace e2e {

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

std::vector<std::string> CrLfLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find("\r\n", start);
    if (end == std::string::npos) {
      ADD_FAILURE() << "the last line has no CR LF: " << text.substr(start);
      end = text.size();
    }
    std::string line = text.substr(start, end - start);
    EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << "a stray line end in: " << line;
    lines.push_back(std::move(line));
    start = end + 2;
  }
  return lines;
}

// The lines of a block without its process lines, which the count leaves out.
static size_t EntryCount(const std::vector<std::string>& lines) {
  size_t count = 0;
  for (const std::string& line : lines)
    if (line.rfind("---by process ", 0) != 0) ++count;
  return count;
}

TextReport ParseTextReport(const std::string& text) {
  const std::vector<std::string> lines = CrLfLines(text);
  TextReport report;
  size_t i = 0;
  while (i < lines.size() && !lines[i].empty()) report.header.push_back(lines[i++]);
  ++i;  // the header's empty line
  static const std::regex counted("(.*: )\\(([0-9]+)\\)");
  while (i < lines.size()) {
    Block block;
    std::smatch match;
    if (std::regex_match(lines[i], match, counted)) {
      block.heading = match[1];
      block.counted = true;
      const size_t count = std::stoul(match[2]);
      for (++i; i < lines.size() && !lines[i].empty(); ++i) block.entries.push_back(lines[i]);
      EXPECT_EQ(EntryCount(block.entries), count) << "entries under " << block.heading;
      EXPECT_LT(i, lines.size()) << "no empty line after " << block.heading;
      ++i;
    } else {
      block.heading = lines[i++];
      // Only the opening line of an INI file's changes stands without an empty line.
      if (block.heading.rfind("CHANGES MADE TO ", 0) != 0) {
        EXPECT_TRUE(i < lines.size() && lines[i].empty()) << "no empty line after " << block.heading;
        ++i;
      }
    }
    report.blocks.push_back(std::move(block));
  }
  return report;
}

CsvRow ParseCsvLine(const std::string& line) {
  CsvRow row;
  size_t i = 0;
  for (;;) {
    if (i >= line.size() || line[i] != '"') {
      ADD_FAILURE() << "an unquoted value in: " << line;
      return row;
    }
    std::string value;
    for (++i; i < line.size(); ++i) {
      if (line[i] != '"') {
        value += line[i];
      } else if (i + 1 < line.size() && line[i + 1] == '"') {
        value += '"';
        ++i;
      } else {
        break;
      }
    }
    if (i >= line.size()) {
      ADD_FAILURE() << "an unclosed quote in: " << line;
      return row;
    }
    row.push_back(std::move(value));
    if (++i == line.size()) return row;
    if (line[i++] != ',') {
      ADD_FAILURE() << "no comma after a value in: " << line;
      return row;
    }
  }
}

Incidental::Incidental(const std::vector<std::string>& patterns) {
  for (const std::string& pattern : patterns)
    patterns_.emplace_back(pattern, std::regex::ECMAScript | std::regex::icase);
}

bool Incidental::Matches(const std::string& entry) const {
  for (const std::regex& pattern : patterns_)
    if (std::regex_search(entry, pattern)) return true;
  return false;
}

std::string Incidental::FilterText(const std::vector<Block>& blocks) const {
  std::string text;
  for (const Block& block : blocks) {
    if (!block.counted) {
      text += block.heading + "\n";
      if (block.heading.rfind("CHANGES MADE TO ", 0) != 0) text += "\n";
      continue;
    }
    std::vector<std::string> kept;
    for (const std::string& entry : block.entries)
      if (!Matches(entry)) kept.push_back(entry);
    if (kept.empty()) continue;
    text += block.heading + "(" + std::to_string(EntryCount(kept)) + ")\n";
    for (const std::string& entry : kept) text += entry + "\n";
    text += "\n";
  }
  return text;
}

std::string Incidental::FilterCsv(const std::string& csv) const {
  const std::vector<std::string> lines = CrLfLines(csv);
  std::string kept;
  for (size_t i = 3; i < lines.size(); ++i) {
    const CsvRow row = ParseCsvLine(lines[i]);
    if (row.size() > 2 && Matches(row[2])) continue;
    if (row.size() > 4 && Matches(row[4])) continue;
    kept += lines[i] + "\n";
  }
  return kept;
}

}  // namespace e2e
