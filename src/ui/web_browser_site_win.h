// The host side of the system's WebBrowser control in the content panel's
// control 1005: a small OLE control container of our own. The site answers
// the engine's questions (client site, in-place site, document host UI and
// its message boxes); a frame object and the sink of the control's events
// are nested objects that live and die with the site.
#pragma once
#include <windows.h>
#include <exdisp.h>
#include <mshtmhst.h>
#include <oleidl.h>

#include <atomic>
#include <functional>
#include <string>

#include "base/com_ptr.h"
#include "web/page_guard_win.h"

class CCustomControlSite final : public IOleClientSite,
                                 public IOleInPlaceSite,
                                 public IDocHostUIHandler,
                                 public IDocHostShowUI,
                                 public ScriptPage {
 public:
  // Creates the control in `host` (which it fills) and activates it in
  // place; null when the system has no such control. The caller owns the
  // one reference returned and ends it with Detach, then Release.
  static CCustomControlSite* Attach(HWND host);
  // Closes the control, detaches from it, stops its events and lets it go.
  // Nothing of the control is called afterwards.
  void Detach();

  // Navigate (dispatch id 104) with flags, frame, post data and headers
  // absent.
  HRESULT Navigate(const std::wstring& url);
  void Resize();
  // Gives a keyboard message for the page to the control first; true when
  // the control took it.
  bool TranslateToControl(MSG* msg);
  // The control's new-window event as the connection point delivers it.
  IDispatch* EventSink();
  // The control itself, for what the launcher asks of it beyond navigation.
  tov::ComPtr<IWebBrowser2> Browser() const;

  // ScriptPage: the control's top-level document.
  std::wstring TopAddress() override;
  bool IsFromTopDocument(IServiceProvider* caller) override;

  // Sites alive in the process, for tests of the teardown.
  static LONG LiveSites();

  // IUnknown, shared by every interface of the site.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IOleClientSite
  HRESULT STDMETHODCALLTYPE SaveObject() override;
  HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker** moniker) override;
  HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** container) override;
  HRESULT STDMETHODCALLTYPE ShowObject() override;
  HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override;
  HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override;

  // IOleWindow / IOleInPlaceSite
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override;
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override;
  HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override;
  HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override;
  HRESULT STDMETHODCALLTYPE OnUIActivate() override;
  HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc,
                                             LPRECT position, LPRECT clip,
                                             LPOLEINPLACEFRAMEINFO info) override;
  HRESULT STDMETHODCALLTYPE Scroll(SIZE) override;
  HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) override;
  HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override;
  HRESULT STDMETHODCALLTYPE DiscardUndoState() override;
  HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override;
  HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT position) override;

  // IDocHostUIHandler
  HRESULT STDMETHODCALLTYPE ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) override;
  HRESULT STDMETHODCALLTYPE GetHostInfo(DOCHOSTUIINFO* info) override;
  HRESULT STDMETHODCALLTYPE ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*,
                                   IOleInPlaceFrame*, IOleInPlaceUIWindow*) override;
  HRESULT STDMETHODCALLTYPE HideUI() override;
  HRESULT STDMETHODCALLTYPE UpdateUI() override;
  HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override;
  HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL) override;
  HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL) override;
  HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override;
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG msg, const GUID*, DWORD) override;
  HRESULT STDMETHODCALLTYPE GetOptionKeyPath(LPOLESTR* key, DWORD) override;
  HRESULT STDMETHODCALLTYPE GetDropTarget(IDropTarget*, IDropTarget** target) override;
  HRESULT STDMETHODCALLTYPE GetExternal(IDispatch** external) override;
  HRESULT STDMETHODCALLTYPE TranslateUrl(DWORD, LPWSTR, LPWSTR* out) override;
  HRESULT STDMETHODCALLTYPE FilterDataObject(IDataObject*, IDataObject** out) override;

  // IDocHostShowUI
  HRESULT STDMETHODCALLTYPE ShowMessage(HWND owner, LPOLESTR text, LPOLESTR, DWORD, LPOLESTR, DWORD,
                                        LRESULT*) override;
  HRESULT STDMETHODCALLTYPE ShowHelp(HWND, LPOLESTR, UINT, DWORD, POINT, IDispatch*) override;

 private:
  explicit CCustomControlSite(HWND host);
  ~CCustomControlSite();

  // The frame the control asks for; its own object because its
  // EnableModeless answers otherwise than the document host's.
  class Frame final : public IOleInPlaceFrame {
   public:
    explicit Frame(CCustomControlSite& site) : m_site(site) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return m_site.AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return m_site.Release(); }
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override;
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    HRESULT STDMETHODCALLTYPE RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    HRESULT STDMETHODCALLTYPE SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RemoveMenus(HMENU) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetStatusText(LPCOLESTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

   private:
    CCustomControlSite& m_site;
  };

  // DWebBrowserEvents2: only the new-window event and the start of a
  // navigation are acted on.
  class Events final : public IDispatch {
   public:
    explicit Events(CCustomControlSite& site) : m_site(site) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return m_site.AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return m_site.Release(); }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
      return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                                     EXCEPINFO*, UINT*) override;

   private:
    CCustomControlSite& m_site;
  };

  bool Create();

  std::atomic<LONG> m_ref{1};
  HWND m_host;
  Frame m_frame{*this};
  Events m_events{*this};
  tov::ComPtr<IOleObject> m_object;
  tov::ComPtr<IConnectionPoint> m_connection;
  DWORD m_cookie = 0;
};

// The object page script reaches as window.external; set by the
// application before any page exists.
void SetBrowserExternal(IDispatch* external);

// Where a new window's address goes: the shell's default handler. Tests
// put a recorder in its place.
void SetNewWindowHandler(std::function<void(const std::wstring& url)> handler);
