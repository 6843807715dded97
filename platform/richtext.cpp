#include "platform/richtext.h"

#include <richedit.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "platform/owners.h"

namespace platform {
namespace {

struct Source {
  HANDLE file;
  size_t left;       // bytes of the file still to give
  bool cut;          // the file has more than the limit
  std::string note;  // given after the file's bytes when cut
  size_t noteGiven = 0;
};

DWORD CALLBACK GiveChunk(DWORD_PTR cookie, LPBYTE buffer, LONG size, LONG* given) {
  Source& source = *reinterpret_cast<Source*>(cookie);
  *given = 0;
  if (source.left > 0) {
    DWORD read = 0;
    const DWORD wanted = static_cast<DWORD>(std::min<size_t>(size, source.left));
    if (!ReadFile(source.file, buffer, wanted, &read, nullptr)) return 1;  // stops the stream
    source.left = read == 0 ? 0 : source.left - read;
    if (source.left == 0 && source.cut) {
      // The last piece before the limit ends at its last line end, if it has one.
      const char* end = reinterpret_cast<const char*>(buffer) + read;
      const char* lineEnd = std::find(std::make_reverse_iterator(end),
                                      std::make_reverse_iterator(end - read), '\n')
                                .base();
      if (lineEnd != end - read) read = static_cast<DWORD>(lineEnd - (end - read));
    }
    if (read > 0) {
      *given = static_cast<LONG>(read);
      return 0;
    }
  }
  if (source.cut) {
    const size_t count = std::min<size_t>(size, source.note.size() - source.noteGiven);
    std::memcpy(buffer, source.note.data() + source.noteGiven, count);
    source.noteGiven += count;
    *given = static_cast<LONG>(count);
  }
  return 0;
}

}  // namespace

bool StreamFileIntoRichEdit(HWND control, const std::string& path, size_t limit,
                            const std::string& note) {
  FileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  DWORD high = 0;
  const DWORD low = file ? GetFileSize(file.get(), &high) : 0;
  const size_t size = high != 0 ? SIZE_MAX : low;  // a size it cannot tell counts as long
  const bool longer = size > limit;
  Source source{file.get(), std::min(size, limit), longer, longer ? note : ""};
  EDITSTREAM stream{reinterpret_cast<DWORD_PTR>(&source), 0, GiveChunk};
  SendMessageA(control, EM_STREAMIN, SF_TEXT, reinterpret_cast<LPARAM>(&stream));
  return longer;
}

}  // namespace platform
