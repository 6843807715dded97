#pragma once
// Registry value names as every stored form writes them: the registry listings, the
// real-time records, the report, the undo data and the REG files. The default (unnamed)
// value is written "@". A name made only of "@" characters is written with one "@" more
// ("@" as "@@", "@@" as "@@@"), so that it never reads as the default value; every other
// name is written as it is.
#include <string>

namespace platform {

inline bool OnlyAtSigns(const std::string& name) {
  return !name.empty() && name.find_first_not_of('@') == std::string::npos;
}

// The written name of a value, from its name in the registry.
inline std::string WrittenValueName(const std::string& name) {
  return name.empty() || OnlyAtSigns(name) ? name + "@" : name;
}

// The name in the registry of a written one: "" for "@", "@" for "@@".
inline std::string RealValueName(const std::string& written) {
  return OnlyAtSigns(written) ? written.substr(1) : written;
}

}  // namespace platform
