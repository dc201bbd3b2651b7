#include "provisioning/read_ahead.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace tov {

ReadAhead::ReadAhead(Source source, size_t capacity)
    : m_source(std::move(source)), m_buffer(std::max<size_t>(capacity, 1)) {}

size_t ReadAhead::Read(void* out, size_t size) {
  char* dst = static_cast<char*>(out);
  size_t done = 0;
  while (done < size) {
    if (m_position >= m_bufferStart && m_position < m_bufferStart + m_bufferLength) {
      size_t offset = static_cast<size_t>(m_position - m_bufferStart);
      size_t n = std::min(size - done, m_bufferLength - offset);
      std::memcpy(dst + done, m_buffer.data() + offset, n);
      done += n;
      m_position += n;
      continue;
    }
    // Large reads (entry data) gain nothing from a copy through the window.
    if (size - done >= m_buffer.size()) {
      size_t n = ReadThrough(dst + done, size - done);
      done += n;
      break;
    }
    if (!Refill()) break;
  }
  return done;
}

size_t ReadAhead::ReadThrough(char* out, size_t size) {
  size_t done = 0;
  while (done < size) {
    int64_t n = m_source(m_position, out + done, size - done);
    if (n < 0) m_bFailed = true;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
    m_position += static_cast<uint64_t>(n);
  }
  return done;
}

bool ReadAhead::Refill() {
  m_bufferStart = m_position;
  m_bufferLength = 0;
  int64_t n = m_source(m_position, m_buffer.data(), m_buffer.size());
  if (n < 0) m_bFailed = true;
  if (n <= 0) return false;
  m_bufferLength = std::min(static_cast<size_t>(n), m_buffer.size());
  return true;
}

}  // namespace tov
