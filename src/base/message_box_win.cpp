#include "base/message_box.h"

#include <mutex>

#include "base/app_state.h"

namespace tov {

namespace {
std::mutex& HookLock() {
  static std::mutex* lock = new std::mutex();
  return *lock;
}
std::function<int(const MessageBoxCall&)>& Hook() {
  static auto* hook = new std::function<int(const MessageBoxCall&)>();
  return *hook;
}
}  // namespace

void SetMessageBoxHook(std::function<int(const MessageBoxCall&)> hook) {
  std::lock_guard<std::mutex> hold(HookLock());
  Hook() = std::move(hook);
}

int ShowMessageBox(HWND owner, const std::wstring& text, const std::wstring& caption, UINT flags) {
  std::function<int(const MessageBoxCall&)> hook;
  {
    std::lock_guard<std::mutex> hold(HookLock());
    hook = Hook();
  }
  if (hook) return hook(MessageBoxCall{owner, text, caption, flags});
  return ::MessageBoxW(owner, text.c_str(), caption.c_str(), flags);
}

int AppMessageBox(const std::wstring& text, UINT flags, HWND owner) {
  if ((flags & MB_ICONMASK) == 0 && (flags & MB_TYPEMASK) == MB_OK) flags |= MB_ICONEXCLAMATION;
  return ShowMessageBox(owner, text, GetAppState().appName, flags);
}

}  // namespace tov
