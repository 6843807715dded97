#include "helpfile.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <stdexcept>

namespace hlpc {
namespace {

using Bytes = std::vector<uint8_t>;

void Put16(Bytes& out, uint32_t value) {
  out.push_back(value & 0xFF);
  out.push_back((value >> 8) & 0xFF);
}
void Put32(Bytes& out, uint32_t value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16);
}
void Set32(Bytes& out, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) out[at + i] = (value >> (8 * i)) & 0xFF;
}
void PutText(Bytes& out, const std::string& text) { out.insert(out.end(), text.begin(), text.end()); }

// The format's packed numbers: the low bit says whether the long form follows.
void PutPackedLong(Bytes& out, int32_t value) {
  if (value >= -16384 && value < 16384) {
    Put16(out, static_cast<uint32_t>(value * 2 + 0x8000));
  } else {
    Put32(out, static_cast<uint32_t>(value) * 2 + 0x80000001u);
  }
}
void PutPackedUShort(Bytes& out, uint32_t value) {
  if (value < 128) {
    out.push_back(static_cast<uint8_t>(value * 2));
  } else {
    Put16(out, value * 2 + 1);
  }
}
void PutPackedShort(Bytes& out, int value) { out.push_back(static_cast<uint8_t>(value * 2 + 0x80)); }

constexpr uint32_t kNone = 0xFFFFFFFF;
constexpr size_t kTopicBlockSize = 4096;
constexpr size_t kTopicBlockHeader = 12;
constexpr size_t kTopicBlockData = kTopicBlockSize - kTopicBlockHeader;
constexpr size_t kLinkHeader = 21;

// An internal file: its header (reserved space, used space, flags) and its bytes.
Bytes InternalFile(const Bytes& data) {
  Bytes out;
  Put32(out, static_cast<uint32_t>(data.size() + 9));
  Put32(out, static_cast<uint32_t>(data.size()));
  out.push_back(4);
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

// A B+ tree of one leaf page; entries already sorted as the viewer compares them.
Bytes OneLeafTree(const std::vector<Bytes>& entries, uint16_t flags, uint16_t pageSize,
                  const char* structure) {
  Bytes page;
  for (const Bytes& entry : entries) page.insert(page.end(), entry.begin(), entry.end());
  if (page.size() + 8 > pageSize) throw std::runtime_error("too many entries for one page");
  Bytes out;
  Put16(out, 0x293B);
  Put16(out, flags);
  Put16(out, pageSize);
  char name[16] = {};
  std::strncpy(name, structure, sizeof name - 1);
  out.insert(out.end(), name, name + sizeof name);
  Put16(out, 0);       // must be zero
  Put16(out, 0);       // page splits
  Put16(out, 0);       // root page
  Put16(out, 0xFFFF);  // must be -1
  Put16(out, 1);       // total pages
  Put16(out, 1);       // levels
  Put32(out, static_cast<uint32_t>(entries.size()));
  Put16(out, static_cast<uint32_t>(pageSize - 8 - page.size()));  // unused bytes
  Put16(out, static_cast<uint32_t>(entries.size()));
  Put16(out, 0xFFFF);  // previous page
  Put16(out, 0xFFFF);  // next page
  out.insert(out.end(), page.begin(), page.end());
  out.resize(out.size() + pageSize - 8 - page.size(), 0);
  return out;
}

// One record of the topic stream: a topic header (type 2) or a paragraph (type 0x20).
struct Link {
  uint8_t type;
  Bytes data1;  // after the 21-byte record header
  Bytes data2;  // title or paragraph text
  int characters = 0;
  size_t topic = 0;
  uint32_t position = 0;  // block number << 14 + offset in the block including its header
  uint32_t offset = 0;    // block number * 0x8000 + characters before it in the block
  size_t size() const { return kLinkHeader + data1.size() + data2.size(); }
};

uint16_t FontOf(Paragraph::Kind kind) {
  switch (kind) {
    case Paragraph::Kind::kTitle: return static_cast<uint16_t>(FontKind::kTitle);
    case Paragraph::Kind::kHeading: return static_cast<uint16_t>(FontKind::kHeading);
    default: return static_cast<uint16_t>(FontKind::kBody);
  }
}

Link ParagraphLink(const Paragraph& paragraph, const std::map<std::string, int32_t>& hashes) {
  Link link{0x20, {}, {}};
  Bytes commands;
  std::string pending;
  auto emit = [&](std::initializer_list<uint8_t> command) {
    PutText(link.data2, pending);
    link.data2.push_back(0);
    link.characters += static_cast<int>(pending.size());
    pending.clear();
    commands.insert(commands.end(), command);
  };
  uint16_t font = FontOf(paragraph.kind);
  emit({0x80, static_cast<uint8_t>(font & 0xFF), static_cast<uint8_t>(font >> 8)});
  if (paragraph.kind == Paragraph::Kind::kBullet) pending = "\x95 ";
  for (const Span& span : paragraph.spans) {
    if (span.linkTarget.empty()) {
      pending += span.text;
      continue;
    }
    auto hash = hashes.find(span.linkTarget);
    if (hash == hashes.end()) throw std::runtime_error("link to unknown topic " + span.linkTarget);
    uint32_t h = static_cast<uint32_t>(hash->second);
    emit({0xE3, static_cast<uint8_t>(h), static_cast<uint8_t>(h >> 8), static_cast<uint8_t>(h >> 16),
          static_cast<uint8_t>(h >> 24)});
    pending = span.text;
    emit({0x89});
  }
  emit({0x82});
  link.characters += 1;  // the paragraph end counts as one character
  emit({0xFF});

  Bytes& d = link.data1;
  PutPackedLong(d, static_cast<int32_t>(link.data2.size()));
  PutPackedUShort(d, static_cast<uint32_t>(link.characters));
  d.insert(d.end(), {0x00, 0x80, 0x00, 0x00});
  bool bullet = paragraph.kind == Paragraph::Kind::kBullet;
  bool title = paragraph.kind == Paragraph::Kind::kTitle;
  uint16_t bits = 0x0004 | (bullet ? 0x0050 : 0) | (title ? 0x0002 : 0);
  Put16(d, bits);
  if (title) PutPackedShort(d, 4);      // space before
  PutPackedShort(d, title ? 10 : 6);    // space after
  if (bullet) {
    PutPackedShort(d, 24);   // left indent
    PutPackedShort(d, -12);  // first line hangs out by the bullet
  }
  d.insert(d.end(), commands.begin(), commands.end());
  return link;
}

Bytes SystemFile(const HelpFile& file, uint32_t contentsOffset) {
  Bytes out;
  Put16(out, 0x036C);
  Put16(out, 21);  // minor version: the 3.1 format
  Put16(out, 1);
  Put32(out, 0);   // generation date: none, so that builds are reproducible
  Put16(out, 0);   // flags: topic blocks of 4 KB, not compressed
  Bytes title(file.title.begin(), file.title.end());
  title.push_back(0);
  Put16(out, 1);
  Put16(out, static_cast<uint32_t>(title.size()));
  out.insert(out.end(), title.begin(), title.end());
  Put16(out, 3);
  Put16(out, 4);
  Put32(out, contentsOffset);
  // The main window: its type, name and caption; the viewer chooses place and size.
  Bytes window(90, 0);
  window[0] = 0x01 | 0x02 | 0x04;
  std::strncpy(reinterpret_cast<char*>(&window[2]), "primary", 9);
  std::strncpy(reinterpret_cast<char*>(&window[12]), "main", 8);
  std::strncpy(reinterpret_cast<char*>(&window[21]), file.title.c_str(), 50);
  Put16(out, 6);
  Put16(out, static_cast<uint32_t>(window.size()));
  out.insert(out.end(), window.begin(), window.end());
  return out;
}

Bytes FontFile() {
  struct Face {
    uint8_t attributes, halfPoints;
  };
  const Face faces[] = {{0, 20}, {1, 28}, {1, 22}};  // body, title (bold), heading (bold)
  const size_t kFaceNameSize = 32;
  Bytes out;
  Put16(out, 1);
  Put16(out, sizeof faces / sizeof faces[0]);
  Put16(out, 8);
  Put16(out, static_cast<uint32_t>(8 + kFaceNameSize));
  char name[kFaceNameSize] = "Arial";
  out.insert(out.end(), name, name + kFaceNameSize);
  for (const Face& face : faces) {
    out.push_back(face.attributes);
    out.push_back(face.halfPoints);
    out.push_back(3);  // a sans-serif family
    Put16(out, 0);     // face name 0
    out.insert(out.end(), {0, 0, 0, 0xFF, 0xFF, 0xFF});  // black on white
  }
  return out;
}

}  // namespace

int32_t ContextHash(const std::string& name) {
  uint32_t hash = 0;
  for (char c : name) {
    int x = 0;
    if (c >= 'A' && c <= 'Z') x = c - 'A' + 17;
    if (c >= 'a' && c <= 'z') x = c - 'a' + 17;
    if (c >= '1' && c <= '9') x = c - '0';
    if (c == '0') x = 10;
    if (c == '.') x = 12;
    if (c == '_') x = 13;
    if (x) hash = hash * 43 + static_cast<uint32_t>(x);
  }
  return static_cast<int32_t>(hash);
}

std::vector<uint8_t> WriteHelpFile(const HelpFile& file) {
  std::map<std::string, int32_t> hashes;
  for (const Topic& topic : file.topics) {
    int32_t hash = ContextHash(topic.name);
    for (const auto& known : hashes)
      if (known.second == hash) throw std::runtime_error("two topics hash alike: " + topic.name);
    hashes[topic.name] = hash;
  }
  if (!hashes.count(file.contents)) throw std::runtime_error("no contents topic " + file.contents);

  // The records of every topic: its header, then its paragraphs.
  std::vector<Link> links;
  std::vector<size_t> headerOf(file.topics.size());
  for (size_t t = 0; t < file.topics.size(); ++t) {
    const Topic& topic = file.topics[t];
    headerOf[t] = links.size();
    Link header{0x02, Bytes(28, 0), Bytes(topic.title.begin(), topic.title.end())};
    header.topic = t;
    links.push_back(header);
    for (const Paragraph& paragraph : topic.paragraphs) {
      links.push_back(ParagraphLink(paragraph, hashes));
      links.back().topic = t;
    }
  }

  // Where each record lands: none crosses a block, so each block reads on its own.
  size_t block = 0, used = 0;
  uint32_t characters = 0;
  for (Link& link : links) {
    if (link.size() > kTopicBlockData) throw std::runtime_error("a paragraph is too long");
    if (used + link.size() > kTopicBlockData) ++block, used = 0, characters = 0;
    link.position = static_cast<uint32_t>((block << 14) + kTopicBlockHeader + used);
    link.offset = static_cast<uint32_t>(block * 0x8000 + characters);
    used += link.size();
    characters += static_cast<uint32_t>(link.characters);
  }
  size_t blocks = block + 1;

  // Topic headers: size, browse sequence, number, scrolling region, next topic.
  for (size_t t = 0; t < file.topics.size(); ++t) {
    Link& header = links[headerOf[t]];
    size_t end = t + 1 < file.topics.size() ? headerOf[t + 1] : links.size();
    uint32_t size = 0;
    for (size_t i = headerOf[t]; i < end; ++i) size += static_cast<uint32_t>(links[i].size());
    Set32(header.data1, 0, size);
    Set32(header.data1, 4, t > 0 ? links[headerOf[t - 1]].offset : kNone);
    Set32(header.data1, 8, end < links.size() ? links[end].offset : kNone);
    Set32(header.data1, 12, static_cast<uint32_t>(t));
    Set32(header.data1, 16, kNone);
    Set32(header.data1, 20, headerOf[t] + 1 < end ? links[headerOf[t] + 1].position : kNone);
    Set32(header.data1, 24, end < links.size() ? links[end].position : kNone);
  }

  Bytes topic(blocks * kTopicBlockSize, 0);
  std::vector<uint32_t> firstIn(blocks, kNone), lastIn(blocks, kNone), lastHeaderIn(blocks, kNone);
  for (size_t i = 0; i < links.size(); ++i) {
    const Link& link = links[i];
    size_t b = link.position >> 14;
    if (firstIn[b] == kNone) firstIn[b] = link.position;
    lastIn[b] = link.position;
    if (link.type == 0x02) lastHeaderIn[b] = link.position;
    Bytes record;
    Put32(record, static_cast<uint32_t>(link.size()));
    Put32(record, static_cast<uint32_t>(link.data2.size()));
    Put32(record, i > 0 ? links[i - 1].position : kNone);
    Put32(record, i + 1 < links.size() ? links[i + 1].position : kNone);
    Put32(record, static_cast<uint32_t>(kLinkHeader + link.data1.size()));
    record.push_back(link.type);
    record.insert(record.end(), link.data1.begin(), link.data1.end());
    record.insert(record.end(), link.data2.begin(), link.data2.end());
    std::copy(record.begin(), record.end(), topic.begin() + b * kTopicBlockSize + (link.position & 0x3FFF));
  }
  uint32_t lastHeader = kNone;
  for (size_t b = 0; b < blocks; ++b) {
    Set32(topic, b * kTopicBlockSize, b > 0 ? lastIn[b - 1] : kNone);
    Set32(topic, b * kTopicBlockSize + 4, firstIn[b]);
    Set32(topic, b * kTopicBlockSize + 8, lastHeader);
    if (lastHeaderIn[b] != kNone) lastHeader = lastHeaderIn[b];
  }

  // Context names, sorted by hash as signed numbers; context numbers in a plain table.
  std::vector<std::pair<int32_t, uint32_t>> contexts;
  std::vector<std::pair<uint32_t, uint32_t>> numbers;
  for (size_t t = 0; t < file.topics.size(); ++t) {
    uint32_t offset = links[headerOf[t]].offset;
    contexts.push_back({hashes[file.topics[t].name], offset});
    for (uint32_t number : file.topics[t].numbers) {
      for (const auto& known : numbers)
        if (known.first == number) throw std::runtime_error("a context number used twice");
      numbers.push_back({number, offset});
    }
  }
  std::sort(contexts.begin(), contexts.end());
  std::sort(numbers.begin(), numbers.end());
  std::vector<Bytes> contextEntries;
  for (const auto& context : contexts) {
    Bytes entry;
    Put32(entry, static_cast<uint32_t>(context.first));
    Put32(entry, context.second);
    contextEntries.push_back(entry);
  }
  Bytes map;
  Put16(map, static_cast<uint32_t>(numbers.size()));
  for (const auto& number : numbers) {
    Put32(map, number.first);
    Put32(map, number.second);
  }

  // The keyword index: each topic title once, case aside, in alphabetical order.
  std::map<std::string, std::pair<std::string, uint32_t>> keywords;
  for (size_t t = 0; t < file.topics.size(); ++t) {
    std::string key = file.topics[t].title;
    for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    keywords.insert({key, {file.topics[t].title, links[headerOf[t]].offset}});
  }
  std::vector<Bytes> keywordEntries;
  Bytes keywordTopics;
  for (const auto& keyword : keywords) {
    Bytes entry(keyword.second.first.begin(), keyword.second.first.end());
    entry.push_back(0);
    Put16(entry, 1);  // one topic
    Put32(entry, static_cast<uint32_t>(keywordTopics.size()));
    keywordEntries.push_back(entry);
    Put32(keywordTopics, keyword.second.second);
  }

  uint32_t contentsOffset = 0;
  for (size_t t = 0; t < file.topics.size(); ++t)
    if (file.topics[t].name == file.contents) contentsOffset = links[headerOf[t]].offset;

  // The internal files in the order the directory lists them (by name, byte by byte).
  std::map<std::string, Bytes> parts;
  parts["|CONTEXT"] = OneLeafTree(contextEntries, 0x0002, 0x0800, "L4");
  parts["|CTXOMAP"] = map;
  parts["|FONT"] = FontFile();
  parts["|KWBTREE"] = OneLeafTree(keywordEntries, 0x0002, 0x1000, "z2");
  parts["|KWDATA"] = keywordTopics;
  parts["|SYSTEM"] = SystemFile(file, contentsOffset);
  parts["|TOPIC"] = topic;

  Bytes out(16, 0);
  std::vector<Bytes> directory;
  for (const auto& part : parts) {
    Bytes entry(part.first.begin(), part.first.end());
    entry.push_back(0);
    Put32(entry, static_cast<uint32_t>(out.size()));
    directory.push_back(entry);
    Bytes bytes = InternalFile(part.second);
    out.insert(out.end(), bytes.begin(), bytes.end());
  }
  uint32_t directoryStart = static_cast<uint32_t>(out.size());
  Bytes tree = InternalFile(OneLeafTree(directory, 0x0402, 0x0400, "z4"));
  out.insert(out.end(), tree.begin(), tree.end());
  Set32(out, 0, 0x00035F3F);
  Set32(out, 4, directoryStart);
  Set32(out, 8, kNone);  // no free blocks
  Set32(out, 12, static_cast<uint32_t>(out.size()));
  return out;
}

}  // namespace hlpc
