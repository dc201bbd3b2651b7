// File functions for minizip over a Win32 file handle with a read-ahead
// window in front (see read_ahead.h), for archives opened to be read.
#pragma once
#include <windows.h>

#include <ioapi.h>

// The "file name" handed to unzOpen2_64 names a wide path, opened here for
// reading (shared with other readers) and closed with the archive.
void FillReadAheadWin32FileFunc64W(zlib_filefunc64_def* def);

// The "file name" handed to unzOpen2_64 is a pointer to a HANDLE the caller
// holds open for reading: the archive is read through it and it stays open
// when the archive is closed, so what is unpacked is the very file the
// caller wrote and checked, whatever happens to the path meanwhile.
void FillBorrowedHandleFileFunc64(zlib_filefunc64_def* def);
