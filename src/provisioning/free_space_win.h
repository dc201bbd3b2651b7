// The free space of the volume a download or an extraction is about to fill.
#pragma once
#include <cstdint>
#include <string>

#include "provisioning/free_space.h"

// The volume's own figure (GetDiskFreeSpaceExW, quotas included), asked of
// `folder` or, while that does not exist, of the nearest folder above it;
// with its size when `volumeBytes` is given.
bool VolumeFreeSpace(const std::wstring& folder, uint64_t* freeBytes, uint64_t* volumeBytes = nullptr);

// Whether `need` bytes fit on the volume of `folder` by `probe` (null: the
// volume's own figure) with the reserve (tov::FreeSpaceReserve) left over.
// A figure that cannot be had lets the work go on, as before there was a
// check; too little is logged as an ERROR of `operation` naming the
// numbers, the reserve among them when it is what does not fit.
bool HasRoomFor(const std::wstring& folder, uint64_t need, const FreeSpaceProbe& probe,
                const char* operation);
