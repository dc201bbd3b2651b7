#include "web/script_bridge.h"

#include <atomic>

#include "base/com_ptr.h"
#include "base/launcher_log.h"
#include "base/launcher_settings.h"
#include "web/page_guard_win.h"

namespace {

std::atomic<ScriptCallReceiver*> g_receiver{nullptr};

// Strings are what pages pass; anything else is read as its text where
// automation can convert it, else as empty.
std::wstring ArgumentText(const VARIANT& v) {
  if (V_VT(&v) == VT_BSTR) return tov::BstrText(V_BSTR(&v));
  tov::Variant converted;
  if (FAILED(VariantChangeType(converted.get(), const_cast<VARIANT*>(&v), 0, VT_BSTR))) return L"";
  return tov::BstrText(V_BSTR(converted.get()));
}

}  // namespace

void SetScriptCallReceiver(ScriptCallReceiver* receiver) { g_receiver.store(receiver); }

HRESULT CImpIDispatch::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
      IsEqualIID(riid, IID_IDispatchEx)) {
    *ppv = static_cast<IDispatchEx*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

ULONG CImpIDispatch::AddRef() { return static_cast<ULONG>(++m_refCount); }

ULONG CImpIDispatch::Release() { return static_cast<ULONG>(--m_refCount); }

HRESULT CImpIDispatch::GetTypeInfoCount(UINT*) { return E_NOTIMPL; }

HRESULT CImpIDispatch::GetTypeInfo(UINT, LCID, ITypeInfo**) { return E_NOTIMPL; }

HRESULT CImpIDispatch::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* dispids) {
  bool match = count > 0 && names && names[0] &&
               std::wstring(names[0]) == LauncherSettings::ScriptBridgeName;
  for (UINT i = 0; dispids && i < count; ++i) dispids[i] = match ? kBridgeDispId : DISPID_UNKNOWN;
  return match ? S_OK : DISP_E_UNKNOWNNAME;
}

HRESULT CImpIDispatch::GetDispID(BSTR name, DWORD, DISPID* id) {
  LPOLESTR names[] = {name};
  return GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, id);
}

HRESULT CImpIDispatch::GetNameSpaceParent(IUnknown** parent) {
  if (parent) *parent = nullptr;
  return E_NOTIMPL;
}

HRESULT CImpIDispatch::Invoke(DISPID dispid, REFIID, LCID, WORD, DISPPARAMS* params,
                              VARIANT* result, EXCEPINFO*, UINT*) {
  return Call(dispid, params, result, nullptr);
}

HRESULT CImpIDispatch::InvokeEx(DISPID dispid, LCID, WORD, DISPPARAMS* params, VARIANT* result,
                                EXCEPINFO*, IServiceProvider* caller) {
  return Call(dispid, params, result, caller);
}

HRESULT CImpIDispatch::Call(DISPID dispid, DISPPARAMS* params, VARIANT* result,
                            IServiceProvider* caller) {
  if (dispid != kBridgeDispId || !params || params->cArgs < 2 || !params->rgvarg) return S_OK;
  // Nothing may unwind into the script engine.
  try {
    // A refused call reaches neither the login nor the launcher's path; the
    // script gets an error, so a page can tell it was not served.
    std::wstring refusal = ScriptCallerRefusal(caller);
    if (!refusal.empty()) {
      LOG_ERROR(refusal, "CImpIDispatch::Invoke");
      return E_ACCESSDENIED;
    }
    // Automation passes the arguments last first: element 0 is the last one.
    std::wstring method = ArgumentText(params->rgvarg[1]);
    std::wstring text = ArgumentText(params->rgvarg[0]);
    ScriptCallReceiver* receiver = g_receiver.load();
    std::wstring answer = receiver ? receiver->DispatchScriptCall(method, text) : L"";
    if (result) {
      VariantClear(result);
      V_VT(result) = VT_BSTR;
      V_BSTR(result) = tov::Bstr(answer).release();
    }
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}
