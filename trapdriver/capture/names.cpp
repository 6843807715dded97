#include "trapdriver/capture/names.h"

#include <windows.h>

namespace trapcapture {

namespace {

bool StartsWithNoCase(const std::wstring& text, const wchar_t* prefix, size_t length) {
  return text.size() >= length &&
         CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, text.c_str(), static_cast<int>(length),
                        prefix, static_cast<int>(length)) == CSTR_EQUAL;
}

// The rest of `text` after `prefix` when it starts so and ends there or at a backslash.
bool AfterRoot(const std::wstring& text, const wchar_t* prefix, std::wstring& rest) {
  size_t length = wcslen(prefix);
  if (!StartsWithNoCase(text, prefix, length)) return false;
  if (text.size() > length && text[length] != L'\\') return false;
  rest = text.substr(length);
  return true;
}

}  // namespace

std::string Ansi(const wchar_t* text, size_t length) {
  if (length == 0) return {};
  int size = WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), nullptr, 0, nullptr,
                                 nullptr);
  std::string result(size, '\0');
  WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), result.data(), size, nullptr,
                      nullptr);
  return result;
}

std::string Ansi(const std::wstring& text) { return Ansi(text.data(), text.size()); }

std::string Win32FilePath(const std::wstring& nativeName) {
  std::wstring rest;
  if (AfterRoot(nativeName, L"\\??\\UNC", rest) && !rest.empty()) return "\\" + Ansi(rest);
  if (!StartsWithNoCase(nativeName, L"\\??\\", 4)) return {};
  rest = nativeName.substr(4);
  bool drive = rest.size() >= 2 && rest[1] == L':' &&
               ((rest[0] >= L'A' && rest[0] <= L'Z') || (rest[0] >= L'a' && rest[0] <= L'z'));
  if (!drive || (rest.size() > 2 && rest[2] != L'\\')) return {};
  // "C:\Dir\" names the folder "C:\Dir" (a program may create a folder that way).
  while (rest.size() > 3 && rest.back() == L'\\') rest.pop_back();
  return Ansi(rest);
}

std::string RegistryPath(const std::wstring& nativeName) {
  std::wstring rest;
  if (AfterRoot(nativeName, L"\\REGISTRY\\Machine", rest)) return "HKEY_LOCAL_MACHINE" + Ansi(rest);
  if (AfterRoot(nativeName, L"\\REGISTRY\\User", rest)) return "HKEY_USERS" + Ansi(rest);
  return {};
}

std::wstring JoinNative(const std::wstring& root, const std::wstring& relative) {
  if (root.empty() || relative.empty()) return root + relative;
  if (root.back() == L'\\' || relative.front() == L'\\') return root + relative;
  return root + L'\\' + relative;
}

std::string AnsiValueData(uint32_t type, const void* data, size_t size) {
  if (data == nullptr || size == 0) return {};
  if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ)
    return Ansi(static_cast<const wchar_t*>(data), size / sizeof(wchar_t));
  return std::string(static_cast<const char*>(data), size);
}

}  // namespace trapcapture
