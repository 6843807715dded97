// Registry data in undo items: where a key path points, and the bytes its data stands for.
#include <windows.h>

#include <cctype>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "engines/undo_data.h"
#include "platform/changes.h"

namespace engines {

bool SplitRegistryPath(const std::string& keyPath, std::string& root, std::string& subkey) {
  const size_t slash = keyPath.find('\\');
  root = keyPath.substr(0, slash);
  subkey = slash == std::string::npos ? "" : keyPath.substr(slash + 1);
  if (slash != std::string::npos && subkey.empty()) return false;
  return platform::RegistryRoot(root) != nullptr;
}

bool RegistryBytesOf(const UndoValue& value, unsigned long& type, std::string& bytes) {
  if (value.full) {
    type = static_cast<unsigned long>(value.type);
    bytes = value.data;
    return true;
  }
  const std::string& text = value.data;
  if (value.type >= 16 || text == "Binary data over 32K - changes not tracked") return false;
  type = static_cast<unsigned long>(value.type);
  bytes.clear();
  switch (value.type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
      bytes = text + '\0';
      return true;
    case REG_DWORD:
    case REG_DWORD_BIG_ENDIAN: {
      if (text.empty()) return true;
      size_t used = 0;
      long long number = 0;
      try {
        number = std::stoll(text, &used);
      } catch (const std::exception&) {
        return false;
      }
      if (used != text.size() || number < INT32_MIN || number > INT32_MAX) return false;
      const uint32_t bits = static_cast<uint32_t>(static_cast<int32_t>(number));
      for (int i = 0; i < 4; ++i) {
        const int shift = value.type == REG_DWORD ? 8 * i : 8 * (3 - i);
        bytes += static_cast<char>(bits >> shift & 0xFF);
      }
      return true;
    }
    default:
      // Hexadecimal bytes "01,AB,00", or nothing.
      for (size_t i = 0; i < text.size(); i += 3) {
        if (i + 2 > text.size() || (i + 2 < text.size() && text[i + 2] != ',')) return false;
        if (!std::isxdigit(static_cast<unsigned char>(text[i])) ||
            !std::isxdigit(static_cast<unsigned char>(text[i + 1])))
          return false;
        bytes += static_cast<char>(std::stoi(text.substr(i, 2), nullptr, 16));
      }
      return true;
  }
}

}  // namespace engines
