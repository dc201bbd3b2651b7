// The floor of writing many small files under Wine: creates the files a
// manifest names, with their sizes, one after the other on one thread, with
// nothing else to do (no archive, no decompression). The benchmark holds the
// launcher's extraction of the same files against it.
//   file_floor.exe MANIFEST TARGETDIR
// MANIFEST: one "size<TAB>relative\path" line per file; folders are made as
// needed. Prints "ok files=N seconds=S".
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <string>
#include <vector>

namespace {

struct Entry {
  DWORD size;
  std::wstring path;
};

std::vector<Entry> ReadManifest(const wchar_t* path) {
  std::vector<Entry> entries;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    size_t tab = line.find('\t');
    if (tab == std::string::npos) continue;
    std::string name = line.substr(tab + 1);
    entries.push_back({static_cast<DWORD>(std::stoul(line.substr(0, tab))), std::wstring(name.begin(), name.end())});
  }
  return entries;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: file_floor MANIFEST TARGETDIR\n");
    return 1;
  }
  std::vector<Entry> entries = ReadManifest(argv[1]);
  const std::wstring root = argv[2];
  DWORD largest = 0;
  for (const Entry& e : entries) largest = e.size > largest ? e.size : largest;
  std::vector<char> data(largest, 'x');

  LARGE_INTEGER freq, start, end;
  ::QueryPerformanceFrequency(&freq);
  ::QueryPerformanceCounter(&start);
  ::CreateDirectoryW(root.c_str(), nullptr);
  std::set<std::wstring> made;
  for (const Entry& e : entries) {
    std::wstring full = root + L"\\" + e.path;
    for (size_t at = full.find(L'\\', root.size() + 1); at != std::wstring::npos; at = full.find(L'\\', at + 1)) {
      std::wstring dir = full.substr(0, at);
      if (made.insert(dir).second) ::CreateDirectoryW(dir.c_str(), nullptr);
    }
    HANDLE file = ::CreateFileW(full.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      std::fprintf(stderr, "cannot create %ls\n", full.c_str());
      return 2;
    }
    DWORD written = 0;
    if (e.size && (!::WriteFile(file, data.data(), e.size, &written, nullptr) || written != e.size)) return 3;
    ::CloseHandle(file);
  }
  ::QueryPerformanceCounter(&end);
  std::printf("ok files=%zu seconds=%.3f\n", entries.size(), double(end.QuadPart - start.QuadPart) / double(freq.QuadPart));
  return 0;
}
