#pragma once
// Enumeration and reading of registry keys. Every loop here ends on any error, not only
// on "no more items": some keys open but answer an error for every index (on Wine the
// performance-text key below Perflib does), and a loop that waits for the end spins
// forever there.
#include <windows.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/owners.h"

namespace platform {

// Opens a subkey (name "" opens parent itself) for reading; answers the system's code.
LONG OpenKeyForReading(HKEY parent, const std::string& name, RegKey& key);

// One value as the enumeration gives it.
struct RegistryValue {
  std::string name;
  DWORD type = 0;
  DWORD size = 0;              // bytes the value holds
  const char* data = nullptr;  // its size bytes; null when it was not read
};

// What one question tells of a key: how many subkeys and values it has and the longest
// of their names and data, so that each listing below sizes its buffers once and stops
// at the count rather than asking once more for an end. Where the key does not answer
// (known false), the listings go on until the system says there are no more.
struct KeyCounts {
  bool known = false;
  DWORD subkeys = 0;
  DWORD longestSubkey = 0;  // characters, without the terminator
  DWORD values = 0;
  DWORD longestValueName = 0;
  DWORD longestData = 0;  // bytes
};
KeyCounts CountKey(HKEY key);

// The names of a key's subkeys in the registry's own order. Answers ERROR_SUCCESS, or the
// error that ended the listing early.
LONG ListSubkeyNames(HKEY key, const KeyCounts& counts, std::vector<std::string>& names);

// Calls each() for every value of the key, with its data read in the same call when it
// is smaller than dataLimit bytes; larger values come with their size only, and so does
// a smaller value that kept changing while it was read.
// Answers ERROR_SUCCESS, or the error that ended the enumeration early.
LONG ListValues(HKEY key, const KeyCounts& counts, DWORD dataLimit,
                const std::function<void(const RegistryValue&)>& each);

// The whole data of one value, whatever its size.
LONG ReadValueData(HKEY key, const std::string& name, std::string& data);

// Creates the key if needed and sets a string value; answers the system's code.
LONG WriteStringValue(HKEY root, const std::string& keyPath, const std::string& name,
                      const std::string& value);

// The registry could not be read where a listing cannot do without it.
class RegistryError : public std::runtime_error {
 public:
  RegistryError(std::string keyPath, LONG code);
  const std::string& KeyPath() const { return keyPath_; }
  LONG Code() const { return code_; }

 private:
  std::string keyPath_;
  LONG code_;
};

}  // namespace platform
