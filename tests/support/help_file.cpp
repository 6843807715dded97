#include "support/help_file.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace testing_support {
namespace {

using Bytes = std::vector<uint8_t>;

uint32_t U16(const Bytes& b, size_t at) {
  if (at + 2 > b.size()) throw std::runtime_error("read past the end of the help file");
  return b[at] | (b[at + 1] << 8);
}
uint32_t U32(const Bytes& b, size_t at) { return U16(b, at) | (U16(b, at + 2) << 16); }

// The internal files by name, each as its data (after its 9-byte header).
std::map<std::string, Bytes> Directory(const Bytes& file, std::vector<std::string>& names) {
  if (U32(file, 0) != 0x00035F3F) throw std::runtime_error("not a help file");
  size_t tree = U32(file, 4) + 9;
  if (U16(file, tree) != 0x293B) throw std::runtime_error("no directory tree");
  size_t pageSize = U16(file, tree + 4);
  size_t page = U16(file, tree + 26);
  size_t levels = U16(file, tree + 32);
  size_t pages = tree + 38;
  for (; levels > 1; --levels) page = U16(file, pages + page * pageSize + 4);
  std::map<std::string, Bytes> parts;
  while (page != 0xFFFF) {
    size_t at = pages + page * pageSize;
    size_t entries = U16(file, at + 2);
    size_t entry = at + 8;
    for (size_t i = 0; i < entries; ++i) {
      std::string name(reinterpret_cast<const char*>(&file[entry]));
      size_t start = U32(file, entry + name.size() + 1);
      size_t used = U32(file, start + 4);
      if (start + 9 + used > file.size()) throw std::runtime_error(name + " does not fit");
      parts[name] = Bytes(file.begin() + start + 9, file.begin() + start + 9 + used);
      names.push_back(name);
      entry += name.size() + 5;
    }
    page = U16(file, at + 6);
  }
  return parts;
}

// Topic titles by topic offset: the records of the topic stream in their chain, with
// each block's characters counted as the viewer counts them.
std::map<uint32_t, std::string> TopicTitles(const Bytes& topic) {
  std::map<uint32_t, std::string> titles;
  uint32_t position = 12, characters = 0, block = 0;
  while (position != 0xFFFFFFFF) {
    uint32_t index = (position - 12) >> 14;
    size_t at = index * 4096 + 12 + ((position - 12) & 0x3FFF);
    if (index != block) block = index, characters = 0;
    uint32_t dataLen1 = U32(topic, at + 0x10), dataLen2 = U32(topic, at + 4);
    if (topic.at(at + 0x14) == 0x02) {
      titles[block * 0x8000 + characters] =
          std::string(topic.begin() + at + dataLen1, topic.begin() + at + dataLen1 + dataLen2);
    } else {
      size_t p = at + 0x15;
      p += (topic.at(p) & 1) ? 4 : 2;  // the text's size
      characters += (topic.at(p) & 1) ? U16(topic, p) / 2 : topic[p] / 2;
    }
    position = U32(topic, at + 0x0C);
  }
  return titles;
}

}  // namespace

HelpFileContents ReadHelpFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + path);
  Bytes file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  HelpFileContents contents;
  std::map<std::string, Bytes> parts = Directory(file, contents.internalFiles);
  for (const char* name : {"|SYSTEM", "|TOPIC", "|CTXOMAP"})
    if (!parts.count(name)) throw std::runtime_error(std::string("no ") + name);
  std::map<uint32_t, std::string> titles = TopicTitles(parts["|TOPIC"]);
  const Bytes& map = parts["|CTXOMAP"];
  for (size_t i = 0, n = U16(map, 0); i < n; ++i) {
    auto title = titles.find(U32(map, 2 + i * 8 + 4));
    if (title != titles.end()) contents.topicOfContext[U32(map, 2 + i * 8)] = title->second;
  }
  // The contents topic: record 3 of the system file.
  const Bytes& system = parts["|SYSTEM"];
  for (size_t at = 12; at + 4 <= system.size(); at += 4 + U16(system, at + 2))
    if (U16(system, at) == 3) contents.contentsTitle = titles[U32(system, at + 4)];
  return contents;
}

}  // namespace testing_support
