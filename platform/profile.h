#pragma once
// The system's profile (INI file) functions, one value at a time. Every call opens the
// file by name, so a value written is seen by the next read; nothing is cached.
// A file name without a folder means a file in the Windows folder.
#include <string>
#include <vector>

namespace platform {

// The value as the profile functions give it (trimmed, surrounding quotes removed),
// or fallback when the key is missing. The first of several equal keys wins. maxBytes
// limits the value as a fixed buffer of that size would (maxBytes - 1 characters); 0
// means no limit.
std::string ReadProfileString(const std::string& file, const std::string& section,
                              const std::string& key, const std::string& fallback = "",
                              size_t maxBytes = 0);

// Key names of the first section of that name, in file order (an equal key twice is
// listed twice). maxBytes limits the list as a fixed buffer of that size would; 0 means
// no limit.
std::vector<std::string> ProfileKeyNames(const std::string& file, const std::string& section,
                                         size_t maxBytes = 0);

// Section names in file order, with the same limit rule.
std::vector<std::string> ProfileSectionNames(const std::string& file, size_t maxBytes = 0);

// Each answers whether the system accepted the change.
bool WriteProfileString(const std::string& file, const std::string& section,
                        const std::string& key, const std::string& value);
bool EraseProfileKey(const std::string& file, const std::string& section, const std::string& key);
bool EraseProfileSection(const std::string& file, const std::string& section);

}  // namespace platform
