#include "script_host.h"

// {f414c260-6ac0-11cf-b6d1-00aa00bbbb58}
static const CLSID kJScript = {0xf414c260, 0x6ac0, 0x11cf, {0xb6, 0xd1, 0x00, 0xaa, 0x00, 0xbb, 0xbb, 0x58}};
// The 64-bit parse interface; mingw's uuid library does not carry it.
static const IID kActiveScriptParse64 = {0xc7ef7658, 0xe1ee, 0x480e, {0x97, 0xea, 0xd5, 0x2c, 0xb4, 0xd7, 0x6d, 0x17}};

// The page's window object, reduced to its `external` property.
class ScriptHost::Window final : public IDispatch {
 public:
  explicit Window(IDispatch* external) : m_external(external) {}
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
    bool external = count > 0 && std::wstring(names[0]) == L"external";
    for (UINT i = 0; i < count; ++i) ids[i] = external ? 1 : DISPID_UNKNOWN;
    return external ? S_OK : DISP_E_UNKNOWNNAME;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result,
                                   EXCEPINFO*, UINT*) override {
    if (id != 1) return DISP_E_MEMBERNOTFOUND;
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
  IDispatch* m_external;
};

ScriptHost::ScriptHost(IDispatch* external) : m_window(new Window(external)) {
  CoCreateInstance(kJScript, nullptr, CLSCTX_INPROC_SERVER, IID_IActiveScript, m_engine.put_void());
  if (!m_engine) return;
  m_parser = m_engine.as<IActiveScriptParse>(kActiveScriptParse64);
  m_engine->SetScriptSite(this);
  if (m_parser) m_parser->InitNew();
  m_engine->AddNamedItem(L"window", SCRIPTITEM_ISVISIBLE);
  m_engine->SetScriptState(SCRIPTSTATE_CONNECTED);
}

ScriptHost::~ScriptHost() {
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
  SysFreeString(ei.bstrSource);
  SysFreeString(ei.bstrDescription);
  SysFreeString(ei.bstrHelpFile);
  return S_OK;
}
