// The common controls library (version 6, with its visual styles) takes
// longer to load than anything else before the first window, and only the
// content panel, made once the window shows, needs it. It is loaded and
// initialised on a thread of its own while the window is made.
#pragma once

// Starts loading and initialising the common controls (the Windows 95
// class set); at most once per process.
void StartCommonControls();
// Returns once they are ready. Called before the first control of theirs
// is made and before the process ends, so that no thread is cut off inside
// the loader.
void WaitForCommonControls();
