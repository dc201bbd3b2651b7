#include "provisioning/archive_io_win.h"

#include <iowin32.h>

#include <memory>

#include "provisioning/read_ahead.h"

namespace {

// Big enough for the central directory of a few hundred entries, or a small
// entry with its local header, in one read.
constexpr size_t kWindow = 256 * 1024;

const zlib_filefunc64_def& Inner() {
  static const zlib_filefunc64_def inner = [] {
    zlib_filefunc64_def def{};
    fill_win32_filefunc64W(&def);
    return def;
  }();
  return inner;
}

struct Stream {
  explicit Stream(voidpf file)
      : inner(file),
        reader(
            [this](uint64_t offset, void* out, size_t size) -> int64_t {
              const zlib_filefunc64_def& io = Inner();
              if (io.zseek64_file(io.opaque, inner, offset, ZLIB_FILEFUNC_SEEK_SET) != 0) return -1;
              uLong n = io.zread_file(io.opaque, inner, out, static_cast<uLong>(size));
              if (n == 0 && io.zerror_file(io.opaque, inner) != 0) return -1;
              return static_cast<int64_t>(n);
            },
            kWindow) {}

  voidpf inner;
  tov::ReadAhead reader;
};

voidpf ZCALLBACK Open(voidpf, const void* name, int mode) noexcept {
  // Only reading goes through the window; nothing here writes archives.
  if ((mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) != ZLIB_FILEFUNC_MODE_READ) return nullptr;
  const zlib_filefunc64_def& io = Inner();
  voidpf file = io.zopen64_file(io.opaque, name, mode);
  if (!file) return nullptr;
  try {
    return new Stream(file);
  } catch (...) {
    io.zclose_file(io.opaque, file);
    return nullptr;  // no window for it: the archive cannot be opened
  }
}

uLong ZCALLBACK Read(voidpf, voidpf stream, void* out, uLong size) noexcept {
  return static_cast<uLong>(static_cast<Stream*>(stream)->reader.Read(out, size));
}

uLong ZCALLBACK Write(voidpf, voidpf, const void*, uLong) noexcept { return 0; }

ZPOS64_T ZCALLBACK Tell(voidpf, voidpf stream) noexcept { return static_cast<Stream*>(stream)->reader.Tell(); }

long ZCALLBACK Seek(voidpf, voidpf stream, ZPOS64_T offset, int origin) noexcept {
  Stream* s = static_cast<Stream*>(stream);
  switch (origin) {
    case ZLIB_FILEFUNC_SEEK_SET:
      s->reader.Seek(offset);
      return 0;
    case ZLIB_FILEFUNC_SEEK_CUR:
      s->reader.Seek(s->reader.Tell() + offset);
      return 0;
    case ZLIB_FILEFUNC_SEEK_END: {
      // The size comes from the file itself; reads reposition it anyway.
      const zlib_filefunc64_def& io = Inner();
      if (io.zseek64_file(io.opaque, s->inner, offset, ZLIB_FILEFUNC_SEEK_END) != 0) return -1;
      s->reader.Seek(io.ztell64_file(io.opaque, s->inner));
      return 0;
    }
    default:
      return -1;
  }
}

int ZCALLBACK Close(voidpf, voidpf stream) noexcept {
  std::unique_ptr<Stream> s(static_cast<Stream*>(stream));
  const zlib_filefunc64_def& io = Inner();
  return io.zclose_file(io.opaque, s->inner);
}

int ZCALLBACK TestError(voidpf, voidpf stream) noexcept {
  Stream* s = static_cast<Stream*>(stream);
  if (s->reader.Failed()) return -1;
  const zlib_filefunc64_def& io = Inner();
  return io.zerror_file(io.opaque, s->inner);
}

}  // namespace

void FillReadAheadWin32FileFunc64W(zlib_filefunc64_def* def) {
  def->zopen64_file = Open;
  def->zread_file = Read;
  def->zwrite_file = Write;
  def->ztell64_file = Tell;
  def->zseek64_file = Seek;
  def->zclose_file = Close;
  def->zerror_file = TestError;
  def->opaque = nullptr;
}
