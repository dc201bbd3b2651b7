// The object page script reaches as window.external.
#pragma once
#include <windows.h>
#include <oaidl.h>

#include <string>

// Whoever receives script calls: the main window, which hands them to its
// content panel.
class ScriptCallReceiver {
 public:
  virtual std::wstring DispatchScriptCall(const std::wstring& method, const std::wstring& params) = 0;

 protected:
  ~ScriptCallReceiver() = default;
};

// Where script calls go; set by the main window while it exists.
void SetScriptCallReceiver(ScriptCallReceiver* receiver);

// One instance per process, owned by the application object; its reference
// count never destroys it.
class CImpIDispatch final : public IDispatch {
 public:
  static constexpr DISPID kBridgeDispId = 1;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** ppTInfo) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                                          DISPID* dispids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID dispid, REFIID riid, LCID lcid, WORD flags,
                                   DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo,
                                   UINT* argErr) override;

  LONG RefCount() const { return m_refCount; }

 private:
  LONG m_refCount = 0;
};
