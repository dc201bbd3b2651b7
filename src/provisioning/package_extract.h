// Unpacks the client package into the client directory, entry by entry.
#pragma once
#include <windows.h>

#include <functional>
#include <string>

#include "provisioning/extract_result.h"
#include "provisioning/free_space.h"

// Called after each entry with "k/n" and its position.
using ExtractProgress = std::function<void(const std::wstring& text, int position)>;

// Unpacked when every entry was written, otherwise the first failure (files
// written so far stay). Entries that would land outside `clientDir` or on a device,
// names of 512 bytes or more, target paths beyond 260 characters, checksum
// mismatches and failed writes all fail the extraction. Before anything is
// written, an archive fails whole when an entry is stored in a way the
// reader cannot decode (any method but stored and deflated, encryption) or
// stands for the version file, or when its files need more room than
// `freeSpace` (null: the volume's own figure) finds; then the version file
// is removed, to be written anew only after a complete install. Every file
// is flushed to disk before the result is Unpacked.
ExtractResult ExtractPackage(const std::wstring& archivePath, const std::wstring& clientDir,
                             const ExtractProgress& progress, const FreeSpaceProbe& freeSpace = nullptr);

// The same, read through `archiveFile`, a handle the caller keeps open for
// reading (and left open): the bytes unpacked are those the caller wrote
// and checked through it.
ExtractResult ExtractPackageFrom(HANDLE archiveFile, const std::wstring& clientDir,
                                 const ExtractProgress& progress, const FreeSpaceProbe& freeSpace = nullptr);
