#include "base/launcher_log.h"

#include <share.h>
#include <windows.h>

#include "base/app_state.h"
#include "base/log_format.h"
#include "base/utf8.h"

namespace {
const std::wstring& Stamp() {
  // Never destroyed: threads that still run while the static destructors
  // do (the worker, request threads) log with it.
  static const std::wstring* stamp = new std::wstring(tov::BuildStamp(__DATE__, __TIME__));
  return *stamp;
}

// Lines end in CR LF like any Windows text file, also those inside a message.
std::string ToFileText(const std::wstring& text) {
  std::string utf8 = tov::WideToUtf8(text);
  std::string out;
  out.reserve(utf8.size() + 8);
  for (char c : utf8) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}
}  // namespace

CLauncherLog::CLauncherLog(const std::wstring& path) {
  if (path.empty() || path.size() >= MAX_PATH) return;
  // Another launcher that is refused at start-up must not truncate the log of
  // the one that runs: the file is not shared for writing.
  m_file = _wfsopen(path.c_str(), L"wb+", _SH_DENYWR);
}

CLauncherLog::~CLauncherLog() { CloseFile(); }

void CLauncherLog::LogInfo(const std::wstring& message, const char* operation, int line) {
  Write(tov::FormatInfoLine(Stamp(), tov::WidenAscii(operation ? operation : ""), line, message));
}

void CLauncherLog::LogError(const std::wstring& message, const char* operation, int line) {
  Write(tov::FormatErrorLine(Stamp(), tov::WidenAscii(operation ? operation : ""), line, message));
}

void CLauncherLog::Write(const std::wstring& text) {
  std::string bytes = ToFileText(text);
  std::lock_guard<std::mutex> hold(m_lock);
  if (!m_file) return;
  if (!m_waiting.empty()) {
    m_waiting.emplace_back(std::move(bytes));
    return;
  }
  // One write per line, flushed at once, so a crash or a kill loses nothing
  // that was logged before it.
  std::fwrite(bytes.data(), 1, bytes.size(), m_file);
  std::fflush(m_file);
}

size_t CLauncherLog::ReserveLine() {
  std::lock_guard<std::mutex> hold(m_lock);
  m_waiting.emplace_back();
  return m_waitingBase + m_waiting.size() - 1;
}

void CLauncherLog::FillInfoLine(size_t place, const std::wstring& message, const char* operation, int line) {
  std::string bytes =
      ToFileText(tov::FormatInfoLine(Stamp(), tov::WidenAscii(operation ? operation : ""), line, message));
  std::lock_guard<std::mutex> hold(m_lock);
  // A place before the waiting lines was given up when the file closed.
  if (place < m_waitingBase || place - m_waitingBase >= m_waiting.size()) return;
  m_waiting[place - m_waitingBase] = std::move(bytes);
  WriteReady();
}

void CLauncherLog::WriteReady() {
  while (!m_waiting.empty() && m_waiting.front()) {
    if (m_file) std::fwrite(m_waiting.front()->data(), 1, m_waiting.front()->size(), m_file);
    m_waiting.pop_front();
    ++m_waitingBase;
  }
  if (m_file) std::fflush(m_file);
}

void CLauncherLog::GiveUpEmptyPlaces() {
  // The lines behind them are kept.
  for (auto& waiting : m_waiting) {
    if (!waiting) waiting.emplace();
  }
  WriteReady();
}

void CLauncherLog::FlushAfterCrash() {
  std::unique_lock<std::mutex> hold(m_lock, std::try_to_lock);
  if (hold.owns_lock()) GiveUpEmptyPlaces();
}

void CLauncherLog::CloseFile() {
  std::lock_guard<std::mutex> hold(m_lock);
  GiveUpEmptyPlaces();
  if (m_file) {
    std::fclose(m_file);
    m_file = nullptr;
  }
}

bool CLauncherLog::IsOpen() {
  std::lock_guard<std::mutex> hold(m_lock);
  return m_file != nullptr;
}

CLauncherLog& GetLauncherLog() {
  // Never destroyed: the worker and telemetry threads may still log while
  // static destructors run at exit. The file is closed at exit instead.
  static CLauncherLog* log = [] {
    // Before start-up has chosen InstallRoot there is nowhere to write.
    const AppState& app = GetAppState();
    auto* created = new CLauncherLog(
        app.installRoot.empty() ? L"" : app.installRoot + L"\\" + app.appName + L".log");
    std::atexit([] { GetLauncherLog().CloseFile(); });
    return created;
  }();
  return *log;
}
