// The process key as Windows 95/98 give it away without the driver, read from memory laid
// out by hand: under Wine the real chain never leads anywhere.
#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "realtime/processes.h"

namespace {

// A few bytes at chosen addresses; reads anywhere else fail.
class Memory {
 public:
  void Put32(uintptr_t address, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes_[address + i] = static_cast<uint8_t>(value >> (8 * i));
  }
  void Put8(uintptr_t address, uint8_t value) { bytes_[address] = value; }
  bool Read(uintptr_t address, void* out, size_t size) const {
    for (size_t i = 0; i < size; ++i) {
      auto byte = bytes_.find(address + i);
      if (byte == bytes_.end()) return false;
      static_cast<uint8_t*>(out)[i] = byte->second;
    }
    return true;
  }

 private:
  std::map<uintptr_t, uint8_t> bytes_;
};

constexpr uintptr_t kFunction = 0xBFF70000;
constexpr uint32_t kProcessId = 0xFFF4A1C3, kValue = 0x8163B2D4;

// The function's bytes 1 to 4 name A; the byte at A tells where the data address B stands;
// B leads through two more addresses to the value.
Memory Laid(uint8_t opcode, uintptr_t dataAt) {
  Memory memory;
  memory.Put32(kFunction + 1, 0xBFF80010);
  memory.Put8(0xBFF80010, opcode);
  memory.Put32(dataAt, 0x00530000);
  memory.Put32(0x00530000, 0x00820120);
  memory.Put32(0x00820120, kValue);
  return memory;
}

}  // namespace

TEST(ProcessKey, DerivedFromTheSystemsOwnData) {
  const struct {
    const char* name;
    Memory memory;
    bool derived;
  } cases[] = {
      {"push", Laid(0x6A, 0xBFF80018), true},
      {"load", Laid(0xA1, 0xBFF80011), true},
      {"push, data where a load has it", Laid(0x6A, 0xBFF80011), false},
      {"load, data where a push has it", Laid(0xA1, 0xBFF80018), false},
      {"other code", Laid(0x55, 0xBFF80018), false},
      {"nothing there", Memory(), false},
  };
  for (const auto& c : cases) {
    uint32_t key = 0;
    const bool derived = realtime::DeriveProcessKeyFrom(
        kFunction, kProcessId,
        [&](uintptr_t address, void* out, size_t size) { return c.memory.Read(address, out, size); },
        key);
    EXPECT_EQ(derived, c.derived) << c.name;
    if (c.derived) {
      EXPECT_EQ(key, kProcessId ^ kValue) << c.name;
    }
  }
  // Where the real chain leads (Wine's own code) it is cut short, never followed into a fault.
  uint32_t key = 0;
  EXPECT_FALSE(realtime::DeriveProcessKey(key));
}
