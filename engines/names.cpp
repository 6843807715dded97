#include "engines/names.h"

#include <windows.h>

#include <algorithm>
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

bool BeforeByBytes(const std::string& a, const std::string& b) {
  auto plain = [](unsigned char c) {
    return c == '.' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
  };
  auto upper = [](unsigned char c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; };
  const size_t common = std::min(a.size(), b.size());
  for (size_t i = 0; i < common; ++i) {
    const unsigned char x = a[i], y = b[i];
    if (upper(x) == upper(y)) {
      // The same character on both sides weighs the same, whatever it is; but a byte
      // beyond ASCII may be the first of a double-byte character.
      if (x >= 0x80) return false;
      continue;
    }
    // The first difference in the characters' own weights decides, whatever follows:
    // between two plain characters, or a symbol against a letter or digit, which every
    // symbol precedes (but the hyphen and the apostrophe, which weigh nothing here).
    auto alphanumeric = [&](unsigned char c) { return plain(c) && c != '.'; };
    auto symbol = [&](unsigned char c) {
      return c >= ' ' && c <= '~' && !alphanumeric(c) && c != '-' && c != '\'';
    };
    return (plain(x) && plain(y) && upper(x) < upper(y)) || (symbol(x) && alphanumeric(y));
  }
  if (a.size() >= b.size()) return false;  // equal but for case, or b is a's prefix
  for (size_t j = common; j < b.size(); ++j)
    if (!plain(b[j])) return false;
  return true;
}

bool ListBoxBefore(const std::string& a, const std::string& b) {
  return SystemOrder(a, b) == CSTR_LESS_THAN;
}

}  // namespace engines
