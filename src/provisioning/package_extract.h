// Unpacks the client package into the client directory, entry by entry.
#pragma once
#include <functional>
#include <string>

// Called after each entry with "k/n" and its position.
using ExtractProgress = std::function<void(const std::wstring& text, int position)>;

// 1 when every entry was written, 0 at the first failure (files written so
// far stay). Entries that would land outside `clientDir`, names of 512 bytes
// or more, target paths beyond 260 characters, checksum mismatches and
// failed writes all fail the extraction.
[[nodiscard]] int ExtractPackage(const std::wstring& archivePath, const std::wstring& clientDir,
                   const ExtractProgress& progress);
