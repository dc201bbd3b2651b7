// The browser control's site in a real host window, with Wine's WebBrowser
// control: what the engine asks of the host, answered as the engine would
// ask it (Wine's engine renders nothing and asks little by itself), and a
// site that goes away with its window every time.
#include <winsock2.h>
#include <windows.h>
#include <exdispid.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/message_box.h"
#include "loopback_http_server.h"
#include "test_support.h"
#include "ui/browser_host_win.h"
#include "ui/web_browser_site_win.h"
#include "web/script_bridge.h"

namespace {

// IDocHostShowUI, which the headers name without a definition.
const IID showUi = {0xc4d244b0, 0xd43e, 0x11cf, {0x89, 0x3b, 0x00, 0xaa, 0x00, 0xbd, 0xce, 0x1a}};

class BrowserSite : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    ASSERT_TRUE(CurrentBrowserHost().RegisterWindowClass());
  }

  void SetUp() override {
    m_top = CreateWindowW(L"STATIC", L"browser site test", WS_POPUP, 0, 0, 400, 300, nullptr, nullptr,
                          nullptr, nullptr);
    m_host = NewHost();
    m_site = BrowserSiteOf(m_host);
    ASSERT_NE(m_site, nullptr) << "no WebBrowser control in this system";
  }
  void TearDown() override {
    tov::SetMessageBoxHook({});
    SetNewWindowHandler({});
    DestroyWindow(m_top);
  }

  HWND NewHost() {
    return CreateWindowW(kBrowserClassId, L"", WS_CHILD | WS_VISIBLE, 10, 10, 300, 200, m_top, nullptr,
                         nullptr, nullptr);
  }

  template <typename I>
  tov::ComPtr<I> Ask(REFIID iid) {
    tov::ComPtr<I> out;
    EXPECT_EQ(m_site->QueryInterface(iid, out.put_void()), S_OK);
    return out;
  }

  HWND m_top = nullptr;
  HWND m_host = nullptr;
  CCustomControlSite* m_site = nullptr;
};

}  // namespace

TEST_F(BrowserSite, InterfacesShareOneIdentityAndGetExternalHandsOutTheScriptObject) {
  auto handler = Ask<IDocHostUIHandler>(IID_IDocHostUIHandler);
  auto show = Ask<IDocHostShowUI>(showUi);
  ASSERT_TRUE(handler && show);
  tov::ComPtr<IUnknown> a = handler.as<IUnknown>(IID_IUnknown);
  tov::ComPtr<IUnknown> b = show.as<IUnknown>(IID_IUnknown);
  EXPECT_EQ(a.get(), b.get());

  CImpIDispatch script;
  SetBrowserExternal(&script);
  IDispatch* first = nullptr;
  IDispatch* second = nullptr;
  EXPECT_EQ(handler->GetExternal(&first), S_OK);
  EXPECT_EQ(handler->GetExternal(&second), S_OK);
  EXPECT_EQ(first, static_cast<IDispatch*>(&script));
  EXPECT_EQ(second, first);
  EXPECT_EQ(script.RefCount(), 2);
  first->Release();
  second->Release();
  SetBrowserExternal(nullptr);

  DOCHOSTUIINFO info{};
  info.cbSize = sizeof info;
  info.pchHostCss = const_cast<OLECHAR*>(L"kept");
  info.dwFlags = 0x1000;
  info.dwDoubleClick = 7;
  EXPECT_EQ(handler->GetHostInfo(&info), S_OK);
  EXPECT_EQ(info.dwFlags, 0xCu);
  EXPECT_EQ(info.dwDoubleClick, 0u);
  EXPECT_EQ(info.cbSize, sizeof info);
  EXPECT_STREQ(info.pchHostCss, L"kept");

  EXPECT_EQ(handler->ShowContextMenu(0, nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(handler->EnableModeless(TRUE), E_NOTIMPL);
  IDispatch* none = reinterpret_cast<IDispatch*>(1);
  EXPECT_EQ(handler->GetDropTarget(nullptr, reinterpret_cast<IDropTarget**>(&none)), E_NOTIMPL);
  EXPECT_EQ(none, nullptr);
}

TEST_F(BrowserSite, PageBoxesAreTheLaunchersOwnCaptionedWithTheHint) {
  std::vector<tov::MessageBoxCall> boxes;
  tov::SetMessageBoxHook([&](const tov::MessageBoxCall& call) {
    boxes.push_back(call);
    return IDOK;
  });
  auto show = Ask<IDocHostShowUI>(showUi);
  LRESULT result = 1234;
  wchar_t text[] = L"密码错误", caption[] = L"ignored";
  EXPECT_EQ(show->ShowMessage(m_top, text, caption, MB_OKCANCEL | MB_ICONWARNING, nullptr, 0, &result), S_OK);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].owner, m_top);
  EXPECT_EQ(boxes[0].text, L"密码错误");
  EXPECT_EQ(boxes[0].caption, L"提示");
  EXPECT_EQ(boxes[0].flags, static_cast<UINT>(MB_ICONERROR));
  EXPECT_EQ(result, 1234) << "the result argument is not written";
}

TEST_F(BrowserSite, NewWindowsAreCancelledAndGoToTheShellOnce) {
  std::vector<std::wstring> opened;
  SetNewWindowHandler([&](const std::wstring& url) { opened.push_back(url); });
  VARIANT_BOOL cancel = VARIANT_FALSE;
  IDispatch* newWindow = nullptr;
  tov::Bstr url(L"http://127.0.0.1:1/news?id=1&x=%E4"), context(L"http://127.0.0.1:1/entry");
  // NewWindow3's arguments as the control sends them, last first.
  VARIANT args[5];
  for (VARIANT& v : args) VariantInit(&v);
  V_VT(&args[0]) = VT_BSTR;
  V_BSTR(&args[0]) = url.get();
  V_VT(&args[1]) = VT_BSTR;
  V_BSTR(&args[1]) = context.get();
  V_VT(&args[2]) = VT_UI4;
  V_UI4(&args[2]) = 0x6;
  V_VT(&args[3]) = VT_BYREF | VT_BOOL;
  V_BOOLREF(&args[3]) = &cancel;
  V_VT(&args[4]) = VT_BYREF | VT_DISPATCH;
  V_DISPATCHREF(&args[4]) = &newWindow;
  DISPPARAMS params{args, nullptr, 5, 0};
  auto fire = [&](DISPID event) {
    return m_site->EventSink()->Invoke(event, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
  };
  EXPECT_EQ(fire(DISPID_NEWWINDOW3), S_OK);
  EXPECT_EQ(cancel, VARIANT_TRUE);
  EXPECT_EQ(opened, std::vector<std::wstring>{L"http://127.0.0.1:1/news?id=1&x=%E4"});
  EXPECT_EQ(newWindow, nullptr);
  // Other events change nothing.
  cancel = VARIANT_FALSE;
  EXPECT_EQ(fire(DISPID_NEWWINDOW2), S_OK);
  EXPECT_EQ(cancel, VARIANT_FALSE);
  EXPECT_EQ(opened.size(), 1u);
  // A local scheme is cancelled and never reaches the shell.
  tov::Bstr local(L"file:///C:/windows/system32/calc.exe");
  V_BSTR(&args[0]) = local.get();
  EXPECT_EQ(fire(DISPID_NEWWINDOW3), S_OK);
  EXPECT_EQ(cancel, VARIANT_TRUE);
  EXPECT_EQ(opened.size(), 1u);
}

TEST_F(BrowserSite, NavigationReachesTheControlAndSitesGoWithTheirWindows) {
  // A page that answers: Wine's engine retries a refused address for good.
  testing_support::LoopbackHttpServer server;
  server.SetReply({200, "Content-Type: text/html\r\n", "<html><body>entry</body></html>"});
  const std::wstring address =
      L"http://127.0.0.1:" + std::to_wstring(server.Port()) + L"/entry/login.html";
  CurrentBrowserHost().Navigate(m_host, address);
  wchar_t text[128] = {};
  GetWindowTextW(m_host, text, 128);
  EXPECT_EQ(std::wstring(text), address);
  // The control itself was sent there (Wine renders nothing, but knows
  // where it is).
  auto location = [&] {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    BSTR url = nullptr;
    std::wstring text = m_site->Browser() && SUCCEEDED(m_site->Browser()->get_LocationURL(&url))
                            ? tov::BstrText(url)
                            : L"";
    SysFreeString(url);
    return text;
  };
  EXPECT_TRUE(testing_support::WaitFor([&] { return location() == address; }, 5000)) << location();
  // Wine's control asks BeforeNavigate2 first too: an address off the web is not loaded.
  m_site->Navigate(L"file:///C:/windows/win.ini");
  EXPECT_FALSE(testing_support::WaitFor([&] { return location() != address; }, 1000)) << location();

  const LONG before = CCustomControlSite::LiveSites();
  for (int i = 0; i < 50; ++i) {
    HWND host = NewHost();
    ASSERT_NE(BrowserSiteOf(host), nullptr) << "round " << i;
    // A few of them navigated too (each navigation costs Wine without its
    // engine seconds).
    if (i % 25 == 0) CurrentBrowserHost().Navigate(host, address);
    DestroyWindow(host);
    EXPECT_EQ(CCustomControlSite::LiveSites(), before) << "a site outlived its window in round " << i;
  }
}
