/* A DLL planted next to a launcher under the name of a system library. It
   notes its own path in planted.log beside itself when it is loaded; every
   function it exports (the system library's names, tests/CMakeLists.txt)
   does nothing. */
#include <windows.h>

int planted_stub(void) { return 0; }

static void NoteLoading(HINSTANCE self) {
  wchar_t path[MAX_PATH];
  DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  wchar_t record[MAX_PATH];
  lstrcpyW(record, path);
  wchar_t* slash = record;
  for (wchar_t* p = record; *p; ++p) {
    if (*p == L'\\') slash = p + 1;
  }
  lstrcpyW(slash, L"planted.log");
  HANDLE file = CreateFileW(record, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return;
  char line[3 * MAX_PATH + 2];
  int bytes = WideCharToMultiByte(CP_UTF8, 0, path, (int)length, line, 3 * MAX_PATH, NULL, NULL);
  line[bytes++] = '\n';
  DWORD written;
  WriteFile(file, line, (DWORD)bytes, &written, NULL);
  CloseHandle(file);
}

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved) {
  (void)reserved;
  if (reason == DLL_PROCESS_ATTACH) NoteLoading(self);
  return TRUE;
}
