#pragma once
// A stand-in for the driver's feed in the capture tests: the capture library built with it
// appends each message as one text line to the file named by kStandinVariable, and the
// tests read the lines back. While the file is missing nobody listens.
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "trapdriver/feed/feed.h"

namespace capture_standin {

constexpr char kStandinVariable[] = "VORTAN4_CAPTURE_STANDIN";

inline std::string Hex(const std::string& bytes) {
  std::string text;
  char pair[3];
  for (unsigned char byte : bytes) {
    std::snprintf(pair, sizeof pair, "%02x", byte);
    text += pair;
  }
  return text.empty() ? "-" : text;
}

inline std::string Unhex(const std::string& text) {
  std::string bytes;
  for (size_t i = 0; text != "-" && i + 1 < text.size(); i += 2)
    bytes += static_cast<char>(std::stoi(text.substr(i, 2), nullptr, 16));
  return bytes;
}

inline std::string Line(const trapfeed::Message& m) {
  std::ostringstream out;
  out << static_cast<uint32_t>(m.kind) << ' ' << m.operation << ' ' << m.subCode << ' '
      << m.processId << ' ' << m.status << ' ' << m.created << ' ' << m.sizeBefore << ' '
      << m.writeTimeBefore << ' ' << Hex(m.path) << ' ' << Hex(m.newPath) << ' ' << Hex(m.keyPath)
      << ' ' << Hex(m.valueName) << ' ' << m.valueType << ' ' << m.hasNewData << ' '
      << Hex(m.newData) << ' ' << m.hasOldData << ' ' << Hex(m.oldData) << '\n';
  return out.str();
}

inline std::vector<trapfeed::Message> Parse(const std::string& text) {
  std::vector<trapfeed::Message> messages;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream in(line);
    trapfeed::Message m;
    uint32_t kind = 0;
    std::string path, newPath, keyPath, valueName, newData, oldData;
    in >> kind >> m.operation >> m.subCode >> m.processId >> m.status >> m.created >>
        m.sizeBefore >> m.writeTimeBefore >> path >> newPath >> keyPath >> valueName >>
        m.valueType >> m.hasNewData >> newData >> m.hasOldData >> oldData;
    if (!in) continue;
    m.kind = static_cast<trapfeed::Kind>(kind);
    m.path = Unhex(path);
    m.newPath = Unhex(newPath);
    m.keyPath = Unhex(keyPath);
    m.valueName = Unhex(valueName);
    m.newData = Unhex(newData);
    m.oldData = Unhex(oldData);
    messages.push_back(m);
  }
  return messages;
}

}  // namespace capture_standin
