#include "script_host.h"

#include <dispex.h>

#include <map>

// {f414c260-6ac0-11cf-b6d1-00aa00bbbb58}
static const CLSID kJScript = {0xf414c260, 0x6ac0, 0x11cf, {0xb6, 0xd1, 0x00, 0xaa, 0x00, 0xbb, 0xbb, 0x58}};
// The 64-bit parse interface; mingw's uuid library does not carry it.
static const IID kActiveScriptParse64 = {0xc7ef7658, 0xe1ee, 0x480e, {0x97, 0xea, 0xd5, 0x2c, 0xb4, 0xd7, 0x6d, 0x17}};

namespace {
constexpr DISPID kExternalId = 1;
constexpr DISPID kSetTimeoutId = 2;
constexpr DISPID kLocationId = 3;
constexpr DISPID kFrameId = 4;

std::wstring Text(const VARIANT& v) { return V_VT(&v) == VT_BSTR ? tov::BstrText(V_BSTR(&v)) : L""; }
}  // namespace

// The page's window object, reduced to `external`, `setTimeout`, `location`
// and `frame`.
class ScriptHost::Window final : public IDispatch {
 public:
  Window(IDispatch* external, ScriptHost& host) : m_external(external), m_host(host) {}
  IDispatch* External() const { return m_external; }
  // Before the engine closes: its functions are not called after that.
  void CancelTimers() {
    for (auto it = Pending().begin(); it != Pending().end();) {
      if (it->second.first != this) {
        ++it;
        continue;
      }
      KillTimer(nullptr, it->first);
      it->second.second->Release();
      it = Pending().erase(it);
    }
  }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
      *ppv = static_cast<IDispatch*>(this);
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
    *n = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override {
    std::wstring name = count > 0 ? names[0] : L"";
    DISPID id = name == L"external" ? kExternalId : name == L"setTimeout" ? kSetTimeoutId
              : name == L"location" ? kLocationId : name == L"frame" ? kFrameId : DISPID_UNKNOWN;
    for (UINT i = 0; i < count; ++i) ids[i] = id;
    return id != DISPID_UNKNOWN ? S_OK : DISP_E_UNKNOWNNAME;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO*, UINT*) override {
    if (id == kSetTimeoutId) return SetTimeout(params);
    if (id == kFrameId && params && params->cArgs >= 2) m_host.LoadFrame(Text(params->rgvarg[1]), Text(params->rgvarg[0]));
    if (id == kLocationId && params && params->cArgs >= 1) m_host.Navigate(Text(params->rgvarg[0]));
    if (id == kLocationId && result) {
      V_VT(result) = VT_BSTR;
      V_BSTR(result) = tov::Bstr(m_host.m_address).release();
    }
    if (id != kExternalId) return id == kFrameId || id == kLocationId ? S_OK : DISP_E_MEMBERNOTFOUND;
    if (result) {
      V_VT(result) = VT_DISPATCH;
      V_DISPATCH(result) = m_external;
      // The browser engine takes a reference each time it hands out the
      // external object; so does this stand-in.
      m_external->AddRef();
    }
    return S_OK;
  }

 private:
  // Timers of the thread, by id: the window that set each and its function.
  static std::map<UINT_PTR, std::pair<Window*, IDispatch*>>& Pending() {
    static std::map<UINT_PTR, std::pair<Window*, IDispatch*>> pending;
    return pending;
  }

  HRESULT SetTimeout(DISPPARAMS* params) {
    // Arguments arrive last first: the function is the first one.
    if (!params || params->cArgs < 1) return DISP_E_BADPARAMCOUNT;
    VARIANT& fn = params->rgvarg[params->cArgs - 1];
    if (V_VT(&fn) != VT_DISPATCH || !V_DISPATCH(&fn)) return DISP_E_TYPEMISMATCH;
    UINT ms = 0;
    if (params->cArgs >= 2) {
      VARIANT delay;
      VariantInit(&delay);
      if (SUCCEEDED(VariantChangeType(&delay, &params->rgvarg[params->cArgs - 2], 0, VT_I4)) &&
          V_I4(&delay) > 0) {
        ms = static_cast<UINT>(V_I4(&delay));
      }
    }
    UINT_PTR timer = SetTimer(nullptr, 0, ms, &Fire);
    if (!timer) return E_FAIL;
    V_DISPATCH(&fn)->AddRef();
    Pending()[timer] = {this, V_DISPATCH(&fn)};
    return S_OK;
  }

  static void CALLBACK Fire(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    auto it = Pending().find(timer);
    if (it == Pending().end()) return;
    IDispatch* fn = it->second.second;
    Pending().erase(it);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    VARIANT ignored;
    VariantInit(&ignored);
    fn->Invoke(DISPID_VALUE, IID_NULL, 0, DISPATCH_METHOD, &none, &ignored, nullptr, nullptr);
    VariantClear(&ignored);
    fn->Release();
  }

  IDispatch* m_external;
  ScriptHost& m_host;
};

ScriptHost::ScriptHost(IDispatch* external) : m_window(new Window(external, *this)) {
  CoCreateInstance(kJScript, nullptr, CLSCTX_INPROC_SERVER, IID_IActiveScript, m_engine.put_void());
  if (!m_engine) return;
  m_parser = m_engine.as<IActiveScriptParse>(kActiveScriptParse64);
  m_engine->SetScriptSite(this);
  if (m_parser) m_parser->InitNew();
  m_engine->AddNamedItem(L"window", SCRIPTITEM_ISVISIBLE);
  m_engine->SetScriptState(SCRIPTSTATE_CONNECTED);
}

ScriptHost::~ScriptHost() {
  ForgetScriptPage(this);
  m_window->CancelTimers();
  if (m_engine) m_engine->Close();
  m_parser.reset();
  m_engine.reset();
  delete m_window;
}

bool ScriptHost::Parse(const std::wstring& text, DWORD flags, VARIANT* result) {
  m_error.clear();
  if (!m_parser) {
    m_error = L"no script engine";
    return false;
  }
  EXCEPINFO ei{};
  HRESULT hr = m_parser->ParseScriptText(text.c_str(), nullptr, nullptr, nullptr, 0, 0, flags,
                                         result, &ei);
  if (FAILED(hr) && m_error.empty()) m_error = L"failed";
  return SUCCEEDED(hr) && m_error.empty();
}

bool ScriptHost::Evaluate(const std::wstring& expression, VARIANT* result) {
  return Parse(expression, SCRIPTTEXT_ISEXPRESSION, result);
}

bool ScriptHost::Run(const std::wstring& statements) { return Parse(statements, 0, nullptr); }

void ScriptHost::ServeAsTopPage(const std::wstring& address) {
  m_address = address;
  SetScriptPage(this);
}

// Wine's script engine names its caller only by the engine behind it.
bool ScriptHost::IsFromTopDocument(IServiceProvider* caller) {
  tov::ComPtr<IUnknown> engine;
  caller->QueryService(SID_VariantConversion, IID_IUnknown, engine.put_void());
  return engine && m_engine && engine.get() == m_engine.as<IUnknown>(IID_IUnknown).get();
}

void ScriptHost::Navigate(const std::wstring& address) {
  if (!RefusePageNavigation(address, "CWebCDlg::OnBeforeNavigate2")) m_address = address;
}

void ScriptHost::LoadFrame(const std::wstring& address, const std::wstring& script) {
  if (RefusePageNavigation(address, "CWebCDlg::OnBeforeNavigate2")) return;
  m_frames.push_back(std::make_unique<ScriptHost>(m_window->External()));
  m_frames.back()->m_address = address;
  m_frames.back()->m_report = m_report;
  m_frames.back()->Run(script);
}

HRESULT ScriptHost::QueryInterface(REFIID riid, void** ppv) {
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IActiveScriptSite)) {
    *ppv = static_cast<IActiveScriptSite*>(this);
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

HRESULT ScriptHost::GetItemInfo(LPCOLESTR name, DWORD mask, IUnknown** item, ITypeInfo** info) {
  if (info) *info = nullptr;
  if (std::wstring(name) != L"window") return TYPE_E_ELEMENTNOTFOUND;
  if ((mask & SCRIPTINFO_IUNKNOWN) && item) *item = static_cast<IDispatch*>(m_window);
  return S_OK;
}

HRESULT ScriptHost::OnScriptError(IActiveScriptError* error) {
  EXCEPINFO ei{};
  error->GetExceptionInfo(&ei);
  m_error = ei.bstrDescription ? ei.bstrDescription : L"script error";
  if (m_error.empty()) m_error = L"script error";
  if (m_report) m_report(m_error);
  SysFreeString(ei.bstrSource);
  SysFreeString(ei.bstrDescription);
  SysFreeString(ei.bstrHelpFile);
  return S_OK;
}
