// A small stand-in for a dialog framework: dialogs from resource templates,
// a modal run with its own message loop (so PreTranslateMessage and a posted
// quit request work as the windows expect), and modeless dialogs.
#pragma once
#include <windows.h>

#include <functional>

class CDialogBase {
 public:
  explicit CDialogBase(UINT templateId) : m_templateId(templateId) {}
  virtual ~CDialogBase();
  CDialogBase(const CDialogBase&) = delete;
  CDialogBase& operator=(const CDialogBase&) = delete;

  // Creates the window from its template and runs it until EndDialog or a
  // quit request; returns the EndDialog result (IDCANCEL after a quit).
  INT_PTR DoModal(HWND owner = nullptr);
  // Creates the window as a modeless dialog; the caller's loop serves it.
  BOOL Create(HWND owner);
  // Records the result, hides the window and lets the modal run end.
  void EndDialog(INT_PTR result);
  void DestroyWindow();

  HWND GetSafeHwnd() const { return m_hWnd; }

 protected:
  // WM_CREATE, before the dialog manager's own creation handling; false
  // aborts the creation.
  virtual bool OnCreate() { return true; }
  virtual BOOL OnInitDialog() { return TRUE; }
  // Messages of the window; set `handled` to keep the default handling off.
  virtual INT_PTR OnMessage(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
  // Sees the modal loop's messages for this dialog and its children before
  // they are dispatched; true means handled. The loop asks the dialog the
  // message is for first, then the modal dialog.
  virtual bool PreTranslateMessage(MSG* msg);
  virtual void OnDestroyed() {}

  // Runs `call` on the window's thread while the caller waits; false when
  // the window is gone. Safe from any thread, even after this object has
  // been destroyed: `this` only names the window (see window_calls_win.h).
  bool CallOnWindowThread(const std::function<void()>& call) const;

  HWND m_hWnd = nullptr;

 private:
  // Nothing may unwind through the system's frames: these turn a failure
  // (an allocation that fails) into the message's default handling.
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) noexcept;
  static LRESULT CALLBACK CreationHook(int code, WPARAM wp, LPARAM lp) noexcept;
  static LRESULT CALLBACK CreationProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) noexcept;
  static CDialogBase* FromHandle(HWND hwnd);
  HWND CreateFromTemplate(HWND owner);
  void Attach(HWND hwnd);
  // The framework's habit for modal dialogs: centred on the screen they open
  // on, before they first show (the picture of a layered window sets its
  // size in WM_INITDIALOG).
  void CenterInWorkArea();
  bool RouteThroughDialogs(MSG* msg);

  UINT m_templateId;
  WNDPROC m_pfnCreationNext = nullptr;
  bool m_modalEnded = false;
  bool m_centreWhenMade = false;
  INT_PTR m_modalResult = IDCANCEL;
};
