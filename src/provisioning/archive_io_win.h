// File functions for minizip: the wide-character Win32 ones with a read-ahead
// window in front (see read_ahead.h), for archives opened to be read.
#pragma once
#include <ioapi.h>

void FillReadAheadWin32FileFunc64W(zlib_filefunc64_def* def);
