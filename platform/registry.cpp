#include "platform/registry.h"

#include <algorithm>
#include <new>

#include "platform/ioerror.h"

namespace platform {
namespace {

// Names are at most 16,383 characters; a double-byte code page may need two bytes each.
constexpr size_t kNameLimit = 65536;
// A value that is rewritten while we read it gets this many tries.
constexpr int kAttempts = 8;

// Room for a name of this many characters and its terminator: a double-byte code page
// may need two bytes a character. A name longer than the key said grows the buffer.
size_t NameBufferSize(bool known, DWORD longest) {
  return known ? 2 * static_cast<size_t>(longest) + 2 : 256;
}

bool GrowName(std::string& buffer) {
  if (buffer.size() >= kNameLimit) return false;
  buffer.resize(buffer.size() * 4);
  return true;
}

// The name and size of the value at index, without its data, growing the name buffer
// until the name fits.
LONG NameAndSize(HKEY key, DWORD index, std::string& name, DWORD& nameLength, DWORD& type,
                 DWORD& size) {
  for (;;) {
    nameLength = static_cast<DWORD>(name.size());
    size = 0;
    LONG result =
        RegEnumValueA(key, index, name.data(), &nameLength, nullptr, &type, nullptr, &size);
    if (result != ERROR_MORE_DATA || !GrowName(name)) return result;
  }
}

// The value at index, with its data when it is smaller than dataLimit.
LONG ValueAt(HKEY key, DWORD index, DWORD dataLimit, std::string& name, std::string& data,
             RegistryValue& value) {
  DWORD nameLength = 0;
  DWORD type = 0;
  DWORD size = 0;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    nameLength = static_cast<DWORD>(name.size());
    size = static_cast<DWORD>(data.size());
    LONG result = RegEnumValueA(key, index, name.data(), &nameLength, nullptr, &type,
                                reinterpret_cast<BYTE*>(data.data()), &size);
    if (result == ERROR_SUCCESS) {
      value.name.assign(name.data(), nameLength);
      value.type = type;
      value.size = size;
      value.data = data.data();
      return ERROR_SUCCESS;
    }
    if (result != ERROR_MORE_DATA) return result;
    // The name or the data did not fit, and the call does not say which: ask for the name
    // and the size alone. The value may still grow before the next read.
    result = NameAndSize(key, index, name, nameLength, type, size);
    if (result != ERROR_SUCCESS) return result;
    if (size >= dataLimit) break;
    if (size > data.size()) data.resize(size);
  }
  value.name.assign(name.data(), nameLength);
  value.type = type;
  value.size = size;
  value.data = nullptr;
  return ERROR_SUCCESS;
}

}  // namespace

LONG OpenKeyForReading(HKEY parent, const std::string& name, RegKey& key) {
  HKEY opened = nullptr;
  LONG result = RegOpenKeyExA(parent, name.c_str(), 0, KEY_READ, &opened);
  key.reset(result == ERROR_SUCCESS ? opened : nullptr);
  return result;
}

KeyCounts CountKey(HKEY key) {
  KeyCounts counts;
  counts.known = RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &counts.subkeys,
                                  &counts.longestSubkey, nullptr, &counts.values,
                                  &counts.longestValueName, &counts.longestData, nullptr,
                                  nullptr) == ERROR_SUCCESS;
  return counts;
}

LONG ListSubkeyNames(HKEY key, const KeyCounts& counts, std::vector<std::string>& names) {
  names.clear();
  if (counts.known && counts.subkeys == 0) return ERROR_SUCCESS;
  try {
    std::string buffer(NameBufferSize(counts.known, counts.longestSubkey), '\0');
    for (DWORD index = 0; !counts.known || index < counts.subkeys;) {
      DWORD length = static_cast<DWORD>(buffer.size());
      LONG result =
          RegEnumKeyExA(key, index, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr);
      if (result == ERROR_MORE_DATA && GrowName(buffer)) continue;
      if (result == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
      if (result != ERROR_SUCCESS) return result;
      names.emplace_back(buffer.data(), length);
      ++index;
    }
    return ERROR_SUCCESS;
  } catch (const std::bad_alloc&) {
    return ERROR_NOT_ENOUGH_MEMORY;
  }
}

LONG ListValues(HKEY key, const KeyCounts& counts, DWORD dataLimit,
                const std::function<void(const RegistryValue&)>& each) {
  if (counts.known && counts.values == 0) return ERROR_SUCCESS;
  try {
    std::string name(NameBufferSize(counts.known, counts.longestValueName), '\0');
    // Data as long as the longest, so that every value comes whole in one call, up to the
    // limit beyond which it is not read.
    std::string data(counts.known ? std::max<DWORD>(1, std::min(counts.longestData, dataLimit))
                                  : 1024,
                     '\0');
    RegistryValue value;
    for (DWORD index = 0; !counts.known || index < counts.values; ++index) {
      LONG result = ValueAt(key, index, dataLimit, name, data, value);
      if (result == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
      if (result != ERROR_SUCCESS) return result;
      each(value);
    }
    return ERROR_SUCCESS;
  } catch (const std::bad_alloc&) {
    return ERROR_NOT_ENOUGH_MEMORY;
  }
}

LONG ReadValueData(HKEY key, const std::string& name, std::string& data) {
  try {
    DWORD size = 0;
    LONG result = RegQueryValueExA(key, name.c_str(), nullptr, nullptr, nullptr, &size);
    for (int attempt = 0; result == ERROR_SUCCESS && attempt < kAttempts; ++attempt) {
      data.resize(size);
      DWORD got = size;
      result = RegQueryValueExA(key, name.c_str(), nullptr, nullptr,
                                reinterpret_cast<BYTE*>(data.data()), &got);
      if (result == ERROR_SUCCESS) data.resize(got < size ? got : size);
      if (result != ERROR_MORE_DATA) return result;
      size = got;  // grew since the size was asked for
      result = ERROR_SUCCESS;
    }
    return result == ERROR_SUCCESS ? ERROR_MORE_DATA : result;
  } catch (const std::bad_alloc&) {
    return ERROR_NOT_ENOUGH_MEMORY;
  }
}

RegistryError::RegistryError(std::string keyPath, LONG code)
    : std::runtime_error("Cannot read the registry key " + keyPath + ": " +
                         SystemErrorText(static_cast<DWORD>(code))),
      keyPath_(std::move(keyPath)),
      code_(code) {}

LONG WriteStringValue(HKEY root, const std::string& keyPath, const std::string& name,
                      const std::string& value) {
  HKEY opened = nullptr;
  LONG code = RegCreateKeyExA(root, keyPath.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                              &opened, nullptr);
  if (code != ERROR_SUCCESS) return code;
  RegKey key(opened);
  return RegSetValueExA(key.get(), name.c_str(), 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>(value.size() + 1));
}

}  // namespace platform
