#include "provisioning/package_extract.h"

#include <windows.h>

#include <unzip.h>

#include <algorithm>
#include <cstring>
#include <unordered_set>
#include <utility>
#include <vector>

#include "base/exit_barrier.h"
#include "base/launcher_log.h"
#include "base/text_win.h"
#include "base/unique_handle.h"
#include "provisioning/archive_io_win.h"
#include "provisioning/entry_check.h"
#include "provisioning/flush_behind_win.h"
#include "provisioning/free_space_win.h"
#include "provisioning/ordered_writer.h"
#include "provisioning/package_rules.h"
#include "provisioning/version_file_win.h"
#include "provisioning/version_rules.h"

namespace {

constexpr const char* kOp = "CGameRemoteConfig::OnUnzipFile";
constexpr size_t kNameBuffer = 512;
constexpr uLong kUtf8NameFlag = 1u << 11;

// Files stay open after writing until they are flushed (FlushBehind), and an
// entry of the same name may come meanwhile.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Closes the archive on every way out.
struct ArchiveCloser {
  unzFile file;
  ~ArchiveCloser() {
    if (file) unzClose(file);
  }
};

// Whether a file system entry is a junction, a symbolic link or another
// reparse point itself, not what it may point to. One placed in the client
// folder by whoever else can write there would otherwise take the
// package's files wherever it points.
bool IsReparsePoint(HANDLE opened) {
  BY_HANDLE_FILE_INFORMATION info{};
  return ::GetFileInformationByHandle(opened, &info) &&
         (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// A folder's own attributes, read without following it: one call, where
// opening it would take three, and the only way Wine shows a link.
bool IsReparsePoint(const std::wstring& folder) {
  DWORD attributes = ::GetFileAttributesW(folder.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

void LogReparsePoint(const std::wstring& path) { LOG_ERROR(L"refused entry (reparse point): " + path, kOp); }

// The directories below the client directory that this extraction has made
// or found, so a package of many files in few directories asks the file
// system once per directory rather than once per file and level.
class DirectoryMaker {
 public:
  explicit DirectoryMaker(const std::wstring& root) : m_root(root) {}

  // Creates every missing directory of `relative` below the root (which
  // exists); the last component too when `includeLast`. False (logged)
  // when one that exists is a reparse point.
  bool CreateParents(const std::wstring& relative, bool includeLast) {
    size_t pos = 0;
    for (;;) {
      size_t sep = relative.find_first_of(L"/\\", pos);
      if (sep == std::wstring::npos) return !includeLast || relative.empty() || Make(relative);
      if (sep > 0 && !Make(relative.substr(0, sep))) return false;
      pos = sep + 1;
    }
  }

 private:
  bool Make(const std::wstring& relative) {
    // "a/b" and "a\\b" are the same directory.
    std::wstring key = relative;
    for (wchar_t& c : key) {
      if (c == L'/') c = L'\\';
    }
    if (m_made.count(key)) return true;
    std::wstring path = m_root + L"\\" + key;
    if (::CreateDirectoryW(path.c_str(), nullptr)) {
      m_made.insert(key);
    } else if (::GetLastError() == ERROR_ALREADY_EXISTS) {
      if (IsReparsePoint(path)) {
        LogReparsePoint(path);
        return false;
      }
      m_made.insert(key);
    }
    return true;
  }

  std::wstring m_root;
  std::unordered_set<std::wstring> m_made;
};

// Entries up to this size are read whole and written by the background
// writer; larger ones are streamed to disk from this thread.
constexpr ZPOS64_T kQueuedEntryLimit = 1024 * 1024;
// What the writers may have waiting. Measured with 20,000 small files: 4 MiB
// keeps the writers as busy as 16 MiB did, at 13 MiB less working set.
constexpr size_t kQueueBudget = 4 * 1024 * 1024;
constexpr size_t kWriters = 2;
constexpr size_t kFlushers = 4;
constexpr size_t kFlushWaiting = 256;

// Reads the current entry to its end into `out` (or writes it to `file`,
// flushed); Unpacked only when every byte arrived and checked out.
ExtractResult ReadEntry(unzFile zip, ZPOS64_T declaredSize, const std::wstring& target, std::vector<char>* out,
                        HANDLE file) {
  tov::EntryStream stream;
  stream.read = [zip](char* buffer, unsigned size) { return unzReadCurrentFile(zip, buffer, size); };
  stream.close = [zip] { return unzCloseCurrentFile(zip) != UNZ_CRCERROR; };
  // A large entry takes a while: the launcher's close stops it here.
  stream.stopped = [] { return tov::ProcessExitBarrier().Closed(); };
  if (out) {
    stream.keep = [out](const char* data, size_t size) {
      out->insert(out->end(), data, data + size);
      return true;
    };
  } else {
    stream.keep = [file, &target](const char* data, size_t size) {
      DWORD written = 0;
      // A full disk must not leave a short file that later counts as installed.
      if (::WriteFile(file, data, static_cast<DWORD>(size), &written, nullptr) && written == size) return true;
      LOG_ERROR(L"write failed: " + target, kOp);
      return false;
    };
    // On disk before the version file says the client is whole.
    stream.settle = [file, &target] {
      if (::FlushFileBuffers(file)) return true;
      LOG_ERROR(L"write failed: " + target, kOp);
      return false;
    };
  }
  switch (tov::ReadEntryToEnd(stream, declaredSize)) {
    case tov::EntryRead::Whole: return ExtractResult::Unpacked;
    case tov::EntryRead::NotKept: return ExtractResult::WriteFailed;
    case tov::EntryRead::Stopped: return ExtractResult::Stopped;
    case tov::EntryRead::ChecksumMismatch: LOG_ERROR(L"crc error: " + target, kOp); break;
    case tov::EntryRead::Short: LOG_ERROR(L"entry shorter than declared: " + target, kOp); break;
    case tov::EntryRead::Undecodable: break;
  }
  return ExtractResult::Unreadable;
}

// Creates or empties an entry's file. A link or junction of its name is
// opened itself, never followed, and refused (logged): an emptied link
// harms nothing it points to.
tov::UniqueHandleK CreateEntryFile(const std::wstring& target, bool* refused) {
  tov::UniqueHandleK out(::CreateFileW(target.c_str(), GENERIC_WRITE | FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                       CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                                       nullptr));
  *refused = out && IsReparsePoint(out.get());
  if (*refused) {
    LogReparsePoint(target);
    out.reset();
  }
  return out;
}

ExtractResult StreamEntry(unzFile zip, ZPOS64_T declaredSize, const std::wstring& target) {
  if (unzOpenCurrentFile(zip) != UNZ_OK) return ExtractResult::Unreadable;
  bool refused = false;
  tov::UniqueHandleK out = CreateEntryFile(target, &refused);
  if (!out) {
    if (!refused) LOG_ERROR(L"write failed: " + target, kOp);
    unzCloseCurrentFile(zip);
    return refused ? ExtractResult::Refused : ExtractResult::WriteFailed;
  }
  return ReadEntry(zip, declaredSize, target, nullptr, out.get());
}

bool WriteWholeFile(const tov::OrderedWriter::Job& job, FlushBehind& flusher) {
  // After the close the writers drop what waits, as after a failed write.
  if (tov::ProcessExitBarrier().Closed()) return false;
  bool refused = false;
  tov::UniqueHandleK out = CreateEntryFile(job.target, &refused);
  if (!out) return false;
  // In the same blocks as a streamed entry, as the decompressor gave them.
  size_t done = 0;
  while (done < job.data.size()) {
    DWORD chunk = static_cast<DWORD>(std::min(job.data.size() - done, tov::kEntryBlock));
    DWORD written = 0;
    if (!::WriteFile(out.get(), job.data.data() + done, chunk, &written, nullptr) || written != chunk) {
      return false;
    }
    done += written;
  }
  // On disk before the version file says the client is whole.
  flusher.Hand(std::move(out), job.target);
  return true;
}

// The current entry's header; false when it cannot be read. The name
// buffer always keeps a NUL at its end, however long the stored name.
bool ReadEntryInfo(unzFile zip, unz_file_info64* info, char (&name)[kNameBuffer]) {
  std::memset(name, 0, sizeof name);
  return unzGetCurrentFileInfo64(zip, info, name, sizeof name - 1, nullptr, 0, nullptr, 0) == UNZ_OK;
}

// The stored name's bytes as far as the buffer holds them.
std::string StoredName(const unz_file_info64& info, const char (&name)[kNameBuffer]) {
  return std::string(name, std::min<size_t>(info.size_filename, kNameBuffer - 1));
}

std::wstring EntryName(const unz_file_info64& info, const char (&name)[kNameBuffer]) {
  return DecodeText(StoredName(info, name), (info.flag & kUtf8NameFlag) ? CP_UTF8 : CP_THREAD_ACP);
}

// Whether the entry would put something where the version file belongs: the
// file itself, or a folder of its name that would keep it from being written.
bool IsVersionFileEntry(const std::wstring& entry) {
  // Never destroyed: a worker still reading the archive when the process
  // ends would otherwise compare with a string the exit has freed.
  static const std::wstring* marker =
      new std::wstring(tov::ComparableName(tov::kVersionFileName, FileSystemUpperCase));
  std::wstring name = tov::ComparableName(entry, FileSystemUpperCase);
  return name.compare(0, name.find(L'\\'), *marker) == 0;
}

// Whether an entry may not be unpacked at all, judged from its header
// alone; the reason is logged.
bool RefuseEntryHeader(const unz_file_info64& info, const std::wstring& entry) {
  std::wstring bound = tov::EntryBoundReason(info.compressed_size, info.uncompressed_size);
  if (!bound.empty()) {
    LOG_ERROR(L"refused entry (" + bound + L"): " + entry, kOp);
    return true;
  }
  std::wstring undecodable = tov::UndecodableEntryReason(static_cast<uint16_t>(info.compression_method),
                                                         static_cast<uint16_t>(info.flag));
  if (!undecodable.empty()) {
    LOG_ERROR(L"cannot unpack " + entry + L": " + undecodable, kOp);
    return true;
  }
  if (IsVersionFileEntry(entry)) {
    LOG_ERROR(L"refused entry (version file): " + entry, kOp);
    return true;
  }
  return false;
}

// One pass over the central directory before anything is written: every
// entry must be one the reader can decode and none may stand for the
// version file, and the files' sizes add up to the room they need. Leaves
// the archive on its first entry. Entry data is not read.
ExtractResult SurveyEntries(unzFile zip, ZPOS64_T total, uint64_t* bytes) {
  *bytes = 0;
  for (ZPOS64_T k = 1; k <= total; ++k) {
    unz_file_info64 info{};
    char name[kNameBuffer];
    if (!ReadEntryInfo(zip, &info, name)) return ExtractResult::Unreadable;
    if (RefuseEntryHeader(info, EntryName(info, name))) return ExtractResult::Refused;
    *bytes = info.uncompressed_size > UINT64_MAX - *bytes ? UINT64_MAX : *bytes + info.uncompressed_size;
    if (k < total && unzGoToNextFile(zip) != UNZ_OK) return ExtractResult::Unreadable;
  }
  return total == 0 || unzGoToFirstFile(zip) == UNZ_OK ? ExtractResult::Unpacked : ExtractResult::Unreadable;
}

bool IsEmptyArchive(HANDLE file) {
  std::string bytes(22 + 0xFFFF + 1, '\0');
  OVERLAPPED start{};
  DWORD n = 0;
  if (!::ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &n, &start) &&
      ::GetLastError() != ERROR_HANDLE_EOF) {
    return false;
  }
  bytes.resize(n);
  return tov::IsEmptyZipArchive(bytes);
}

bool IsEmptyArchiveFile(const std::wstring& path) {
  tov::UniqueHandleK file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
  return file && IsEmptyArchive(file.get());
}

ExtractResult Extract(const void* name, zlib_filefunc64_def& io, const std::function<bool()>& isEmpty,
                      const std::wstring& clientDir, const ExtractProgress& progress,
                      const FreeSpaceProbe& freeSpace);

}  // namespace

ExtractResult ExtractPackage(const std::wstring& archivePath, const std::wstring& clientDir,
                             const ExtractProgress& progress, const FreeSpaceProbe& freeSpace) {
  zlib_filefunc64_def io;
  FillReadAheadWin32FileFunc64W(&io);
  return Extract(archivePath.c_str(), io, [&] { return IsEmptyArchiveFile(archivePath); }, clientDir,
                 progress, freeSpace);
}

ExtractResult ExtractPackageFrom(HANDLE archiveFile, const std::wstring& clientDir,
                                 const ExtractProgress& progress, const FreeSpaceProbe& freeSpace) {
  zlib_filefunc64_def io;
  FillBorrowedHandleFileFunc64(&io);
  return Extract(&archiveFile, io, [&] { return IsEmptyArchive(archiveFile); }, clientDir, progress,
                 freeSpace);
}

namespace {

// The archive as a whole, before anything is written: readable, within
// the bounds, into a folder that is no link, with room for its files; then
// the old version file goes. Leaves the archive on its first entry.
ExtractResult Prepare(unzFile zip, const std::wstring& clientDir, const FreeSpaceProbe& freeSpace,
                      ZPOS64_T* total) {
  unz_global_info64 global{};
  if (unzGetGlobalInfo64(zip, &global) != UNZ_OK) {
    LOG_ERROR(L"unzGetGlobalInfo is error!", kOp);
    return ExtractResult::Unreadable;
  }
  *total = global.number_entry;
  std::wstring bound = tov::ArchiveBoundReason(*total);
  if (!bound.empty()) {
    LOG_ERROR(L"refused package (" + bound + L")", kOp);
    return ExtractResult::Refused;
  }
  if (IsReparsePoint(clientDir)) {
    LogReparsePoint(clientDir);
    return ExtractResult::Refused;
  }
  uint64_t need = 0;
  ExtractResult surveyed = SurveyEntries(zip, *total, &need);
  if (surveyed != ExtractResult::Unpacked) return surveyed;
  if (!HasRoomFor(clientDir, need, freeSpace, kOp)) return ExtractResult::NoRoom;
  // From here on the client's files change: until the new version file is
  // written after the last of them, no version may pass for current.
  if (!RemoveVersionFile(clientDir)) {
    LOG_ERROR(L"cannot remove " + clientDir + L"\\" + tov::kVersionFileName, kOp);
    return ExtractResult::WriteFailed;
  }
  return ExtractResult::Unpacked;
}

// The entries of a prepared archive written into the client directory, one
// after the other in archive order.
class EntryWriter {
 public:
  EntryWriter(unzFile zip, const std::wstring& clientDir)
      : m_zip(zip),
        m_clientDir(clientDir),
        m_directories(clientDir),
        m_flusher(kFlushers, kFlushWaiting),
        m_writer([this](const tov::OrderedWriter::Job& job) { return WriteWholeFile(job, m_flusher); },
                 kWriters, kQueueBudget, FileSystemUpperCase) {}

  // The current entry, checked and written (or queued to be).
  ExtractResult Write() {
    unz_file_info64 info{};
    char name[kNameBuffer];
    if (!ReadEntryInfo(m_zip, &info, name)) return ExtractResult::Unreadable;
    if (info.size_filename >= kNameBuffer) {
      LOG_ERROR(L"entry name too long: " + DecodeText(name, CP_THREAD_ACP), kOp);
      return ExtractResult::Refused;
    }
    std::wstring entry = EntryName(info, name);
    LOG_INFO(entry, kOp);
    std::wstring target;
    if (!IsSafeTarget(info, name, entry, &target)) return ExtractResult::Refused;
    bool isDirectory = info.size_filename > 0 && name[info.size_filename - 1] == '/';
    // Many tools write no directory entries; the parents are made here.
    if (!m_directories.CreateParents(entry, isDirectory)) return ExtractResult::Refused;
    if (isDirectory) return ExtractResult::Unpacked;
    return info.uncompressed_size <= kQueuedEntryLimit ? Queue(target, info.uncompressed_size)
                                                       : Stream(target, info.uncompressed_size);
  }

  // Every file queued so far written and flushed.
  ExtractResult Finish() {
    return m_writer.Finish() && m_flusher.Finish() ? ExtractResult::Unpacked : WriteFailed();
  }

 private:
  // A NUL inside the stored name would cut it short of what was checked.
  bool IsSafeTarget(const unz_file_info64& info, const char (&name)[kNameBuffer], const std::wstring& entry,
                    std::wstring* target) {
    std::wstring unsafe = StoredName(info, name).find('\0') != std::string::npos
                              ? L"control character"
                              : tov::UnsafeEntryReason(entry);
    if (!unsafe.empty()) {
      LOG_ERROR(L"refused entry (" + unsafe + L"): " + entry, kOp);
      return false;
    }
    *target = m_clientDir + L"\\" + entry;
    if (target->size() < MAX_PATH) return true;
    LOG_ERROR(L"entry path too long: " + entry, kOp);
    return false;
  }

  ExtractResult Queue(const std::wstring& target, ZPOS64_T size) {
    tov::OrderedWriter::Job job{target, {}};
    job.data.reserve(static_cast<size_t>(size));
    if (unzOpenCurrentFile(m_zip) != UNZ_OK) return ExtractResult::Unreadable;
    ExtractResult read = ReadEntry(m_zip, size, target, &job.data, nullptr);
    if (read != ExtractResult::Unpacked) return read;
    return m_writer.Queue(std::move(job)) ? ExtractResult::Unpacked : WriteFailed();
  }

  ExtractResult Stream(const std::wstring& target, ZPOS64_T size) {
    // Earlier files first, so one of the same name never overwrites this.
    if (!m_writer.Finish()) return WriteFailed();
    return StreamEntry(m_zip, size, target);
  }

  // A file the writer could not write ends the extraction; the entries read
  // after it were never written. One that could not be flushed shows at the
  // end.
  ExtractResult WriteFailed() {
    if (tov::ProcessExitBarrier().Closed()) return ExtractResult::Stopped;
    std::wstring target = m_writer.FailedTarget();
    LOG_ERROR(L"write failed: " + (target.empty() ? m_flusher.FailedTarget() : target), kOp);
    return ExtractResult::WriteFailed;
  }

  unzFile m_zip;
  const std::wstring& m_clientDir;
  DirectoryMaker m_directories;
  FlushBehind m_flusher;  // outlives the writers, which hand it files
  tov::OrderedWriterPool m_writer;
};

ExtractResult Extract(const void* name, zlib_filefunc64_def& io, const std::function<bool()>& isEmpty,
                      const std::wstring& clientDir, const ExtractProgress& progress,
                      const FreeSpaceProbe& freeSpace) {
  ArchiveCloser archive{unzOpen2_64(name, &io)};
  if (!archive.file) {
    if (isEmpty()) return ExtractResult::Unpacked;
    LOG_ERROR(L"zipfile is NULL!", kOp);
    return ExtractResult::Unreadable;
  }
  ZPOS64_T total = 0;
  ExtractResult result = Prepare(archive.file, clientDir, freeSpace, &total);
  if (result != ExtractResult::Unpacked) return result;
  EntryWriter writer(archive.file, clientDir);
  for (ZPOS64_T k = 1; k <= total; ++k) {
    if (tov::ProcessExitBarrier().Closed()) return ExtractResult::Stopped;
    result = writer.Write();
    if (result != ExtractResult::Unpacked) return result;
    if (k < total && unzGoToNextFile(archive.file) != UNZ_OK) return ExtractResult::Unreadable;
    // The last step reads 100%: by then every file is on disk.
    if (k == total && (result = writer.Finish()) != ExtractResult::Unpacked) return result;
    tov::ProgressStep step = tov::UnzipProgress(k, total);
    if (progress) progress(step.text, step.position);
  }
  return ExtractResult::Unpacked;
}

}  // namespace
