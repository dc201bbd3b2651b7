// What the archive reader leaves to its caller when it hands out an entry's
// data: whether those bytes are the ones the archive declares.
#pragma once
#include <cstdint>

namespace tov {

// The reader compares an entry's checksum only once every byte the archive
// declares has come out: a deflate stream that ends early, or stored data
// shorter than declared, reads to a clean end and closes without complaint.
// So an entry was read whole only when the count matches as well.
bool IsEntryReadWhole(uint64_t declaredSize, uint64_t bytesRead, bool checksumMatched);

}  // namespace tov
