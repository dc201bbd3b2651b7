// Any bytes as the client package, read by the real minizip and zlib (built
// natively and instrumented for this) through the launcher's read-ahead
// window and the extraction's own read-to-end loop, the way the extraction
// reads a package: entry by entry in central-directory order, names into a
// 512-byte buffer, refused names and undecodable or unverified data ending
// the walk. Checked on top of the sanitizers (a crash, a leak or undefined
// behaviour anywhere in the reader is a fault; a checksum error is an
// expected outcome):
// - the read-ahead window hands minizip exactly the archive's bytes;
// - a name the extraction would use fits its buffer and stays below the
//   client directory;
// - the data of every entry the extraction would keep is exactly what the
//   archive declares: its size, and a CRC-32 recomputed here;
// - progress only moves forward, ending at 100.
#include <unzip.h>
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "fuzz_support.h"
#include "provisioning/entry_check.h"
#include "provisioning/package_rules.h"
#include "provisioning/read_ahead.h"

using tovfuzz::Check;

namespace {

constexpr size_t kNameBuffer = 512;
constexpr uLong kUtf8NameFlag = 1u << 11;

struct Archive {
  const uint8_t* data;
  size_t size;
  size_t window;  // the read-ahead capacity, small here so it refills often
};

// One open archive: the launcher's read-ahead in front of the memory.
struct Stream {
  explicit Stream(const Archive& a)
      : archive(a),
        reader(
            [this](uint64_t offset, void* out, size_t n) -> int64_t {
              if (offset >= archive.size) return 0;
              size_t take = std::min<uint64_t>(n, archive.size - offset);
              std::memcpy(out, archive.data + offset, take);
              return static_cast<int64_t>(take);
            },
            a.window) {}

  Archive archive;
  tov::ReadAhead reader;
};

voidpf ZCALLBACK Open(voidpf opaque, const void*, int mode) noexcept {
  if ((mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) != ZLIB_FILEFUNC_MODE_READ) return nullptr;
  return new Stream(*static_cast<const Archive*>(opaque));
}

uLong ZCALLBACK Read(voidpf, voidpf stream, void* out, uLong size) noexcept {
  Stream* s = static_cast<Stream*>(stream);
  uint64_t at = s->reader.Tell();
  size_t n = s->reader.Read(out, size);
  size_t available = at >= s->archive.size ? 0 : s->archive.size - at;
  Check(n == std::min<size_t>(size, available), "the read-ahead window gave a short read");
  Check(n == 0 || std::memcmp(out, s->archive.data + at, n) == 0, "the read-ahead window gave wrong bytes");
  Check(s->reader.Tell() == at + n, "the read-ahead window lost its position");
  return static_cast<uLong>(n);
}

uLong ZCALLBACK Write(voidpf, voidpf, const void*, uLong) noexcept { return 0; }

ZPOS64_T ZCALLBACK Tell(voidpf, voidpf stream) noexcept { return static_cast<Stream*>(stream)->reader.Tell(); }

long ZCALLBACK Seek(voidpf, voidpf stream, ZPOS64_T offset, int origin) noexcept {
  Stream* s = static_cast<Stream*>(stream);
  switch (origin) {
    case ZLIB_FILEFUNC_SEEK_SET: s->reader.Seek(offset); return 0;
    case ZLIB_FILEFUNC_SEEK_CUR: s->reader.Seek(s->reader.Tell() + offset); return 0;
    case ZLIB_FILEFUNC_SEEK_END: s->reader.Seek(s->archive.size + offset); return 0;
    default: return -1;
  }
}

int ZCALLBACK Close(voidpf, voidpf stream) noexcept {
  delete static_cast<Stream*>(stream);
  return 0;
}

int ZCALLBACK TestError(voidpf, voidpf stream) noexcept {
  return static_cast<Stream*>(stream)->reader.Failed() ? -1 : 0;
}

// The name as the extraction takes it: a C string, UTF-8 when flagged,
// otherwise in a single-byte code page.
std::wstring EntryName(const char* name, uLong flag) {
  size_t length = strnlen(name, kNameBuffer);
  if (flag & kUtf8NameFlag) return tovfuzz::WideFromBytes(reinterpret_cast<const uint8_t*>(name), length);
  std::wstring out;
  for (size_t i = 0; i < length; ++i) out += static_cast<wchar_t>(static_cast<unsigned char>(name[i]));
  return out;
}

// Reads the current file entry to its end through the extraction's own
// loop; true when the extraction would keep what it read.
bool ReadFileEntry(unzFile zip, const unz_file_info64& info) {
  if (!tov::UndecodableEntryReason(static_cast<uint16_t>(info.compression_method), static_cast<uint16_t>(info.flag))
           .empty()) {
    return false;
  }
  if (unzOpenCurrentFile(zip) != UNZ_OK) return false;
  uint64_t total = 0;
  uLong crc = crc32(0L, Z_NULL, 0);
  tov::EntryStream stream;
  stream.read = [zip](char* buffer, unsigned size) { return unzReadCurrentFile(zip, buffer, size); };
  stream.keep = [&](const char* data, size_t n) {
    Check(n <= tov::kEntryBlock, "the reader filled more than the buffer");
    crc = crc32(crc, reinterpret_cast<const Bytef*>(data), static_cast<uInt>(n));
    total += n;
    return true;
  };
  stream.close = [zip] { return unzCloseCurrentFile(zip) != UNZ_CRCERROR; };
  if (tov::ReadEntryToEnd(stream, info.uncompressed_size) != tov::EntryRead::Whole) return false;
  Check(total == info.uncompressed_size, "an entry of the wrong size would be kept");
  Check(crc == info.crc, "an entry whose checksum does not match would be kept");
  return true;
}

void Walk(unzFile zip, const std::string& bytes) {
  unz_global_info64 global{};
  if (unzGetGlobalInfo64(zip, &global) != UNZ_OK) return;
  if (tov::IsEmptyZipArchive(bytes)) Check(global.number_entry == 0, "an empty archive holds entries");
  const ZPOS64_T total = global.number_entry;
  int lastPosition = -1;
  for (ZPOS64_T k = 1; k <= total; ++k) {
    unz_file_info64 info{};
    char name[kNameBuffer];
    std::memset(name, 0x5a, sizeof name);
    if (unzGetCurrentFileInfo64(zip, &info, name, sizeof name, nullptr, 0, nullptr, 0) != UNZ_OK) return;
    if (info.size_filename >= kNameBuffer) return;  // refused, not cut
    Check(name[info.size_filename] == '\0', "the name is not terminated where its size says");

    std::wstring entry = EntryName(name, info.flag);
    if (!tov::UnsafeEntryReason(entry).empty()) return;
    Check(tovfuzz::StaysBelowDirectory(entry), "an entry name that leaves the client directory was let through",
          entry);
    bool isDirectory = info.size_filename > 0 && name[info.size_filename - 1] == '/';
    if (!isDirectory && !ReadFileEntry(zip, info)) return;

    if (k < total && unzGoToNextFile(zip) != UNZ_OK) return;
    tov::ProgressStep step = tov::UnzipProgress(k, total);
    Check(step.position >= lastPosition && step.position <= 100, "progress went back or past 100", step.text);
    Check(k != total || step.position == 100, "the last entry does not show 100", step.text);
    lastPosition = step.position;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  // The window's size comes from the last byte, so the refill paths are
  // taken as well as the one of the launcher's 256 KiB window.
  Archive archive{data, size, size ? 1u + data[size - 1] * 4u : 1u};
  zlib_filefunc64_def io{};
  io.zopen64_file = Open;
  io.zread_file = Read;
  io.zwrite_file = Write;
  io.ztell64_file = Tell;
  io.zseek64_file = Seek;
  io.zclose_file = Close;
  io.zerror_file = TestError;
  io.opaque = &archive;
  unzFile zip = unzOpen2_64("bm.zip", &io);
  if (!zip) return 0;
  Walk(zip, bytes);
  unzClose(zip);
  return 0;
}
