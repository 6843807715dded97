#include "engines/names.h"

#include <windows.h>

#include <cstring>

namespace engines {
namespace {

int SystemOrder(const std::string& a, const std::string& b) {
  return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(),
                        static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()));
}

std::string UpperAnsi(std::string text) {
  if (!text.empty()) CharUpperBuffA(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

}  // namespace

int CompareNames(const std::string& a, const std::string& b) {
  if (a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size()) == 0) return 0;
  int result = SystemOrder(a, b);
  if (result == 0) return a.compare(b);  // the system refused: keep some fixed order
  return result - CSTR_EQUAL;
}

bool SortsBefore(const std::string& a, const std::string& b) {
  int order = CompareNames(a, b);
  return order != 0 ? order < 0 : a < b;
}

int CompareIniNames(const std::string& a, const std::string& b) {
  int order = CompareNames(a, b);
  return order != 0 ? order : UpperAnsi(a).compare(UpperAnsi(b));
}

bool ListBoxBefore(const std::string& a, const std::string& b) {
  return SystemOrder(a, b) == CSTR_LESS_THAN;
}

}  // namespace engines
