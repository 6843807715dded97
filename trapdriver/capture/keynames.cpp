#include "trapdriver/capture/keynames.h"

#include <unordered_map>
#include <unordered_set>

#include "trapdriver/capture/native.h"

extern "C" NTSYSAPI WCHAR NTAPI RtlUpcaseUnicodeChar(WCHAR letter);

namespace trapcapture {
namespace {

// Counts every traced process keeps in memory they all share.
constexpr char kCountsName[] = "Vortan4 Capture Registry Counts";
// What is kept of the keys a process made stays bounded: beyond this many value names it is
// forgotten, and the writes ask for old values again.
constexpr size_t kMostWrittenNames = 1 << 16;
struct SharedCounts {
  volatile LONG keyChanges;   // keys renamed or deleted
  volatile LONG valueWrites;  // values set or deleted
};

// Key and value names compare without regard to case, by the system's own table. The
// capture goes into every traced program, so it asks nothing of the window system: a
// program that has no windows would load and start it (tens of milliseconds) for nothing.
std::wstring Folded(const wchar_t* text, size_t length) {
  std::wstring folded(text, length);
  for (wchar_t& letter : folded) letter = RtlUpcaseUnicodeChar(letter);
  return folded;
}

std::wstring Folded(const UNICODE_STRING* name) {
  return name && name->Buffer ? Folded(name->Buffer, name->Length / sizeof(wchar_t)) : std::wstring();
}

class KeyNameCache {
 public:
  KeyNameCache() { InitializeCriticalSection(&lock_); }

  // Opens the shared counts once; false when they cannot be had (then nothing is kept).
  bool Share() {
    if (shared_ != nullptr) return true;
    // The mapping stays open for the life of the process.
    HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                        sizeof(SharedCounts), kCountsName);
    void* view =
        mapping ? MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, sizeof(SharedCounts)) : nullptr;
    shared_ = static_cast<SharedCounts*>(view);
    return shared_ != nullptr;
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
  LONG Changes() const { return shared_ ? shared_->keyChanges : 0; }
  void Changed() {
    if (shared_) InterlockedIncrement(&shared_->keyChanges);
  }

  // Values set or deleted by the other traced processes. This process's own are counted in
  // both counts, the shared one first, and its own is read first: a write in flight can
  // only make the figure larger, never hide another process's write.
  LONG OthersWrites() const {
    const LONG own = ownWrites_;
    return shared_ ? shared_->valueWrites - own : 0;
  }

  void KeyMade(const std::wstring& keyName, LONG changes) {
    EnterCriticalSection(&lock_);
    Align(changes);
    if (keep_ != 0 && changes == seen_) {
      MadeKey& key = made_[Folded(keyName.data(), keyName.size())];
      writtenNames_ -= key.written.size();  // made again: what stood in it before has gone
      key = {OthersWrites(), {}};
    }
    LeaveCriticalSection(&lock_);
  }

  bool KnownMissing(const std::wstring& keyName, const UNICODE_STRING* valueName, LONG changes) {
    if (keep_ == 0) return false;
    EnterCriticalSection(&lock_);
    Align(changes);
    const auto key = made_.find(Folded(keyName.data(), keyName.size()));
    const bool missing = key != made_.end() && key->second.othersWrites == OthersWrites() &&
                         key->second.written.count(Folded(valueName)) == 0;
    LeaveCriticalSection(&lock_);
    return missing;
  }

  void ValueWritten(const std::wstring& keyName, const UNICODE_STRING* valueName, bool set,
                    LONG changes) {
    if (shared_) InterlockedIncrement(&shared_->valueWrites);
    InterlockedIncrement(&ownWrites_);
    if (keep_ == 0) return;
    EnterCriticalSection(&lock_);
    Align(changes);
    const auto key = made_.find(Folded(keyName.data(), keyName.size()));
    if (key != made_.end()) {
      if (!set) {
        writtenNames_ -= key->second.written.erase(Folded(valueName));
      } else if (key->second.written.insert(Folded(valueName)).second &&
                 ++writtenNames_ > kMostWrittenNames) {
        made_.clear();
        writtenNames_ = 0;
      }
    }
    LeaveCriticalSection(&lock_);
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
    made_.clear();
    writtenNames_ = 0;
    kept_ = 0;
  }

  // A key this process made: the other processes' writes when it was made, and the values
  // this process has set in it since (folded names).
  struct MadeKey {
    LONG othersWrites;
    std::unordered_set<std::wstring> written;
  };

  CRITICAL_SECTION lock_;
  SharedCounts* shared_ = nullptr;
  volatile LONG ownWrites_ = 0;
  volatile LONG keep_ = 0;
  LONG seen_ = 0;
  volatile LONG kept_ = 0;
  std::unordered_map<HANDLE, std::wstring> names_;
  std::unordered_map<std::wstring, MadeKey> made_;  // by folded native name
  size_t writtenNames_ = 0;                          // in all of made_
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

void NoteKeyMade(const std::wstring& keyName) {
  KeyNameCache& cache = Cache();
  cache.KeyMade(keyName, cache.Changes());
}

bool ValueKnownMissing(const std::wstring& keyName, const UNICODE_STRING* valueName) {
  KeyNameCache& cache = Cache();
  return cache.KnownMissing(keyName, valueName, cache.Changes());
}

void NoteValueWritten(const std::wstring& keyName, const UNICODE_STRING* valueName, bool set) {
  KeyNameCache& cache = Cache();
  cache.ValueWritten(keyName, valueName, set, cache.Changes());
}

}  // namespace trapcapture
