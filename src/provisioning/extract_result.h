// How an extraction of the client package ended.
#pragma once

// Every value but Unpacked is a failure, logged with its detail where it
// happened; the files written before it stay.
enum class [[nodiscard]] ExtractResult {
  Unpacked,     // every entry written and flushed (none for an empty archive)
  Unreadable,   // no archive, or a header or data the reader could not read or verify
  Refused,      // the package or an entry broke a rule of what may be unpacked
  NoRoom,       // the volume lacks the room the files need
  WriteFailed,  // a file or the old version file could not be written or removed
  Stopped,      // the launcher's close stopped it between files or blocks; not logged
};
