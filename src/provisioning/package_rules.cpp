#include "provisioning/package_rules.h"

#include <cwctype>

#include "base/path_rules.h"

namespace tov {

std::wstring ReplaceAll(std::wstring text, const std::wstring& from, const std::wstring& to) {
  if (from.empty()) return text;
  size_t pos = 0;
  while ((pos = text.find(from, pos)) != std::wstring::npos) {
    text.replace(pos, from.size(), to);
    pos += to.size();
  }
  return text;
}

std::wstring BuildDownloadUrl(const std::wstring& pattern, const std::wstring& channel,
                              const std::wstring& version) {
  return ReplaceAll(ReplaceAll(pattern, L"{ditch_name}", channel), L"{version}", version);
}

ProgressStep DownloadProgress(int64_t total, int64_t done) {
  if (total == 0) return {L"0%", 0};
  int64_t wide = done * 100 / total;
  int32_t percent = static_cast<int32_t>(wide);
  if (wide > 100) percent = 100;
  return {std::to_wstring(percent) + L"%", percent};
}

bool ProgressRepeatFilter::IsNew(const ProgressStep& step, int isDownload) {
  bool download = isDownload != 0;
  if (m_bShown && step.position == m_position && download == m_bDownload) return false;
  m_bShown = true;
  m_position = step.position;
  m_bDownload = download;
  return true;
}

ProgressStep UnzipProgress(uint64_t k, uint64_t n) {
  unsigned position = n == 0 ? 0u : static_cast<unsigned>(100 * k / n);
  return {std::to_wstring(k) + L"/" + std::to_wstring(n), static_cast<int>(position)};
}

namespace {

bool IsDotOrBlank(wchar_t c) { return c == L'.' || c == L' '; }

wchar_t AsciiUpper(wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c; }

// Windows opens a device for a component whose part before the first dot,
// trailing blanks left out, is a device name, whatever follows: "nul",
// "NUL.txt", "com1 .log", "lpt\u00b9".
bool IsDeviceName(const std::wstring& part) {
  std::wstring base = part.substr(0, part.find(L'.'));
  while (!base.empty() && base.back() == L' ') base.pop_back();
  for (wchar_t& c : base) c = AsciiUpper(c);
  for (const wchar_t* device : {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"}) {
    if (base == device) return true;
  }
  if (base.size() != 4 || (base.compare(0, 3, L"COM") != 0 && base.compare(0, 3, L"LPT") != 0)) {
    return false;
  }
  wchar_t n = base[3];
  return (n >= L'0' && n <= L'9') || n == L'\u00b9' || n == L'\u00b2' || n == L'\u00b3';
}

// "BRAKMO~1.DLL": the 8.3 name Windows may give a long name. Written by its
// alias, an entry would land on whichever file holds that alias, and two
// entries could write one file under two spellings.
bool IsShortNameAlias(const std::wstring& part) {
  for (size_t tilde = part.find(L'~'); tilde != std::wstring::npos; tilde = part.find(L'~', tilde + 1)) {
    size_t end = tilde + 1;
    while (end < part.size() && part[end] >= L'0' && part[end] <= L'9') ++end;
    if (end > tilde + 1 && (end == part.size() || part[end] == L'.')) return true;
  }
  return false;
}

std::wstring UnsafeComponentReason(const std::wstring& part) {
  if (part.empty() || part == L".") return L"";
  // Windows drops trailing dots and blanks from path components, so "..."
  // and ".. " climb like "..".
  if (part.find_first_not_of(L". ") == std::wstring::npos) return L"parent directory component";
  // ... and "bm./x" or "x.exe " would be stored under another name than
  // the one checked here.
  if (IsDotOrBlank(part.back())) return L"component ending in a dot or blank";
  if (IsDeviceName(part)) return L"device name";
  if (IsShortNameAlias(part)) return L"short name alias";
  return L"";
}

const wchar_t* MethodName(uint16_t method) {
  switch (method) {
    case 1: return L"shrunk";
    case 6: return L"imploded";
    case 9: return L"deflate64";
    case 12: return L"bzip2";
    case 14: return L"LZMA";
    case 93: return L"zstd";
    case 95: return L"xz";
    case 98: return L"PPMd";
    case 99: return L"AES";
    default: return nullptr;
  }
}

}  // namespace

std::wstring UnsafeEntryReason(const std::wstring& name) {
  if (name.empty()) return L"empty name";
  if (IsSeparator(name[0])) return L"absolute path";
  if (name.find(L':') != std::wstring::npos) return L"drive or stream name";
  for (wchar_t c : name) {
    if (c < 0x20 || c == 0x7f) return L"control character";
  }
  if (name.find_first_of(L"<>\"|?*") != std::wstring::npos) return L"reserved character";
  size_t start = 0;
  for (;;) {
    size_t end = name.find_first_of(L"/\\", start);
    std::wstring reason = UnsafeComponentReason(
        name.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start));
    if (!reason.empty()) return reason;
    if (end == std::wstring::npos) return L"";
    start = end + 1;
  }
}

std::wstring ArchiveBoundReason(uint64_t entries) {
  if (entries <= kMaxArchiveEntries) return L"";
  return L"too many entries: " + std::to_wstring(entries) + L", at most " + std::to_wstring(kMaxArchiveEntries);
}

std::wstring EntryBoundReason(uint64_t compressedSize, uint64_t uncompressedSize) {
  if (uncompressedSize <= kRatioCheckedAbove) return L"";
  if (compressedSize > 0 && uncompressedSize / compressedSize < kMaxCompressionRatio) return L"";
  if (compressedSize > 0 && uncompressedSize / compressedSize == kMaxCompressionRatio &&
      uncompressedSize % compressedSize == 0) {
    return L"";
  }
  return L"compression ratio above 1:" + std::to_wstring(kMaxCompressionRatio) + L" (" +
         std::to_wstring(uncompressedSize) + L" bytes from " + std::to_wstring(compressedSize) + L")";
}

uint64_t FreeSpaceReserve(uint64_t volumeBytes) {
  constexpr uint64_t kLeastReserve = 1ull << 30;
  return volumeBytes / 20 > kLeastReserve ? volumeBytes / 20 : kLeastReserve;
}

std::wstring UndecodableEntryReason(uint16_t method, uint16_t flags) {
  if (flags & 1u) return L"encrypted";
  if (method == 0 || method == 8) return L"";
  std::wstring reason = L"compression method " + std::to_wstring(method);
  if (const wchar_t* known = MethodName(method)) reason += L" (" + std::wstring(known) + L")";
  return reason;
}

std::wstring ComparableName(const std::wstring& path, const NameFold& fold) {
  std::wstring out;
  out.reserve(path.size());
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = start;
    while (end < path.size() && !IsSeparator(path[end])) ++end;
    size_t stop = end;
    // "..", "..." keep their dots: only a name's trailing ones go.
    if (path.find_first_not_of(L". ", start) < end) {
      while (stop > start && IsDotOrBlank(path[stop - 1])) --stop;
    }
    bool skip = stop == start || (stop - start == 1 && path[start] == L'.');
    if (!skip) {
      if (!out.empty()) out += L'\\';
      out.append(path, start, stop - start);
    }
    start = end + 1;
  }
  if (fold) return fold(out);
  for (wchar_t& c : out) c = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(c)));
  return out;
}

bool IsEmptyZipArchive(const std::string& bytes) {
  // End of central directory: signature, disk numbers, entry counts, size
  // and offset of the directory, comment length, comment.
  if (bytes.size() < 22 || bytes.compare(0, 4, "PK\x05\x06") != 0) return false;
  auto u16 = [&](size_t at) {
    return static_cast<unsigned>(static_cast<unsigned char>(bytes[at])) |
           (static_cast<unsigned>(static_cast<unsigned char>(bytes[at + 1])) << 8);
  };
  for (size_t at = 4; at < 20; at += 2) {
    if (u16(at) != 0) return false;
  }
  return bytes.size() == 22u + u16(20);
}

}  // namespace tov
