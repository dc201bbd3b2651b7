#include "provisioning/entry_check.h"

#include <vector>

namespace tov {

bool IsEntryReadWhole(uint64_t declaredSize, uint64_t bytesRead, bool checksumMatched) {
  return checksumMatched && bytesRead == declaredSize;
}

EntryRead ReadEntryToEnd(const EntryStream& stream, uint64_t declaredSize) {
  EntryRead result = EntryRead::Whole;
  uint64_t read = 0;
  std::vector<char> buffer(kEntryBlock);
  for (;;) {
    if (stream.stopped && stream.stopped()) {
      result = EntryRead::Stopped;
      break;
    }
    int n = stream.read(buffer.data(), static_cast<unsigned>(buffer.size()));
    if (n == 0) break;
    if (n < 0) {
      result = EntryRead::Undecodable;
      break;
    }
    read += static_cast<uint64_t>(n);
    if (!stream.keep(buffer.data(), static_cast<size_t>(n))) {
      result = EntryRead::NotKept;
      break;
    }
  }
  if (result == EntryRead::Whole && stream.settle && !stream.settle()) result = EntryRead::NotKept;
  // The checksum is only known once the entry has been read to its end.
  const bool checksumMatched = stream.close();
  if (result == EntryRead::Whole && !IsEntryReadWhole(declaredSize, read, checksumMatched)) {
    result = checksumMatched ? EntryRead::Short : EntryRead::ChecksumMismatch;
  }
  return result;
}

}  // namespace tov
