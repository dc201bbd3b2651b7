// Plain rules of the package download and extraction.
#pragma once
#include <cstdint>
#include <string>

namespace tov {

// Every "{ditch_name}" replaced by the channel, then every "{version}" by the
// version; case-sensitive, nothing escaped.
std::wstring ReplaceAll(std::wstring text, const std::wstring& from, const std::wstring& to);
std::wstring BuildDownloadUrl(const std::wstring& pattern, const std::wstring& channel,
                              const std::wstring& version);

struct ProgressStep {
  std::wstring text;
  int position;
};

// Download progress: "37%" at 37; "0%" at 0 while the total is unknown;
// capped at 100 when more arrives than was announced.
ProgressStep DownloadProgress(int64_t total, int64_t done);

// Remembers the last progress shown so a report that would change nothing
// on screen (same text, same position, same phase) can be left out: the
// transfer callback fires far more often than the percentage moves, and
// every panel update is a round trip to the window's thread.
class ProgressRepeatFilter {
 public:
  // True when `step` differs from the last one let through (always for the
  // first), and remembers it.
  bool IsNew(const ProgressStep& step, int isDownload);

 private:
  bool m_bShown = false;
  ProgressStep m_last{L"", 0};
  int m_isDownload = 0;
};

// Extraction progress after entry k of n (from 1): "k/n" at (100*k)/n.
ProgressStep UnzipProgress(uint64_t k, uint64_t n);

// Why an archive entry name may not be written below the client directory;
// empty when it may. Names come from a package fetched over plain HTTP.
std::wstring UnsafeEntryReason(const std::wstring& name);

// True for an archive that consists of nothing but its end record with no
// entries. minizip refuses to open those, though they are valid archives.
bool IsEmptyZipArchive(const std::string& bytes);

}  // namespace tov
