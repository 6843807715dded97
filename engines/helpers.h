#pragma once
// Helpers shared by the engines, the session and the list dialogs.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace engines {

// Delivers the pending window messages (so the windows repaint and a close request
// arrives), then answers whether the program is being closed. Once it has answered yes
// it answers yes for the rest of the run: engines stop early and their callers abandon
// the run. Closing the program means posting WM_QUIT (PostQuitMessage).
bool AbortRequested();

// For a walk on a thread of its own beside the window's: from here on AbortRequested on
// this thread only answers the flag, which the window's thread sets.
void LeaveMessagesToTheWindow();

// For loops that take one step a record, folder or key: they ask AbortRequested on their
// first step, then on every period-th, and on any step once 50 ms have passed since they
// last asked (a step can be slow: a folder of many files). Each delivery of messages is a
// round trip to the window system that costs far more than a step (some 40 us under
// Wine), so the window is just as responsive. In between it answers with the flag as it
// stands.
class AbortPoll {
 public:
  // A walk's step (a folder, a key) takes longer than a compare's (a listing record), for
  // which the time alone decides.
  static constexpr unsigned kWalkPeriod = 64, kComparePeriod = 1u << 16;
  explicit AbortPoll(unsigned period = kWalkPeriod) : period_(period) {}
  bool operator()();

 private:
  unsigned period_;
  unsigned steps_ = 0;
  unsigned long askedAt_ = 0;  // tick count
};

std::string WithTrailingBackslash(const std::string& text);     // "" stays ""
std::string WithoutTrailingBackslash(const std::string& text);

// The bytes as upper-case hexadecimal digits, two a byte, nothing between.
std::string HexDigits(const std::string& bytes);
// The bytes such digits stand for (either case); false for anything else.
bool BytesOfHexDigits(const std::string& text, std::string& bytes);

// The CRC-32 (the polynomial of zip and PNG) of the bytes added so far.
class Crc32 {
 public:
  Crc32();
  void Add(const std::string& bytes);
  uint32_t Value() const { return ~crc_; }

 private:
  std::array<uint32_t, 256> table_;
  uint32_t crc_ = 0xFFFFFFFFu;
};

// Lower-cases the letters A to Z only, as the watched lists are kept.
std::string LowerAscii(std::string text);

// Watched folders or ignored registry keys, in lower case, none inside another.
// A sorted list keeps the ascending order of the list editors' list boxes (the system's
// case-insensitive, locale-aware comparison); a plain list appends, so a new entry is
// compared only with the one before it, which is how saved lists are read back.
struct TrackedList {
  enum class Order { Sorted, Plain };
  explicit TrackedList(Order order = Order::Plain) : order(order) {}
  Order order;
  std::vector<std::string> entries;
};

enum class AddResult {
  Added = 0,
  Inside = 1,          // lies inside a listed entry: not added
  ReplacedInner = 2,   // added, and the entries that lay inside it were removed
  AlreadyPresent = 3,  // listed once
};

AddResult AddToTrackedList(TrackedList& list, const std::string& path);

// A file for which the profile functions list at least one section.
bool IsIniFile(const std::string& path);

// "HKEY_USERS\..." or "HKEY_LOCAL_MACHINE\..." (the root in any case) that opens with
// full access; any other root answers no without opening anything.
bool RegistryKeyExists(const std::string& path);

}  // namespace engines
