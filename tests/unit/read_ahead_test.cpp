#include "provisioning/read_ahead.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>

namespace tov {

namespace {

// A file in memory that counts how often it is read and can be made to fail.
struct MemoryFile {
  explicit MemoryFile(size_t size) : bytes(size, '\0') {
    std::mt19937 rng(11);
    for (char& c : bytes) c = static_cast<char>(rng());
  }
  ReadAhead::Source AsSource() {
    return [this](uint64_t offset, void* out, size_t size) -> int64_t {
      ++reads;
      if (failFrom && offset >= failFrom) return -1;
      if (offset >= bytes.size()) return 0;
      // Like a pipe or a network file: never more than `chunk` at once.
      size_t n = std::min({size, bytes.size() - static_cast<size_t>(offset), chunk});
      if (failFrom) n = std::min<size_t>(n, failFrom - offset);
      std::memcpy(out, bytes.data() + offset, n);
      return static_cast<int64_t>(n);
    };
  }
  std::string bytes;
  int reads = 0;
  uint64_t failFrom = 0;
  size_t chunk = SIZE_MAX;
};

std::string ReadAt(ReadAhead& r, uint64_t at, size_t n) {
  r.Seek(at);
  std::string out(n, '\0');
  out.resize(r.Read(out.data(), n));
  return out;
}

}  // namespace

TEST(ReadAhead, RandomSeeksAndReadsSeeTheFileAsItIs) {
  for (size_t chunk : {size_t(SIZE_MAX), size_t(100)}) {
    MemoryFile file(10000);
    file.chunk = chunk;
    ReadAhead reader(file.AsSource(), 256);
    std::mt19937 rng(5);
    for (int i = 0; i < 3000; ++i) {
      uint64_t at = rng() % 10100;  // now and then past the end
      size_t n = rng() % (i % 10 == 0 ? 900 : 40);
      std::string expected = at < file.bytes.size() ? file.bytes.substr(at, n) : "";
      ASSERT_EQ(ReadAt(reader, at, n), expected) << "at " << at << " n " << n << " chunk " << chunk;
      ASSERT_EQ(reader.Tell(), at + expected.size());
    }
    EXPECT_FALSE(reader.Failed());
  }
}

TEST(ReadAhead, ByteByByteReadingTouchesTheFileOncePerWindow) {
  MemoryFile file(4096);
  ReadAhead reader(file.AsSource(), 1024);
  std::string seen;
  char c;
  while (reader.Read(&c, 1) == 1) seen += c;
  EXPECT_EQ(seen, file.bytes);
  // Four windows, and one read that finds the end.
  EXPECT_EQ(file.reads, 5);

  // Going back into the window costs nothing; large reads bypass it.
  file.reads = 0;
  EXPECT_EQ(ReadAt(reader, 1000, 8), file.bytes.substr(1000, 8));
  EXPECT_EQ(ReadAt(reader, 1010, 8), file.bytes.substr(1010, 8));
  EXPECT_EQ(file.reads, 1);
  EXPECT_EQ(ReadAt(reader, 5, 3000), file.bytes.substr(5, 3000));
  EXPECT_EQ(file.reads, 2);
}

TEST(ReadAhead, AFailingFileGivesShortReadsAndSaysSo) {
  MemoryFile file(4096);
  file.failFrom = 2048;
  ReadAhead reader(file.AsSource(), 512);
  EXPECT_EQ(ReadAt(reader, 0, 100), file.bytes.substr(0, 100));
  EXPECT_FALSE(reader.Failed());
  // A read running into the failing part delivers what came before it.
  EXPECT_EQ(ReadAt(reader, 2000, 100), file.bytes.substr(2000, 48));
  EXPECT_TRUE(reader.Failed());
  EXPECT_EQ(ReadAt(reader, 3000, 2000), "");

  // The end of the file is no failure.
  MemoryFile small(10);
  ReadAhead tail(small.AsSource(), 512);
  EXPECT_EQ(ReadAt(tail, 4, 100), small.bytes.substr(4));
  EXPECT_EQ(ReadAt(tail, 50, 4), "");
  EXPECT_FALSE(tail.Failed());
}

}  // namespace tov
