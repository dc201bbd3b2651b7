// The object page script reaches as window.external.
#pragma once
#include <windows.h>
#include <dispex.h>
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
// count never destroys it. It answers as IDispatchEx too: script engines
// then call InvokeEx, which names the calling document, and only the page's
// own top-level document is served (page_guard_win.h). A call through plain
// Invoke names no caller and is refused.
class CImpIDispatch final : public IDispatchEx {
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

  // IDispatchEx: the name lookup and the call above, with the caller.
  HRESULT STDMETHODCALLTYPE GetDispID(BSTR name, DWORD grfdex, DISPID* id) override;
  HRESULT STDMETHODCALLTYPE InvokeEx(DISPID id, LCID lcid, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* excepInfo,
                                     IServiceProvider* caller) override;
  HRESULT STDMETHODCALLTYPE DeleteMemberByName(BSTR, DWORD) override { return S_FALSE; }
  HRESULT STDMETHODCALLTYPE DeleteMemberByDispID(DISPID) override { return S_FALSE; }
  HRESULT STDMETHODCALLTYPE GetMemberProperties(DISPID, DWORD, DWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMemberName(DISPID, BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetNextDispID(DWORD, DISPID, DISPID*) override { return S_FALSE; }
  HRESULT STDMETHODCALLTYPE GetNameSpaceParent(IUnknown** parent) override;

  LONG RefCount() const { return m_refCount; }

 private:
  HRESULT Call(DISPID dispid, DISPPARAMS* params, VARIANT* result, IServiceProvider* caller);

  LONG m_refCount = 0;
};
