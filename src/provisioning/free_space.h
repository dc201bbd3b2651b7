// How much room the volume of a folder has left.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

// Free bytes available to this user on the volume that holds `folder`, and
// the volume's size; false when that cannot be told. The folder need not
// exist yet: the nearest folder above it that does stands for it.
using FreeSpaceProbe =
    std::function<bool(const std::wstring& folder, uint64_t* freeBytes, uint64_t* volumeBytes)>;
