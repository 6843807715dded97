#pragma once
// Move-only owners for Win32 handles, GDI objects, icons and loaded libraries. Each kind
// names its own "no handle" value: process, thread and event handles and HKEY use null,
// file and find handles use INVALID_HANDLE_VALUE, and mixing the two up is the classic
// leak or double close.
#include <windows.h>

#include <utility>

namespace platform {

template <class Kind>
class Owned {
 public:
  using Type = typename Kind::Type;
  explicit Owned(Type h = Kind::Invalid()) : h_(h) {}
  Owned(Owned&& other) noexcept : h_(std::exchange(other.h_, Kind::Invalid())) {}
  Owned& operator=(Owned&& other) noexcept {
    if (this != &other) reset(std::exchange(other.h_, Kind::Invalid()));
    return *this;
  }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
  ~Owned() { reset(); }

  Type get() const { return h_; }
  bool valid() const { return h_ != Kind::Invalid(); }
  explicit operator bool() const { return valid(); }
  Type release() { return std::exchange(h_, Kind::Invalid()); }
  void reset(Type h = Kind::Invalid()) {
    if (h_ != Kind::Invalid()) Kind::Close(h_);
    h_ = h;
  }

 private:
  Type h_;
};

struct HandleKind {  // processes, threads, events, mappings
  using Type = HANDLE;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { CloseHandle(h); }
};
struct FileKind {
  using Type = HANDLE;
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Type h) { CloseHandle(h); }
};
struct FindKind {
  using Type = HANDLE;
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Type h) { FindClose(h); }
};
struct KeyKind {
  using Type = HKEY;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { RegCloseKey(h); }
};
struct MappedViewKind {
  using Type = void*;
  static Type Invalid() { return nullptr; }
  static void Close(Type p) { UnmapViewOfFile(p); }
};
struct LibraryKind {
  using Type = HMODULE;
  static Type Invalid() { return nullptr; }
  static void Close(Type module) { FreeLibrary(module); }
};

template <class T>
struct GdiObjectKind {  // fonts, brushes, pens, bitmaps, regions
  using Type = T;
  static Type Invalid() { return nullptr; }
  static void Close(Type object) { DeleteObject(object); }
};
struct MemoryDcKind {  // CreateCompatibleDC
  using Type = HDC;
  static Type Invalid() { return nullptr; }
  static void Close(Type dc) { DeleteDC(dc); }
};
struct IconKind {
  using Type = HICON;
  static Type Invalid() { return nullptr; }
  static void Close(Type icon) { DestroyIcon(icon); }
};

using Handle = Owned<HandleKind>;
using FileHandle = Owned<FileKind>;
using FindHandle = Owned<FindKind>;
using RegKey = Owned<KeyKind>;
using MappedView = Owned<MappedViewKind>;
using Library = Owned<LibraryKind>;
using Font = Owned<GdiObjectKind<HFONT>>;
using Brush = Owned<GdiObjectKind<HBRUSH>>;
using Pen = Owned<GdiObjectKind<HPEN>>;
using Bitmap = Owned<GdiObjectKind<HBITMAP>>;
using Region = Owned<GdiObjectKind<HRGN>>;
using MemoryDc = Owned<MemoryDcKind>;
using Icon = Owned<IconKind>;

}  // namespace platform
