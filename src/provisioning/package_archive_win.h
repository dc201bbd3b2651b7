// The package archive on disk, held by one handle from the download to the
// end of the extraction, and the record of a partial download beside it.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "base/unique_handle.h"
#include "provisioning/partial_package.h"

// Opens `path` for reading and writing with no other writer allowed while
// it is held (readers may share). With `keep` an existing file is reopened
// as it is, to be continued; otherwise any old file is deleted and a new
// one created that only this user may open, where the file system keeps
// access lists. Null when it cannot be had.
tov::UniqueHandleK OpenPackageArchive(const std::wstring& path, bool keep);

// The file's length, -1 when it cannot be told.
int64_t FileLength(HANDLE file);

// The record beside `archivePath`; false when there is none or it is not
// one of ours.
bool ReadPartialRecord(const std::wstring& archivePath, tov::PartialRecord& record);
// Written whole or not at all; false when it could not be.
bool WritePartialRecord(const std::wstring& archivePath, const tov::PartialRecord& record);
void DeletePartialRecord(const std::wstring& archivePath);
