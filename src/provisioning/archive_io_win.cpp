#include "provisioning/archive_io_win.h"

#include <memory>

#include "provisioning/read_ahead.h"

namespace {

// Big enough for the central directory of a few hundred entries, or a small
// entry with its local header, in one read.
constexpr size_t kWindow = 256 * 1024;

struct Stream {
  Stream(HANDLE file, bool owned)
      : file(file),
        owned(owned),
        reader(
            [this](uint64_t offset, void* out, size_t size) -> int64_t {
              // Reads at an offset of their own: nothing depends on where
              // the handle's own position was left.
              OVERLAPPED where{};
              where.Offset = static_cast<DWORD>(offset);
              where.OffsetHigh = static_cast<DWORD>(offset >> 32);
              DWORD got = 0;
              if (!::ReadFile(this->file, out, static_cast<DWORD>(size), &got, &where)) {
                return ::GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
              }
              return static_cast<int64_t>(got);
            },
            kWindow) {}
  ~Stream() {
    if (owned) ::CloseHandle(file);
  }
  Stream(const Stream&) = delete;
  Stream& operator=(const Stream&) = delete;

  HANDLE file;
  bool owned;
  tov::ReadAhead reader;
};

voidpf Wrap(HANDLE file, bool owned) noexcept {
  try {
    return new Stream(file, owned);
  } catch (...) {
    if (owned) ::CloseHandle(file);
    return nullptr;  // no window for it: the archive cannot be opened
  }
}

bool IsReadOnly(int mode) {
  // Only reading goes through the window; nothing here writes archives.
  return (mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) == ZLIB_FILEFUNC_MODE_READ;
}

voidpf ZCALLBACK OpenPath(voidpf, const void* name, int mode) noexcept {
  if (!name || !IsReadOnly(mode)) return nullptr;
  HANDLE file = ::CreateFileW(static_cast<const wchar_t*>(name), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  return Wrap(file, true);
}

voidpf ZCALLBACK OpenBorrowed(voidpf, const void* name, int mode) noexcept {
  if (!name || !IsReadOnly(mode)) return nullptr;
  HANDLE file = *static_cast<const HANDLE*>(name);
  if (!file || file == INVALID_HANDLE_VALUE) return nullptr;
  return Wrap(file, false);
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
      LARGE_INTEGER size;
      if (!::GetFileSizeEx(s->file, &size)) return -1;
      s->reader.Seek(static_cast<uint64_t>(size.QuadPart) + offset);
      return 0;
    }
    default:
      return -1;
  }
}

int ZCALLBACK Close(voidpf, voidpf stream) noexcept {
  delete static_cast<Stream*>(stream);
  return 0;
}

int ZCALLBACK TestError(voidpf, voidpf stream) noexcept {
  return static_cast<Stream*>(stream)->reader.Failed() ? -1 : 0;
}

void Fill(zlib_filefunc64_def* def, open64_file_func open) {
  def->zopen64_file = open;
  def->zread_file = Read;
  def->zwrite_file = Write;
  def->ztell64_file = Tell;
  def->zseek64_file = Seek;
  def->zclose_file = Close;
  def->zerror_file = TestError;
  def->opaque = nullptr;
}

}  // namespace

void FillReadAheadWin32FileFunc64W(zlib_filefunc64_def* def) { Fill(def, OpenPath); }

void FillBorrowedHandleFileFunc64(zlib_filefunc64_def* def) { Fill(def, OpenBorrowed); }
