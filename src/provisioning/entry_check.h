// What the archive reader leaves to its caller when it hands out an entry's
// data: whether those bytes are the ones the archive declares.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>

namespace tov {

// The reader compares an entry's checksum only once every byte the archive
// declares has come out: a deflate stream that ends early, or stored data
// shorter than declared, reads to a clean end and closes without complaint.
// So an entry was read whole only when the count matches as well.
bool IsEntryReadWhole(uint64_t declaredSize, uint64_t bytesRead, bool checksumMatched);

// The size of the blocks an entry's data is read and written in.
constexpr size_t kEntryBlock = 8192;

// An entry the reader has opened, and where its data goes.
struct EntryStream {
  // Decodes the next block into `buffer` (at most `size` bytes): its
  // length, 0 at the end, negative when the data cannot be decoded.
  std::function<int(char* buffer, unsigned size)> read;
  // Takes one block; false (logged by it) ends the read.
  std::function<bool(const char* data, size_t size)> keep;
  // After the last block was kept, before the entry is closed; false
  // (logged by it) fails the entry. May be empty.
  std::function<bool()> settle;
  // Closes the entry: false when its checksum did not match.
  std::function<bool()> close;
  // Asked before each block; true stops the read. May be empty.
  std::function<bool()> stopped;
};

enum class [[nodiscard]] EntryRead { Whole, Undecodable, NotKept, ChecksumMismatch, Short, Stopped };

// Reads an entry to its end and closes it, on every way out. Whole only
// when every block was kept and the data is exactly what the archive
// declares (its size and its checksum).
EntryRead ReadEntryToEnd(const EntryStream& stream, uint64_t declaredSize);

}  // namespace tov
