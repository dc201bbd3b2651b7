// Serves small reads at arbitrary positions of a file from larger reads.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace tov {

// The archive reader walks an archive's headers a byte or two at a time and
// seeks back and forth between the central directory and the entries; every
// one of those is a system call, and under Wine a costly one. This keeps a
// window of the file in memory and answers from it while it can.
class ReadAhead {
 public:
  // Reads up to `size` bytes at `offset` into `out`: the count read, 0 at
  // the end of the file, negative on failure.
  using Source = std::function<int64_t(uint64_t offset, void* out, size_t size)>;

  ReadAhead(Source source, size_t capacity);

  // Reads at the current position and moves past what was read. Fewer bytes
  // than asked for mean the end of the file or a failure (see Failed()).
  size_t Read(void* out, size_t size);
  void Seek(uint64_t position) { m_position = position; }
  uint64_t Tell() const { return m_position; }
  bool Failed() const { return m_bFailed; }

 private:
  // Reads straight into `out` until `size` bytes or the end; what it got.
  size_t ReadThrough(char* out, size_t size);
  bool Refill();

  Source m_source;
  std::vector<char> m_buffer;
  uint64_t m_bufferStart = 0;
  size_t m_bufferLength = 0;
  uint64_t m_position = 0;
  bool m_bFailed = false;
};

}  // namespace tov
