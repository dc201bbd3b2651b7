// The one COM smart pointer of the launcher (Release happens in one place),
// and the owners of the other COM resources: an apartment, a BSTR, a VARIANT.
#pragma once
#ifdef _WIN32
#include <objbase.h>
#include <oleauto.h>
#include <unknwn.h>

#include <string>

#include <utility>

namespace tov {

template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}
  // Takes over a reference the caller already owns.
  static ComPtr attach(T* p) {
    ComPtr c;
    c.p_ = p;
    return c;
  }
  // Adds a reference of its own.
  static ComPtr share(T* p) {
    if (p) p->AddRef();
    return attach(p);
  }
  ~ComPtr() { reset(); }
  ComPtr(const ComPtr& o) : p_(o.p_) {
    if (p_) p_->AddRef();
  }
  ComPtr& operator=(const ComPtr& o) {
    if (this != &o) {
      ComPtr tmp(o);
      std::swap(p_, tmp.p_);
    }
    return *this;
  }
  ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  ComPtr& operator=(ComPtr&& o) noexcept {
    if (this != &o) {
      reset();
      p_ = std::exchange(o.p_, nullptr);
    }
    return *this;
  }

  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  T* detach() { return std::exchange(p_, nullptr); }
  void reset() {
    if (p_) std::exchange(p_, nullptr)->Release();
  }
  T** put() {
    reset();
    return &p_;
  }
  void** put_void() { return reinterpret_cast<void**>(put()); }

  template <typename U>
  ComPtr<U> as(REFIID iid) const {
    ComPtr<U> out;
    if (p_) p_->QueryInterface(iid, out.put_void());
    return out;
  }

 private:
  T* p_ = nullptr;
};

// Text the system hands over in task memory (a known folder's path).
class CoTaskMemText {
 public:
  CoTaskMemText() = default;
  ~CoTaskMemText() { ::CoTaskMemFree(m_text); }
  CoTaskMemText(const CoTaskMemText&) = delete;
  CoTaskMemText& operator=(const CoTaskMemText&) = delete;
  const wchar_t* get() const { return m_text; }
  wchar_t** put() {
    ::CoTaskMemFree(std::exchange(m_text, nullptr));
    return &m_text;
  }

 private:
  wchar_t* m_text = nullptr;
};

// COM for the length of one scope on whichever thread runs it. A thread
// that already runs COM in another apartment refuses the first model; then
// the other is tried, and whatever was not begun here is not undone here,
// so the thread is left as it was found.
class ComScope {
 public:
  // Apartment-threaded first, as the shell's objects want.
  ComScope() : ComScope(COINIT_APARTMENTTHREADED, COINIT_APARTMENTTHREADED) {}
  ComScope(DWORD first, DWORD second) noexcept {
    m_bReady = SUCCEEDED(::CoInitializeEx(nullptr, first)) ||
               (second != first && SUCCEEDED(::CoInitializeEx(nullptr, second)));
  }
  ~ComScope() {
    if (m_bReady) ::CoUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;
  bool Ready() const { return m_bReady; }

 private:
  bool m_bReady = false;
};

class Bstr {
 public:
  explicit Bstr(const wchar_t* text) : m_str(::SysAllocString(text)) {}
  explicit Bstr(const std::wstring& text)
      : m_str(::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
  ~Bstr() { ::SysFreeString(m_str); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  BSTR get() const { return m_str; }
  // Hands the string to a caller that frees it (a VARIANT result).
  BSTR release() { return std::exchange(m_str, nullptr); }

 private:
  BSTR m_str;
};

class Variant {
 public:
  Variant() { ::VariantInit(&m_var); }
  ~Variant() { ::VariantClear(&m_var); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  VARIANT* get() { return &m_var; }
  const VARIANT* get() const { return &m_var; }

 private:
  VARIANT m_var;
};

// The text of a BSTR, empty for a null one (which automation allows).
inline std::wstring BstrText(BSTR text) {
  return text ? std::wstring(text, ::SysStringLen(text)) : std::wstring();
}

}  // namespace tov
#endif
