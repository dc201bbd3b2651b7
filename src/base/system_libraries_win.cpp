#include "base/system_libraries_win.h"

#include <windows.h>

#include <delayimp.h>

#include <string>

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

template <typename T>
T* AtRva(DWORD rva) {
  return reinterpret_cast<T*>(reinterpret_cast<char*>(&__ImageBase) + rva);
}

HMODULE LoadFromSystemDirectory(const char* name) {
  HMODULE module = ::LoadLibraryExA(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (module || ::GetLastError() != ERROR_INVALID_PARAMETER) return module;
  // A system that does not know the flag: the full path says the same.
  char dir[MAX_PATH];
  UINT length = ::GetSystemDirectoryA(dir, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  std::string path = std::string(dir, length) + "\\" + name;
  return ::LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

// What Microsoft's helper raises too: a system library or function that is
// not there cannot be worked around, and the crash filter records where.
[[noreturn]] void FailDelayLoad(DWORD error) {
  ::RaiseException(VcppException(ERROR_SEVERITY_ERROR, error), 0, 0, nullptr);
  ::ExitProcess(error);
}

}  // namespace

namespace tov {

void KeepLibrarySearchInSystemDirectory() noexcept {
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
  auto set = reinterpret_cast<SetDefaultDllDirectoriesFn>(
      reinterpret_cast<void (*)()>(::GetProcAddress(kernel, "SetDefaultDllDirectories")));
  if (set) set(LOAD_LIBRARY_SEARCH_SYSTEM32);
  // The property system is loaded later by name by the imaging library
  // behind GDI+. Windows then looks for it only where the line above says;
  // Wine looks beside the launcher first for what its own libraries import.
  // Loaded now from the system directory, it is found by name among the
  // loaded libraries instead, and stays for the process's life (it costs
  // under Wine 0.4 to 20 ms here, and its load would come anyway).
  LoadFromSystemDirectory("propsys.dll");
}

}  // namespace tov

// Called by the thunk of a delay-loaded function on its first call, with
// the library's descriptor and the function's slot; returns the function,
// which the thunk then jumps to with the caller's arguments. The thunks of
// binutils keep only the integer argument registers (RCX, RDX, R8, R9)
// across this call, while the loading here uses XMM0 to XMM3 freely, and
// those hold the floating-point arguments (VarR8Pow, GdipCreateFont, ...).
// __delayLoadHelper2 below therefore keeps them around this function.
extern "C" FARPROC ResolveDelayedImport(PCImgDelayDescr descr, FARPROC* slot) {
  if (!(descr->grAttrs & dlattrRva)) FailDelayLoad(ERROR_INVALID_PARAMETER);
  auto* module = AtRva<HMODULE>(descr->rvaHmod);
  HMODULE loaded = reinterpret_cast<HMODULE>(
      ::InterlockedCompareExchangePointer(reinterpret_cast<void**>(module), nullptr, nullptr));
  if (!loaded) {
    loaded = LoadFromSystemDirectory(AtRva<const char>(descr->rvaDLLName));
    if (!loaded) FailDelayLoad(ERROR_MOD_NOT_FOUND);
    // Two threads may get here at once; the library stays loaded once.
    void* earlier = ::InterlockedCompareExchangePointer(reinterpret_cast<void**>(module), loaded, nullptr);
    if (earlier) {
      ::FreeLibrary(loaded);
      loaded = static_cast<HMODULE>(earlier);
    }
  }
  const auto* iat = AtRva<IMAGE_THUNK_DATA>(descr->rvaIAT);
  const IMAGE_THUNK_DATA& name = AtRva<IMAGE_THUNK_DATA>(descr->rvaINT)[reinterpret_cast<IMAGE_THUNK_DATA*>(slot) - iat];
  FARPROC function;
  if (IMAGE_SNAP_BY_ORDINAL(name.u1.Ordinal)) {
    function = ::GetProcAddress(loaded, MAKEINTRESOURCEA(IMAGE_ORDINAL(name.u1.Ordinal)));
  } else {
    function = ::GetProcAddress(loaded, AtRva<IMAGE_IMPORT_BY_NAME>(static_cast<DWORD>(name.u1.AddressOfData))->Name);
  }
  if (!function) FailDelayLoad(ERROR_PROC_NOT_FOUND);
  *slot = function;
  return function;
}

// The helper the thunks call: XMM0 to XMM3 saved in its own frame (16-byte
// aligned, above the callee's 32-byte home area), restored before it
// returns the function in RAX. Unwind data included, so that a failure
// raised while loading is walked through like any frame.
asm(R"(
    .text
    .globl __delayLoadHelper2
    .def __delayLoadHelper2; .scl 2; .type 32; .endef
    .seh_proc __delayLoadHelper2
__delayLoadHelper2:
    subq $0x68, %rsp
    .seh_stackalloc 0x68
    .seh_endprologue
    movaps %xmm0, 0x20(%rsp)
    movaps %xmm1, 0x30(%rsp)
    movaps %xmm2, 0x40(%rsp)
    movaps %xmm3, 0x50(%rsp)
    call ResolveDelayedImport
    movaps 0x20(%rsp), %xmm0
    movaps 0x30(%rsp), %xmm1
    movaps 0x40(%rsp), %xmm2
    movaps 0x50(%rsp), %xmm3
    addq $0x68, %rsp
    ret
    .seh_endproc
)");
