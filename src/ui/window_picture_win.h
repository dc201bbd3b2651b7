// The main window's pictures, decoded ahead. The background needs nothing
// the start-up does, so it is read on a thread of its own while start-up
// goes on and the window is made, by the launcher's own reader (GDI+, with
// the image libraries it loads, took twice as long under Wine) or by GDI+
// for a form that reader does not read.
#pragma once
#include <windows.h>

// Begins decoding the background on a thread of its own; does nothing when
// already begun.
void PrepareMainWindowPicture();


// The background as a 32-bit top-down section with premultiplied alpha, the
// form a layered window takes its picture in, and its size; null when the
// resource is missing or cannot be decoded. Waits for the decoding begun
// ahead, or decodes now; the caller owns the section.
HBITMAP TakeMainWindowPicture(SIZE& size);
