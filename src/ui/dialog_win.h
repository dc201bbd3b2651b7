// A small stand-in for a dialog framework: dialogs from resource templates,
// a modal run with its own message loop (so PreTranslateMessage and a posted
// quit request work as the windows expect), and modeless dialogs.
#pragma once
#include <windows.h>

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
  void EndDialog(INT_PTR result);
  void DestroyWindow();

  HWND GetSafeHwnd() const { return m_hWnd; }

 protected:
  virtual BOOL OnInitDialog() { return TRUE; }
  // Messages of the window; set `handled` to keep the default handling off.
  virtual INT_PTR OnMessage(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
  // Sees every message of the modal loop before it is dispatched; true means
  // handled.
  virtual bool PreTranslateMessage(MSG* msg);
  virtual void OnDestroyed() {}

  HWND m_hWnd = nullptr;

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  HWND CreateFromTemplate(HWND owner);
  // The framework's habit for dialogs: centred on the screen they open on.
  void CenterInWorkArea();
  bool RouteThroughDialogs(MSG* msg);

  UINT m_templateId;
  bool m_modalEnded = false;
  INT_PTR m_modalResult = IDCANCEL;
};
