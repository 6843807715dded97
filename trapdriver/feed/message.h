#pragma once
// A feed message in bytes: a fixed header, the lengths of its six strings, the strings.
// The reader trusts nothing in it: Decode checks every length and field.
#include <string>

#include "trapdriver/feed/feed.h"

namespace trapfeed {

// NT's longest path, 32,767 characters, in ANSI bytes (two a character at most); the
// driver hands over what does not fit a record's path field beside the record.
constexpr size_t kMaxPathBytes = 2 * 32767;
constexpr size_t kMaxKeyPathBytes = 32767;
constexpr size_t kMaxValueNameBytes = 16383;

std::string Encode(const Message& message);
// False for anything no writer of ours sends: unknown kinds or flags, lengths that do not
// add up to the size, paths beyond a record's field, names with NULs in them, fields of
// the other kind filled in, whole sizes no larger than the data sent.
bool Decode(const char* bytes, size_t size, Message& message);

}  // namespace trapfeed
