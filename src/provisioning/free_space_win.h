// The free space of the volume a download or an extraction is about to fill.
#pragma once
#include <cstdint>
#include <string>

#include "provisioning/free_space.h"

// The volume's own figure (GetDiskFreeSpaceExW, quotas included), asked of
// `folder` or, while that does not exist, of the nearest folder above it.
bool VolumeFreeSpace(const std::wstring& folder, uint64_t* freeBytes);

// Whether `need` bytes fit on the volume of `folder` by `probe` (null: the
// volume's own figure). A figure that cannot be had lets the work go on, as
// before there was a check; too little is logged as an ERROR of `operation`
// naming both numbers.
bool HasRoomFor(const std::wstring& folder, uint64_t need, const FreeSpaceProbe& probe,
                const char* operation);
