#include "platform/paths.h"

namespace platform {

std::string FolderOf(const std::string& path) {
  size_t slash = path.find_last_of('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string FileNameOf(const std::string& path) { return path.substr(FolderOf(path).size()); }

std::string StemOf(const std::string& path) {
  std::string name = FileNameOf(path);
  return name.substr(0, name.find_last_of('.'));
}

std::string UpperExtension(const std::string& path) {
  const std::string name = FileNameOf(path);
  size_t dot = name.find_last_of('.');
  if (dot == std::string::npos) return "";
  std::string ext = name.substr(dot);
  for (char& c : ext)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return ext;
}

}  // namespace platform
