/* A DLL planted next to a launcher under the name of a system library. It
   adds its own path (UTF-16) to planted.log beside itself when it is loaded;
   every function it exports (the system library's names,
   tests/CMakeLists.txt) does nothing. */
#include <windows.h>

int planted_stub(void) { return 0; }

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved) {
  wchar_t path[MAX_PATH], record[MAX_PATH + 12];
  (void)reserved;
  DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
  if (reason != DLL_PROCESS_ATTACH || length == 0 || length >= MAX_PATH) return TRUE;
  lstrcpyW(record, path);
  wchar_t* name = record;
  for (wchar_t* p = record; *p; ++p) {
    if (*p == L'\\') name = p + 1;
  }
  lstrcpyW(name, L"planted.log");
  HANDLE file = CreateFileW(record, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return TRUE;
  path[length++] = L'\n';
  DWORD written;
  WriteFile(file, path, length * sizeof(wchar_t), &written, NULL);
  CloseHandle(file);
  return TRUE;
}
