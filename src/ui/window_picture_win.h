// The main window's pictures, decoded ahead. Decoding the background (with
// loading the image libraries) takes about 30 ms under Wine and needs
// nothing the start-up does: it runs on a thread of its own while the window
// is being created.
#pragma once
#include <windows.h>

// Begins decoding the background (and the close button's image) on a thread
// of its own; does nothing when already begun.
void PrepareMainWindowPicture();

// The background as a 32-bit top-down section with premultiplied alpha, the
// form a layered window takes its picture in, and its size; null when the
// resource is missing or cannot be decoded. Waits for the decoding begun
// ahead, or decodes now; the caller owns the section.
HBITMAP TakeMainWindowPicture(SIZE& size);
