#include "provisioning/package_archive_win.h"

#include <sddl.h>

#include <memory>
#include <vector>

namespace {

struct LocalFreeDeleter {
  void operator()(void* p) const noexcept { ::LocalFree(p); }
};

// "Full access for the user running the launcher, nobody else": the folder
// above may let other local accounts write, and the archive must not change
// between its check and its extraction. Null when the user's identity
// cannot be read; the file then takes the folder's inherited list.
std::unique_ptr<void, LocalFreeDeleter> OwnerOnlyDescriptor() {
  tov::UniqueHandleK token;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) return nullptr;
  DWORD size = 0;
  ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
  if (size == 0) return nullptr;
  std::vector<unsigned char> buffer(size);
  if (!::GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size)) return nullptr;
  wchar_t* sid = nullptr;
  if (!::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &sid)) return nullptr;
  std::unique_ptr<void, LocalFreeDeleter> sidText(sid);
  std::wstring sddl = L"D:P(A;;FA;;;" + std::wstring(sid) + L")";
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor,
                                                              nullptr)) {
    return nullptr;
  }
  return std::unique_ptr<void, LocalFreeDeleter>(descriptor);
}

std::wstring RecordPath(const std::wstring& archivePath) { return archivePath + tov::kPartialRecordSuffix; }

}  // namespace

tov::UniqueHandleK OpenPackageArchive(const std::wstring& path, bool keep) {
  constexpr DWORD kAccess = GENERIC_READ | GENERIC_WRITE;
  if (keep) {
    tov::UniqueHandleK file(::CreateFileW(path.c_str(), kAccess, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) return file;
  }
  // A new file, not an old one truncated: an existing file keeps whatever
  // access list it was given, by us or by someone else.
  ::DeleteFileW(path.c_str());
  auto descriptor = OwnerOnlyDescriptor();
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.get(), FALSE};
  return tov::UniqueHandleK(::CreateFileW(path.c_str(), kAccess, FILE_SHARE_READ,
                                          descriptor ? &attributes : nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
}

int64_t FileLength(HANDLE file) {
  LARGE_INTEGER size;
  return ::GetFileSizeEx(file, &size) ? static_cast<int64_t>(size.QuadPart) : -1;
}

bool ReadPartialRecord(const std::wstring& archivePath, tov::PartialRecord& record) {
  tov::UniqueHandleK file(::CreateFileW(RecordPath(archivePath).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  std::string text(16 * 1024 + 1, '\0');
  DWORD n = 0;
  if (!::ReadFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &n, nullptr)) return false;
  text.resize(n);
  return tov::ParsePartialRecord(text, record);
}

bool WritePartialRecord(const std::wstring& archivePath, const tov::PartialRecord& record) {
  // Beside it first, then in its place: a record cut short by a crash
  // would otherwise be read as one.
  const std::wstring path = RecordPath(archivePath), fresh = path + L".new";
  const std::string text = tov::FormatPartialRecord(record);
  {
    // Like the archive, for this user alone: the record decides which kept
    // bytes are continued.
    ::DeleteFileW(fresh.c_str());
    auto descriptor = OwnerOnlyDescriptor();
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.get(), FALSE};
    tov::UniqueHandleK file(::CreateFileW(fresh.c_str(), GENERIC_WRITE, 0, descriptor ? &attributes : nullptr,
                                          CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (!file || !::WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
        written != text.size()) {
      file.reset();
      ::DeleteFileW(fresh.c_str());
      return false;
    }
  }
  return ::MoveFileExW(fresh.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

void DeletePartialRecord(const std::wstring& archivePath) { ::DeleteFileW(RecordPath(archivePath).c_str()); }
