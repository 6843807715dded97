#include "platform/profile.h"

#include <windows.h>

namespace platform {
namespace {

// The profile functions report a list that did not fit by returning size - 2, and a
// single value that did not fit by returning size - 1; neither says how much is needed.
template <class Fill>
std::string ReadGrowing(Fill fill, DWORD cutMark, size_t maxBytes) {
  DWORD size = 1024;
  for (;;) {
    if (maxBytes != 0 && size > maxBytes) size = static_cast<DWORD>(maxBytes);
    std::string buffer(size, '\0');
    DWORD length = fill(buffer.data(), size);
    bool cut = size >= cutMark && length >= size - cutMark;
    if (!cut || (maxBytes != 0 && size >= maxBytes)) {
      if (length > size) length = size;
      buffer.resize(length);
      return buffer;
    }
    size *= 4;
  }
}

std::vector<std::string> SplitNulList(const std::string& list) {
  std::vector<std::string> items;
  size_t start = 0;
  while (start < list.size()) {
    size_t end = list.find('\0', start);
    if (end == std::string::npos) end = list.size();
    if (end > start) items.push_back(list.substr(start, end - start));
    start = end + 1;
  }
  return items;
}

}  // namespace

std::string ReadProfileString(const std::string& file, const std::string& section,
                              const std::string& key, const std::string& fallback,
                              size_t maxBytes) {
  return ReadGrowing(
      [&](char* buffer, DWORD size) {
        return GetPrivateProfileStringA(section.c_str(), key.c_str(), fallback.c_str(), buffer,
                                        size, file.c_str());
      },
      1, maxBytes);
}

std::vector<std::string> ProfileKeyNames(const std::string& file, const std::string& section,
                                         size_t maxBytes) {
  return SplitNulList(ReadGrowing(
      [&](char* buffer, DWORD size) {
        return GetPrivateProfileStringA(section.c_str(), nullptr, "", buffer, size, file.c_str());
      },
      2, maxBytes));
}

std::vector<std::string> ProfileSectionNames(const std::string& file, size_t maxBytes) {
  return SplitNulList(ReadGrowing(
      [&](char* buffer, DWORD size) {
        return GetPrivateProfileSectionNamesA(buffer, size, file.c_str());
      },
      2, maxBytes));
}

bool WriteProfileString(const std::string& file, const std::string& section,
                        const std::string& key, const std::string& value) {
  return WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), file.c_str()) !=
         FALSE;
}

bool EraseProfileKey(const std::string& file, const std::string& section, const std::string& key) {
  return WritePrivateProfileStringA(section.c_str(), key.c_str(), nullptr, file.c_str()) != FALSE;
}

bool EraseProfileSection(const std::string& file, const std::string& section) {
  return WritePrivateProfileStringA(section.c_str(), nullptr, nullptr, file.c_str()) != FALSE;
}

}  // namespace platform

