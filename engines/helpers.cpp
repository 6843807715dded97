#include "engines/helpers.h"

#include <windows.h>

#include <algorithm>
#include <atomic>

#include "engines/names.h"
#include "platform/messages.h"
#include "platform/profile.h"
#include "platform/system.h"

namespace engines {
namespace {

std::atomic<bool> abortFlag{false};
thread_local bool deliversMessages = true;

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

// The entry and everything below it begin with this: the entry itself when it already
// ends in a backslash, as a drive root does.
std::string ContainerPrefix(const std::string& entry) {
  return !entry.empty() && entry.back() == '\\' ? entry : entry + '\\';
}

// The root name, followed by a backslash or nothing.
bool SplitRoot(const std::string& path, const char* rootName, std::string& subkey) {
  size_t length = lstrlenA(rootName);
  if (path.size() < length || CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, path.c_str(),
                                             length, rootName, length) != CSTR_EQUAL)
    return false;
  if (path.size() > length && path[length] != '\\') return false;
  subkey = path.size() > length ? path.substr(length + 1) : std::string();
  return true;
}

}  // namespace

bool AbortRequested() {
  if (deliversMessages && platform::DeliverPendingMessages()) abortFlag = true;
  return abortFlag;
}

void LeaveMessagesToTheWindow() { deliversMessages = false; }

bool AbortPoll::operator()() {
  constexpr DWORD kLongestGap = 50;  // milliseconds
  const DWORD now = GetTickCount();
  if (steps_++ % period_ != 0 && now - askedAt_ < kLongestGap) return abortFlag;
  askedAt_ = now;
  return AbortRequested();
}

std::string WithTrailingBackslash(const std::string& text) {
  return text.empty() || text.back() == '\\' ? text : text + '\\';
}

std::string WithoutTrailingBackslash(const std::string& text) {
  return !text.empty() && text.back() == '\\' ? text.substr(0, text.size() - 1) : text;
}

std::string LowerAscii(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

AddResult AddToTrackedList(TrackedList& list, const std::string& path) {
  std::vector<std::string>& entries = list.entries;
  const std::string entry = LowerAscii(path);
  size_t at = entries.size();
  if (list.order == TrackedList::Order::Sorted)
    at = std::lower_bound(entries.begin(), entries.end(), entry, ListBoxBefore) - entries.begin();
  entries.insert(entries.begin() + at, entry);

  const std::string entryAsFolder = WithTrailingBackslash(entry);
  if (at > 0) {
    const std::string& before = entries[at - 1];
    // The same path, perhaps differing in a trailing backslash, is already listed.
    if (WithTrailingBackslash(before) == entryAsFolder) {
      entries.erase(entries.begin() + at);
      return AddResult::AlreadyPresent;
    }
    if (StartsWith(entry, ContainerPrefix(before))) {
      entries.erase(entries.begin() + at);
      return AddResult::Inside;
    }
  }
  if (at + 1 < entries.size()) {
    if (WithTrailingBackslash(entries[at + 1]) == entryAsFolder) {
      entries.erase(entries.begin() + at + 1);
      return AddResult::AlreadyPresent;
    }
    const std::string prefix = ContainerPrefix(entry);
    bool removed = false;
    while (at + 1 < entries.size() && StartsWith(entries[at + 1], prefix)) {
      entries.erase(entries.begin() + at + 1);
      removed = true;
    }
    if (removed) return AddResult::ReplacedInner;
  }
  return AddResult::Added;
}

bool IsIniFile(const std::string& path) {
  // One short name is enough to know that there is a section; a missing file has none.
  return !platform::ProfileSectionNames(path, 16).empty();
}

bool RegistryKeyExists(const std::string& path) {
  std::string subkey;
  HKEY root;
  if (SplitRoot(path, "HKEY_USERS", subkey))
    root = HKEY_USERS;
  else if (SplitRoot(path, "HKEY_LOCAL_MACHINE", subkey))
    root = HKEY_LOCAL_MACHINE;
  else
    return false;
  return platform::OpenRegistryKey(root, subkey, KEY_ALL_ACCESS).valid();
}

std::string HexDigits(const std::string& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (unsigned char b : bytes) {
    text += kDigits[b >> 4];
    text += kDigits[b & 15];
  }
  return text;
}

bool BytesOfHexDigits(const std::string& text, std::string& bytes) {
  auto digit = [](char c) {
    return c >= '0' && c <= '9' ? c - '0'
           : c >= 'A' && c <= 'F' ? c - 'A' + 10
           : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                  : -1;
  };
  if (text.size() % 2) return false;
  bytes.clear();
  bytes.reserve(text.size() / 2);
  for (size_t i = 0; i < text.size(); i += 2) {
    const int high = digit(text[i]), low = digit(text[i + 1]);
    if (high < 0 || low < 0) return false;
    bytes += static_cast<char>(high << 4 | low);
  }
  return true;
}

Crc32::Crc32() {
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int bit = 0; bit < 8; ++bit) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table_[i] = c;
  }
}

void Crc32::Add(const std::string& bytes) {
  for (unsigned char b : bytes) crc_ = table_[(crc_ ^ b) & 0xFF] ^ (crc_ >> 8);
}

}  // namespace engines
