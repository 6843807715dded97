#include "source.h"

#include <set>
#include <sstream>
#include <stdexcept>

namespace hlpc {
namespace {

std::vector<Span> SpansOf(const std::string& text) {
  std::vector<Span> spans;
  size_t at = 0;
  while (at < text.size()) {
    size_t open = text.find('{', at);
    if (open == std::string::npos) {
      spans.push_back({text.substr(at), ""});
      break;
    }
    size_t bar = text.find('|', open);
    size_t close = text.find('}', open);
    if (bar == std::string::npos || close == std::string::npos || bar > close)
      throw std::runtime_error("a link needs {words|topic}");
    if (open > at) spans.push_back({text.substr(at, open - at), ""});
    spans.push_back({text.substr(open + 1, bar - open - 1), text.substr(bar + 1, close - bar - 1)});
    at = close + 1;
  }
  return spans;
}

std::string Trimmed(const std::string& line) {
  size_t first = line.find_first_not_of(" \t\r");
  if (first == std::string::npos) return "";
  return line.substr(first, line.find_last_not_of(" \t\r") - first + 1);
}

}  // namespace

HelpFile ParseHelpSource(std::istream& in) {
  HelpFile file;
  std::string line, paragraph;
  Paragraph::Kind kind = Paragraph::Kind::kBody;
  int number = 0;
  std::set<uint32_t> numbers;
  auto flush = [&] {
    if (paragraph.empty()) return;
    file.topics.back().paragraphs.push_back({kind, SpansOf(paragraph)});
    paragraph.clear();
    kind = Paragraph::Kind::kBody;
  };
  try {
    while (std::getline(in, line)) {
      ++number;
      line = Trimmed(line);
      if (line.empty() || line[0] == ';') {
        if (line.empty() && !file.topics.empty()) flush();
        continue;
      }
      std::istringstream words(line);
      std::string word;
      words >> word;
      if (word == ".title") {
        file.title = Trimmed(line.substr(word.size()));
      } else if (word == ".contents") {
        words >> file.contents;
      } else if (word == ".topic") {
        if (!file.topics.empty()) flush();
        Topic topic;
        if (!(words >> topic.name)) throw std::runtime_error(".topic needs a name");
        for (std::string n; words >> n;) {
          uint32_t value = static_cast<uint32_t>(std::stoul(n));
          if (!numbers.insert(value).second) throw std::runtime_error("number " + n + " used twice");
          topic.numbers.push_back(value);
        }
        file.topics.push_back(topic);
      } else if (file.topics.empty()) {
        throw std::runtime_error("text before the first .topic");
      } else if (word == "#" || word == "##") {
        flush();
        std::string text = Trimmed(line.substr(word.size()));
        if (word == "#") file.topics.back().title = text;
        kind = word == "#" ? Paragraph::Kind::kTitle : Paragraph::Kind::kHeading;
        paragraph = text;
        flush();
      } else if (word == "*") {
        flush();
        kind = Paragraph::Kind::kBullet;
        paragraph = Trimmed(line.substr(1));
      } else {
        flush();
        paragraph = line;
      }
    }
    if (!file.topics.empty()) flush();
  } catch (const std::exception& error) {
    throw std::runtime_error("line " + std::to_string(number) + ": " + error.what());
  }
  if (file.topics.empty()) throw std::runtime_error("no topics");
  for (const Topic& topic : file.topics)
    if (topic.title.empty()) throw std::runtime_error("topic " + topic.name + " has no # title");
  if (file.contents.empty()) file.contents = file.topics.front().name;
  return file;
}

}  // namespace hlpc
