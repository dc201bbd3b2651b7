// Where the launcher's Windows libraries come from. A browser saves the
// launcher into the player's Downloads folder, where any web page may have
// saved a DLL before it; the loader looks next to the executable first for
// every library that Windows does not pin as a known DLL.
#pragma once

namespace tov {

// Makes the system directory the only place later loads by bare name look
// in (for this process, the libraries those loads pull in included), and
// loads from there a library that system libraries load by name later
// (propsys), which Wine would otherwise look for beside the launcher first.
// First thing in every entry point; on a system without the call (Windows 7
// before KB2533623) only the second part holds.
void KeepLibrarySearchInSystemDirectory() noexcept;

}  // namespace tov

// The libraries of the system that are not known DLLs (bcrypt, crypt32,
// iphlpapi, urlmon, wininet) are linked through delay-load thunks, not the
// import table, so the loader never looks for them at start. The first call
// of one of their functions arrives in __delayLoadHelper2
// (system_libraries_win.cpp), which loads the library from the system
// directory only; the C runtime's own helper would search the default path.
