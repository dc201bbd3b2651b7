#include "ui/web_browser_site_win.h"

#include <exdispid.h>
#include <mshtml.h>
#include <shellapi.h>

#include <mutex>

#include "base/launcher_log.h"
#include "base/message_box.h"
#include "provisioning/address_rules.h"
#include "ui/key_filter.h"

namespace {

// Not in the import library of interface ids.
constexpr IID kIidDocHostShowUI = {0xc4d244b0, 0xd43e, 0x11cf, {0x89, 0x3b, 0x00, 0xaa, 0x00, 0xbd, 0xce, 0x1a}};

std::atomic<LONG> g_liveSites{0};
std::atomic<IDispatch*> g_external{nullptr};

std::mutex& HandlerLock() {
  static std::mutex* lock = new std::mutex();
  return *lock;
}
std::function<void(const std::wstring&)>& NewWindowHandler() {
  static auto* handler = new std::function<void(const std::wstring&)>();
  return *handler;
}

class SystemKeys final : public tov::KeyState {
 public:
  bool DownNow(int vk) const override { return (::GetAsyncKeyState(vk) & 0x8000) != 0; }
  bool DownInQueue(int vk) const override { return (::GetKeyState(vk) & 0x8000) != 0; }
};

void OpenInShell(const std::wstring& url) {
  std::function<void(const std::wstring&)> handler;
  {
    std::lock_guard<std::mutex> hold(HandlerLock());
    handler = NewWindowHandler();
  }
  if (handler) {
    handler(url);
    return;
  }
  // The result is not examined: the new window is cancelled either way.
  ::ShellExecuteW(nullptr, nullptr, url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace

void SetBrowserExternal(IDispatch* external) { g_external.store(external); }

void SetNewWindowHandler(std::function<void(const std::wstring& url)> handler) {
  std::lock_guard<std::mutex> hold(HandlerLock());
  NewWindowHandler() = std::move(handler);
}

LONG CCustomControlSite::LiveSites() { return g_liveSites.load(); }

CCustomControlSite::CCustomControlSite(HWND host) : m_host(host) { ++g_liveSites; }

CCustomControlSite::~CCustomControlSite() { --g_liveSites; }

CCustomControlSite* CCustomControlSite::Attach(HWND host) {
  auto* site = new (std::nothrow) CCustomControlSite(host);
  if (site && !site->Create()) {
    site->Detach();
    site->Release();
    return nullptr;
  }
  return site;
}

bool CCustomControlSite::Create() {
  if (FAILED(::CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                m_object.put_void()))) {
    return false;
  }
  if (FAILED(m_object->SetClientSite(this))) return false;
  RECT r{};
  ::GetClientRect(m_host, &r);
  if (FAILED(m_object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, this, 0, m_host, &r))) return false;
  // The new-window event; without it the page still works.
  auto points = m_object.as<IConnectionPointContainer>(IID_IConnectionPointContainer);
  if (points && SUCCEEDED(points->FindConnectionPoint(DIID_DWebBrowserEvents2, m_connection.put())) &&
      FAILED(m_connection->Advise(static_cast<IDispatch*>(&m_events), &m_cookie))) {
    m_connection.reset();
  }
  SetScriptPage(this);
  return true;
}

void CCustomControlSite::Detach() {
  ForgetScriptPage(this);
  if (m_object) {
    if (auto inPlace = m_object.as<IOleInPlaceObject>(IID_IOleInPlaceObject)) inPlace->InPlaceDeactivate();
    m_object->Close(OLECLOSE_NOSAVE);
    m_object->SetClientSite(nullptr);
  }
  if (m_connection && m_cookie) m_connection->Unadvise(m_cookie);
  m_connection.reset();
  m_cookie = 0;
  m_object.reset();
}

HRESULT CCustomControlSite::Navigate(const std::wstring& url) {
  auto browser = m_object.as<IDispatch>(IID_IDispatch);
  if (!browser) return E_NOINTERFACE;
  tov::Bstr address(url);
  // The address, then flags, target frame, post data and headers, all absent:
  // automation passes the arguments last first.
  VARIANT args[5];
  for (VARIANT& v : args) {
    ::VariantInit(&v);
    V_VT(&v) = VT_ERROR;
    V_ERROR(&v) = DISP_E_PARAMNOTFOUND;
  }
  V_VT(&args[4]) = VT_BSTR;
  V_BSTR(&args[4]) = address.get();
  DISPPARAMS params{args, nullptr, 5, 0};
  constexpr DISPID kNavigate = 104;
  return browser->Invoke(kNavigate, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr,
                         nullptr, nullptr);
}

void CCustomControlSite::Resize() {
  auto inPlace = m_object.as<IOleInPlaceObject>(IID_IOleInPlaceObject);
  if (!inPlace) return;
  RECT r{};
  ::GetClientRect(m_host, &r);
  inPlace->SetObjectRects(&r, &r);
}

bool CCustomControlSite::TranslateToControl(MSG* msg) {
  auto active = m_object.as<IOleInPlaceActiveObject>(IID_IOleInPlaceActiveObject);
  return active && active->TranslateAccelerator(msg) == S_OK;
}

IDispatch* CCustomControlSite::EventSink() { return &m_events; }

namespace {

tov::ComPtr<IHTMLDocument2> TopDocument(const tov::ComPtr<IWebBrowser2>& browser) {
  tov::ComPtr<IDispatch> document;
  if (!browser || FAILED(browser->get_Document(document.put())) || !document) return nullptr;
  return document.as<IHTMLDocument2>(IID_IHTMLDocument2);
}

}  // namespace

std::wstring CCustomControlSite::TopAddress() {
  tov::ComPtr<IHTMLDocument2> document = TopDocument(Browser());
  BSTR url = nullptr;
  if (!document || FAILED(document->get_URL(&url))) return L"";
  std::wstring address = tov::BstrText(url);
  ::SysFreeString(url);
  return address;
}

bool CCustomControlSite::IsFromTopDocument(IServiceProvider* caller) {
  tov::ComPtr<IHTMLDocument2> document = TopDocument(Browser());
  tov::ComPtr<IHTMLWindow2> window;
  return document && SUCCEEDED(document->get_parentWindow(window.put())) && IsCallFromWindow(caller, window.get());
}

tov::ComPtr<IWebBrowser2> CCustomControlSite::Browser() const {
  return m_object.as<IWebBrowser2>(IID_IWebBrowser2);
}

HRESULT CCustomControlSite::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleClientSite)) {
    *ppv = static_cast<IOleClientSite*>(this);
  } else if (IsEqualIID(riid, IID_IOleWindow) || IsEqualIID(riid, IID_IOleInPlaceSite)) {
    *ppv = static_cast<IOleInPlaceSite*>(this);
  } else if (IsEqualIID(riid, kIidDocHostShowUI)) {
    *ppv = static_cast<IDocHostShowUI*>(this);
  } else if (IsEqualIID(riid, IID_IDocHostUIHandler)) {
    *ppv = static_cast<IDocHostUIHandler*>(this);
  } else {
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG CCustomControlSite::AddRef() { return static_cast<ULONG>(++m_ref); }

ULONG CCustomControlSite::Release() {
  LONG left = --m_ref;
  if (left == 0) delete this;
  return static_cast<ULONG>(left);
}

HRESULT CCustomControlSite::SaveObject() { return E_NOTIMPL; }
HRESULT CCustomControlSite::GetMoniker(DWORD, DWORD, IMoniker** moniker) {
  if (moniker) *moniker = nullptr;
  return E_NOTIMPL;
}
HRESULT CCustomControlSite::GetContainer(IOleContainer** container) {
  if (container) *container = nullptr;
  return E_NOINTERFACE;
}
HRESULT CCustomControlSite::ShowObject() { return S_OK; }
HRESULT CCustomControlSite::OnShowWindow(BOOL) { return S_OK; }
HRESULT CCustomControlSite::RequestNewObjectLayout() { return E_NOTIMPL; }

HRESULT CCustomControlSite::GetWindow(HWND* window) {
  if (!window) return E_POINTER;
  *window = m_host;
  return S_OK;
}
HRESULT CCustomControlSite::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }
HRESULT CCustomControlSite::CanInPlaceActivate() { return S_OK; }
HRESULT CCustomControlSite::OnInPlaceActivate() { return S_OK; }
HRESULT CCustomControlSite::OnUIActivate() { return S_OK; }

HRESULT CCustomControlSite::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc,
                                             LPRECT position, LPRECT clip,
                                             LPOLEINPLACEFRAMEINFO info) {
  if (!frame || !doc || !position || !clip || !info) return E_POINTER;
  *frame = &m_frame;
  m_frame.AddRef();
  *doc = nullptr;
  ::GetClientRect(m_host, position);
  *clip = *position;
  info->fMDIApp = FALSE;
  info->hwndFrame = ::GetAncestor(m_host, GA_ROOT);
  info->haccel = nullptr;
  info->cAccelEntries = 0;
  return S_OK;
}
HRESULT CCustomControlSite::Scroll(SIZE) { return E_NOTIMPL; }
HRESULT CCustomControlSite::OnUIDeactivate(BOOL) { return S_OK; }
HRESULT CCustomControlSite::OnInPlaceDeactivate() { return S_OK; }
HRESULT CCustomControlSite::DiscardUndoState() { return E_NOTIMPL; }
HRESULT CCustomControlSite::DeactivateAndUndo() { return E_NOTIMPL; }
HRESULT CCustomControlSite::OnPosRectChange(LPCRECT position) {
  auto inPlace = m_object.as<IOleInPlaceObject>(IID_IOleInPlaceObject);
  if (inPlace && position) inPlace->SetObjectRects(position, position);
  return S_OK;
}

HRESULT CCustomControlSite::ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) { return S_OK; }

HRESULT CCustomControlSite::GetHostInfo(DOCHOSTUIINFO* info) {
  if (!info) return E_POINTER;
  info->dwFlags = DOCHOSTUIFLAG_NO3DBORDER | DOCHOSTUIFLAG_SCROLL_NO;
  info->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
  return S_OK;
}

HRESULT CCustomControlSite::ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*,
                                   IOleInPlaceFrame*, IOleInPlaceUIWindow*) {
  return S_OK;
}
HRESULT CCustomControlSite::HideUI() { return S_OK; }
HRESULT CCustomControlSite::UpdateUI() { return S_OK; }
HRESULT CCustomControlSite::EnableModeless(BOOL) { return E_NOTIMPL; }
HRESULT CCustomControlSite::OnDocWindowActivate(BOOL) { return E_NOTIMPL; }
HRESULT CCustomControlSite::OnFrameWindowActivate(BOOL) { return E_NOTIMPL; }
HRESULT CCustomControlSite::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) { return E_NOTIMPL; }

HRESULT CCustomControlSite::TranslateAccelerator(LPMSG msg, const GUID*, DWORD) {
  if (!msg) return S_FALSE;
  return tov::DropsPageKey(msg->message, SystemKeys()) ? S_OK : S_FALSE;
}

HRESULT CCustomControlSite::GetOptionKeyPath(LPOLESTR* key, DWORD) {
  if (key) *key = nullptr;
  return E_NOTIMPL;
}
HRESULT CCustomControlSite::GetDropTarget(IDropTarget*, IDropTarget** target) {
  if (target) *target = nullptr;
  return E_NOTIMPL;
}

HRESULT CCustomControlSite::GetExternal(IDispatch** external) {
  if (!external) return E_POINTER;
  *external = g_external.load();
  if (*external) (*external)->AddRef();
  return S_OK;
}

HRESULT CCustomControlSite::TranslateUrl(DWORD, LPWSTR, LPWSTR* out) {
  if (out) *out = nullptr;
  return E_NOTIMPL;
}
HRESULT CCustomControlSite::FilterDataObject(IDataObject*, IDataObject** out) {
  if (out) *out = nullptr;
  return E_NOTIMPL;
}

HRESULT CCustomControlSite::ShowMessage(HWND owner, LPOLESTR text, LPOLESTR, DWORD, LPOLESTR, DWORD,
                                        LRESULT*) {
  try {
    tov::ShowMessageBox(owner, text ? text : L"", L"提示", MB_ICONERROR);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

HRESULT CCustomControlSite::ShowHelp(HWND, LPOLESTR, UINT, DWORD, POINT, IDispatch*) { return S_OK; }

HRESULT CCustomControlSite::Frame::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleWindow) ||
      IsEqualIID(riid, IID_IOleInPlaceUIWindow) || IsEqualIID(riid, IID_IOleInPlaceFrame)) {
    *ppv = static_cast<IOleInPlaceFrame*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

HRESULT CCustomControlSite::Frame::GetWindow(HWND* window) {
  if (!window) return E_POINTER;
  *window = ::GetAncestor(m_site.m_host, GA_ROOT);
  return S_OK;
}

HRESULT CCustomControlSite::Events::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
      IsEqualIID(riid, DIID_DWebBrowserEvents2)) {
    *ppv = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

HRESULT CCustomControlSite::Events::GetTypeInfoCount(UINT* count) {
  if (count) *count = 0;
  return S_OK;
}

namespace {

// The text of an event argument that may come by value or by reference.
std::wstring ArgumentText(const VARIANT& v) {
  const VARIANT* value = V_VT(&v) == (VT_BYREF | VT_VARIANT) ? V_VARIANTREF(&v) : &v;
  if (value && V_VT(value) == VT_BSTR) return tov::BstrText(V_BSTR(value));
  if (value && V_VT(value) == (VT_BYREF | VT_BSTR) && V_BSTRREF(value)) return tov::BstrText(*V_BSTRREF(value));
  return L"";
}

void SetCancel(VARIANT& cancel) {
  if (V_VT(&cancel) == (VT_BYREF | VT_BOOL) && V_BOOLREF(&cancel)) *V_BOOLREF(&cancel) = VARIANT_TRUE;
}

}  // namespace

HRESULT CCustomControlSite::Events::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params,
                                           VARIANT*, EXCEPINFO*, UINT*) {
  if (!params || !params->rgvarg) return S_OK;
  try {
    // BeforeNavigate2(pDisp, URL, Flags, TargetFrameName, PostData, Headers,
    // Cancel), last first: the address is element 5, the cancel flag
    // element 0. It comes for the page's frames as well as for the page.
    if (id == DISPID_BEFORENAVIGATE2 && params->cArgs >= 7) {
      if (RefusePageNavigation(ArgumentText(params->rgvarg[5]), "CWebCDlg::OnBeforeNavigate2")) {
        SetCancel(params->rgvarg[0]);
      }
      return S_OK;
    }
    // NewWindow3(ppDisp, Cancel, dwFlags, bstrUrlContext, bstrUrl), passed
    // last first: the address is element 0, the cancel flag element 3.
    if (id != DISPID_NEWWINDOW3 || params->cArgs < 5) return S_OK;
    SetCancel(params->rgvarg[3]);
    std::wstring address = ArgumentText(params->rgvarg[0]);
    if (tov::IsWebAddress(address)) {
      OpenInShell(address);
    } else {
      LOG_ERROR(L"not a web address, not opened: " + address, "CWebCDlg::OnNewWindow3");
    }
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}
