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

// Remembers the last progress report let through, so that one which would
// change nothing on screen can be left out: the panel applies a percentage
// text only when the bar's position changes, so a report with the position
// and phase of the last one shows nothing new whatever its text. Transfer
// callbacks fire far more often than the percentage moves, a package may
// hold tens of thousands of entries for 100 positions, and every panel
// update is a round trip to the window's thread.
class ProgressRepeatFilter {
 public:
  // True for the first report and whenever the position or the phase
  // (download or not) differs from the last one let through.
  bool IsNew(const ProgressStep& step, int isDownload);

 private:
  bool m_bShown = false;
  int m_position = 0;
  bool m_bDownload = false;
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
