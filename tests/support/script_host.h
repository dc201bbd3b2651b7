// Runs JScript with Wine's (or Windows') own engine, with `window.external`
// bound to a given object: how page script reaches the launcher. The window
// also has `setTimeout(function, ms)`, served by a timer of the calling
// thread, whose message loop must run for it to fire; `location` and
// `frame(address, script)`, each a navigation the launcher may refuse.
#pragma once
#include <windows.h>
#include <activscp.h>

#include <functional>
#include <string>

#include <memory>
#include <vector>

#include "base/com_ptr.h"
#include "web/page_guard_win.h"

class ScriptHost final : public IActiveScriptSite, public ScriptPage {
 public:
  explicit ScriptHost(IDispatch* external);
  ~ScriptHost();

  // Evaluates an expression; returns false when the engine reported an
  // error (its text in error()).
  bool Evaluate(const std::wstring& expression, VARIANT* result);
  // Runs statements.
  bool Run(const std::wstring& statements);
  const std::wstring& error() const { return m_error; }
  // Told about every script error, those of timer callbacks included.
  void OnError(std::function<void(const std::wstring&)> report) { m_report = std::move(report); }
  // The top-level document at `address`, as the launcher's host tells it.
  void ServeAsTopPage(const std::wstring& address);
  std::wstring TopAddress() override { return m_address; }
  bool IsFromTopDocument(IServiceProvider* caller) override;

  // IUnknown, IActiveScriptSite
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE GetLCID(LCID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetItemInfo(LPCOLESTR name, DWORD mask, IUnknown** item,
                                        ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetDocVersionString(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnScriptTerminate(const VARIANT*, const EXCEPINFO*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnStateChange(SCRIPTSTATE) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnScriptError(IActiveScriptError* error) override;
  HRESULT STDMETHODCALLTYPE OnEnterScript() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnLeaveScript() override { return S_OK; }

 private:
  class Window;
  bool Parse(const std::wstring& text, DWORD flags, VARIANT* result);
  void Navigate(const std::wstring& address);
  void LoadFrame(const std::wstring& address, const std::wstring& script);

  tov::ComPtr<IActiveScript> m_engine;
  tov::ComPtr<IActiveScriptParse> m_parser;
  Window* m_window;
  std::wstring m_error;
  std::function<void(const std::wstring&)> m_report;
  std::wstring m_address;
  std::vector<std::unique_ptr<ScriptHost>> m_frames;
};
