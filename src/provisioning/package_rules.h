// Plain rules of the package download and extraction.
#pragma once
#include <cstdint>
#include <functional>
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
// Besides names that climb out, Windows would send some names elsewhere or
// store them under another name: device names (CON, NUL, COM1, LPT1.txt ...)
// in any component, components ending in a dot or a blank (Windows drops
// those), components that look like a short-name alias ("~" and digits
// before the extension, BRAKMO~1.DLL), control characters and the
// characters Windows reserves.
std::wstring UnsafeEntryReason(const std::wstring& name);

// The bounds of a package: a zip of a few kilobytes can declare millions of
// entries or gigabytes of zeros, and the extraction would fill the disk or
// the folder before anything else stopped it.
inline constexpr uint64_t kMaxArchiveEntries = 200000;
inline constexpr uint64_t kRatioCheckedAbove = 1024 * 1024;
inline constexpr uint64_t kMaxCompressionRatio = 1000;
// Why a package of `entries` entries is refused; empty when it is not.
std::wstring ArchiveBoundReason(uint64_t entries);
// Why an entry is refused for the sizes it declares: one of more than
// 1 MiB that would unpack to more than 1000 times its stored size; empty
// when it is not.
std::wstring EntryBoundReason(uint64_t compressedSize, uint64_t uncompressedSize);
// What a download or an extraction leaves free on its volume: the larger
// of 1 GiB and 5 % of the volume, so the player's system keeps room to run.
uint64_t FreeSpaceReserve(uint64_t volumeBytes);

// Why the reader cannot unpack an entry stored with this compression method
// and these general-purpose flags; empty when it can. Only stored (0) and
// deflated (8) entries are decoded: the reader hands back the raw bytes of
// any other method without a word, and cannot decrypt.
std::wstring UndecodableEntryReason(uint16_t method, uint16_t flags);

// Maps a name to one spelling per letter as the file system compares them
// (upper case, by the system's own table where there is one).
using NameFold = std::function<std::wstring(const std::wstring&)>;

// The spelling that every name of one file shares, as Windows resolves a
// path: "/" and "\" alike, empty and "." components gone, trailing dots and
// blanks of a component dropped, letters folded by `fold` (null: case is
// folded letter by letter by the C library, a stand-in for hosts without
// the system's table).
std::wstring ComparableName(const std::wstring& path, const NameFold& fold);

// True for an archive that consists of nothing but its end record with no
// entries. minizip refuses to open those, though they are valid archives.
bool IsEmptyZipArchive(const std::string& bytes);

}  // namespace tov
