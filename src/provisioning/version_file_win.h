// The installed client's version file, the marker that says the client in
// its folder is whole and of that version. The version check reads it at
// every start, and a marker over a half-written client would be taken as
// current for good, so it is never present while the client's files change.
#pragma once
#include <string>

// Removes the marker before the first file of an update is written: renamed
// aside with write-through (so the removal is on disk before any of the new
// files), then deleted. True when no marker is left.
[[nodiscard]] bool RemoveVersionFile(const std::wstring& clientDir);

// Puts `text` (bytes as they are, no line end added) in place as the
// marker: written to a file of its own, flushed, then moved over the old
// marker with write-through, so the marker is either absent or whole. To
// be called once the client's files are on disk. True when it is in place.
[[nodiscard]] bool WriteVersionFile(const std::wstring& clientDir, const std::string& text);
