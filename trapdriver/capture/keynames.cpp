#include "trapdriver/capture/keynames.h"

#include <unordered_map>

#include "trapdriver/capture/native.h"

namespace trapcapture {
namespace {

// Keys renamed or deleted by any traced process, counted in memory they all share.
constexpr char kChangesName[] = "Vortan4 Capture Key Changes";

class KeyNameCache {
 public:
  KeyNameCache() { InitializeCriticalSection(&lock_); }

  // Opens the shared count once; false when it cannot be had (then nothing is kept).
  bool Share() {
    if (changes_ != nullptr) return true;
    // The mapping stays open for the life of the process.
    HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                        sizeof(LONG), kChangesName);
    void* view = mapping ? MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, sizeof(LONG)) : nullptr;
    changes_ = static_cast<volatile LONG*>(view);
    return changes_ != nullptr;
  }

  void Keep(bool keep) {
    if (!keep) {
      // Without the lock: the capture goes quiet in the middle of the process's exit too,
      // where a thread ended while holding it would hold it for ever. What is kept stays
      // unused until the next start clears it.
      InterlockedExchange(&keep_, 0);
      return;
    }
    EnterCriticalSection(&lock_);
    Clear();
    InterlockedExchange(&keep_, Share() ? 1 : 0);
    LeaveCriticalSection(&lock_);
  }

  // The count now: a name asked before it changed is not kept.
  LONG Changes() const { return changes_ ? *changes_ : 0; }
  void Changed() {
    if (changes_) InterlockedIncrement(changes_);
  }

  bool Find(HANDLE key, LONG changes, std::wstring& name) {
    if (keep_ == 0) return false;
    EnterCriticalSection(&lock_);
    Align(changes);
    const auto found = names_.find(key);
    const bool known = found != names_.end();
    if (known) name = found->second;
    LeaveCriticalSection(&lock_);
    return known;
  }

  void Put(HANDLE key, LONG changes, const std::wstring& name) {
    EnterCriticalSection(&lock_);
    Align(changes);
    if (keep_ != 0 && changes == seen_) {
      names_[key] = name;
      kept_ = static_cast<LONG>(names_.size());
    }
    LeaveCriticalSection(&lock_);
  }

  void Forget(HANDLE key) {
    if (kept_ == 0) return;  // every close passes here: most find nothing to do
    EnterCriticalSection(&lock_);
    names_.erase(key);
    kept_ = static_cast<LONG>(names_.size());
    LeaveCriticalSection(&lock_);
  }

 private:
  // Every name goes once a key has been renamed or deleted anywhere. With the lock held.
  void Align(LONG changes) {
    if (changes == seen_) return;
    seen_ = changes;
    Clear();
  }
  void Clear() {
    names_.clear();
    kept_ = 0;
  }

  CRITICAL_SECTION lock_;
  volatile LONG* changes_ = nullptr;
  volatile LONG keep_ = 0;
  LONG seen_ = 0;
  volatile LONG kept_ = 0;
  std::unordered_map<HANDLE, std::wstring> names_;
};

KeyNameCache& Cache() {
  static KeyNameCache* cache = new KeyNameCache;  // outlives every hooked thread
  return *cache;
}

}  // namespace

std::wstring CachedKeyName(HANDLE key) {
  KeyNameCache& cache = Cache();
  const LONG changes = cache.Changes();
  std::wstring name;
  if (cache.Find(key, changes, name)) return name;
  name = KeyName(key);
  if (!name.empty()) cache.Put(key, changes, name);
  return name;
}

void ForgetKeyName(HANDLE key) { Cache().Forget(key); }

void KeyNamesChanged() { Cache().Changed(); }

void KeepKeyNames(bool keep) { Cache().Keep(keep); }

}  // namespace trapcapture
