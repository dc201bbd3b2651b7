#include "fuzz_support.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace tovfuzz {

void Fail(const char* what, const std::wstring& detail) {
  std::fprintf(stderr, "invariant broken: %s\n  %s\n", what, Printable(detail).c_str());
  std::abort();
}

std::string Printable(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) {
    unsigned u = static_cast<unsigned>(c);
    if (u >= 0x20 && u < 0x7f && c != L'\\') {
      out += static_cast<char>(u);
    } else {
      char buf[16];
      std::snprintf(buf, sizeof buf, "\\u%04X", u);
      out += buf;
    }
  }
  return out;
}

std::wstring WideFromBytes(const uint8_t* data, size_t size) {
  std::wstring out;
  size_t i = 0;
  while (i < size) {
    uint8_t b = data[i];
    size_t len = b < 0x80 ? 1 : (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 0;
    uint32_t cp = len == 1 ? b : len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
    bool ok = len > 0 && i + len <= size;
    for (size_t k = 1; ok && k < len; ++k) {
      if ((data[i + k] & 0xC0) != 0x80) ok = false;
      cp = (cp << 6) | (data[i + k] & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
    static const uint32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
    if (ok && (cp < kMin[len] || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF)) ok = false;
    if (!ok) {
      out += static_cast<wchar_t>(b);
      ++i;
      continue;
    }
    if (cp > 0xFFFF) {
      cp -= 0x10000;
      out += static_cast<wchar_t>(0xD800 + (cp >> 10));
      out += static_cast<wchar_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<wchar_t>(cp);
    }
    i += len;
  }
  return out;
}

std::wstring WideFromBytes(const std::string& bytes) {
  return WideFromBytes(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

std::vector<std::string> SplitOnNul(const uint8_t* data, size_t size) {
  std::vector<std::string> pieces(1);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      pieces.emplace_back();
    } else {
      pieces.back() += static_cast<char>(data[i]);
    }
  }
  return pieces;
}

namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

// The argument loop after the program path; `pos` is where it starts.
TailSplit SplitFrom(const std::wstring& line, size_t pos) {
  TailSplit out;
  while (pos < line.size() && IsBlank(line[pos])) ++pos;
  if (pos >= line.size()) return out;
  std::wstring arg;
  int quotes = 0;  // 0 outside quotes; within them, the quotes of the current run
  size_t backslashes = 0;
  while (pos < line.size()) {
    wchar_t c = line[pos];
    if (IsBlank(c) && quotes == 0) {
      out.args.push_back(arg);
      arg.clear();
      backslashes = 0;
      while (pos < line.size() && IsBlank(line[pos])) ++pos;
      if (pos >= line.size()) return out;
      continue;
    }
    if (c == L'\\') {
      arg += c;
      ++backslashes;
      ++pos;
      continue;
    }
    if (c != L'"') {
      arg += c;
      backslashes = 0;
      ++pos;
      continue;
    }
    arg.resize(arg.size() - backslashes / 2);
    if (backslashes % 2 == 1) {
      arg.back() = L'"';  // the odd backslash escaped this quote
    } else {
      ++quotes;
    }
    backslashes = 0;
    ++pos;
    while (pos < line.size() && line[pos] == L'"') {
      if (++quotes == 3) {
        arg += L'"';
        quotes = 0;
      }
      ++pos;
    }
    if (quotes == 2) quotes = 0;
  }
  out.args.push_back(arg);
  out.quoteOpen = quotes != 0;
  return out;
}

}  // namespace

std::vector<std::wstring> SplitCommandLine(const std::wstring& line) {
  std::wstring text = line.substr(0, line.find(L'\0'));
  if (text.empty()) return {};
  std::wstring program;
  size_t pos = 0;
  if (text[0] == L'"') {
    size_t close = text.find(L'"', 1);
    program = text.substr(1, close == std::wstring::npos ? std::wstring::npos : close - 1);
    pos = close == std::wstring::npos ? text.size() : close + 1;
  } else {
    while (pos < text.size() && !IsBlank(text[pos])) ++pos;
    program = text.substr(0, pos);
  }
  std::vector<std::wstring> args{program};
  TailSplit rest = SplitFrom(text, pos);
  args.insert(args.end(), rest.args.begin(), rest.args.end());
  return args;
}

TailSplit SplitCommandTail(const std::wstring& tail) {
  return SplitFrom(tail.substr(0, tail.find(L'\0')), 0);
}

bool StaysBelowDirectory(const std::wstring& relative) {
  std::wstring path = relative.substr(0, relative.find(L'\0'));
  if (path.empty()) return true;
  if (path[0] == L'/' || path[0] == L'\\') return false;
  if (path.size() >= 2 && path[1] == L':') return false;
  long depth = 0;
  size_t start = 0;
  for (;;) {
    size_t end = path.find_first_of(L"/\\", start);
    std::wstring part = path.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
    if (!part.empty()) {
      if (part.find_first_not_of(L". ") != std::wstring::npos) {
        ++depth;
      } else if (std::count(part.begin(), part.end(), L'.') >= 2) {
        if (--depth < 0) return false;
      }
    }
    if (end == std::wstring::npos) return true;
    start = end + 1;
  }
}

}  // namespace tovfuzz
