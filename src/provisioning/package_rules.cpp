#include "provisioning/package_rules.h"

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

std::wstring UnsafeEntryReason(const std::wstring& name) {
  if (name.empty()) return L"empty name";
  if (name[0] == L'/' || name[0] == L'\\') return L"absolute path";
  if (name.find(L':') != std::wstring::npos) return L"drive or stream name";
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find_first_of(L"/\\", start);
    std::wstring part = name.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
    // Windows drops trailing dots and blanks from path components, so "..."
    // and ".. " climb like "..".
    if (!part.empty() && part != L"." &&
        part.find_first_not_of(L". ") == std::wstring::npos) {
      return L"parent directory component";
    }
    if (end == std::wstring::npos) break;
    start = end + 1;
  }
  return L"";
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
