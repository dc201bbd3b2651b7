// One owner for every kind of Windows handle the launcher opens.
#pragma once
#ifdef _WIN32
#include <windows.h>

#include <cstdio>
#include <memory>
#include <utility>

namespace tov {

struct KernelHandleTraits {
  static HANDLE invalid() { return nullptr; }
  static bool valid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void close(HANDLE h) { ::CloseHandle(h); }
};

struct FindHandleTraits {
  static HANDLE invalid() { return INVALID_HANDLE_VALUE; }
  static bool valid(HANDLE h) { return h != INVALID_HANDLE_VALUE && h != nullptr; }
  static void close(HANDLE h) { ::FindClose(h); }
};

struct RegKeyTraits {
  static HKEY invalid() { return nullptr; }
  static bool valid(HKEY h) { return h != nullptr; }
  static void close(HKEY h) { ::RegCloseKey(h); }
};

struct ModuleTraits {
  static HMODULE invalid() { return nullptr; }
  static bool valid(HMODULE h) { return h != nullptr; }
  static void close(HMODULE h) { ::FreeLibrary(h); }
};

struct GdiObjectTraits {
  static HGDIOBJ invalid() { return nullptr; }
  static bool valid(HGDIOBJ h) { return h != nullptr; }
  static void close(HGDIOBJ h) { ::DeleteObject(h); }
};

// A device context the launcher made (CreateCompatibleDC), not one it
// borrowed from a window.
struct MemoryDcTraits {
  static HDC invalid() { return nullptr; }
  static bool valid(HDC h) { return h != nullptr; }
  static void close(HDC h) { ::DeleteDC(h); }
};

template <typename T, typename Traits>
class UniqueHandle {
 public:
  UniqueHandle() : h_(Traits::invalid()) {}
  explicit UniqueHandle(T h) : h_(h) {}
  ~UniqueHandle() { reset(); }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& o) noexcept : h_(o.release()) {}
  UniqueHandle& operator=(UniqueHandle&& o) noexcept {
    if (this != &o) reset(o.release());
    return *this;
  }

  T get() const { return h_; }
  bool valid() const { return Traits::valid(h_); }
  explicit operator bool() const { return valid(); }
  T release() { return std::exchange(h_, Traits::invalid()); }
  void reset(T h = Traits::invalid()) {
    if (Traits::valid(h_)) Traits::close(h_);
    h_ = h;
  }
  // For out-parameters of the Windows calls that fill a handle.
  T* put() {
    reset();
    return &h_;
  }

 private:
  T h_;
};

using UniqueHandleK = UniqueHandle<HANDLE, KernelHandleTraits>;
using UniqueFind = UniqueHandle<HANDLE, FindHandleTraits>;
using UniqueRegKey = UniqueHandle<HKEY, RegKeyTraits>;
using UniqueModule = UniqueHandle<HMODULE, ModuleTraits>;
using UniqueGdiObject = UniqueHandle<HGDIOBJ, GdiObjectTraits>;
using UniqueMemoryDc = UniqueHandle<HDC, MemoryDcTraits>;

// C runtime streams, for the few files read or written as text.
struct FileCloser {
  void operator()(FILE* file) const noexcept { std::fclose(file); }
};
using UniqueFile = std::unique_ptr<FILE, FileCloser>;

}  // namespace tov
#endif
