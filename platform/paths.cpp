#include "platform/paths.h"

#include <vector>

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

namespace {

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool IsDeviceName(const std::string& name) {
  std::string base = name.substr(0, name.find('.'));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  for (char& c : base) c = Upper(c);
  static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"};
  for (const char* device : kDevices)
    if (base == device) return true;
  return base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) &&
         base[3] >= '0' && base[3] <= '9';
}

bool IsNameCharacter(unsigned char c) {
  return c >= 32 && c != '<' && c != '>' && c != ':' && c != '"' && c != '|' && c != '?' &&
         c != '*';
}

}  // namespace

bool CanonicalDrivePath(const std::string& path, std::string& canonical) {
  canonical.clear();
  std::string text = path;
  for (char& c : text)
    if (c == '/') c = '\\';
  const char drive = Upper(text.empty() ? '\0' : text[0]);
  if (text.size() < 3 || drive < 'A' || drive > 'Z' || text[1] != ':' || text[2] != '\\')
    return false;
  std::vector<std::string> steps;
  for (size_t start = 3; start <= text.size();) {
    size_t end = text.find('\\', start);
    if (end == std::string::npos) end = text.size();
    std::string step = text.substr(start, end - start);
    start = end + 1;
    if (step.empty() || step == ".") continue;
    if (step == "..") {
      if (steps.empty()) return false;
      steps.pop_back();
      continue;
    }
    while (!step.empty() && (step.back() == '.' || step.back() == ' ')) step.pop_back();
    if (step.empty() || IsDeviceName(step)) return false;
    for (unsigned char c : step)
      if (!IsNameCharacter(c)) return false;
    steps.push_back(step);
  }
  canonical = text.substr(0, 3);
  for (size_t i = 0; i < steps.size(); ++i) canonical += (i ? "\\" : "") + steps[i];
  return true;
}

}  // namespace platform

