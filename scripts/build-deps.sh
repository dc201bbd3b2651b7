#!/usr/bin/env bash
# Cross-builds the launcher's static dependencies (libcurl, minizip) from
# Debian's source packages, patches applied.
# Usage: build-deps.sh WORKDIR PREFIX TOOLCHAIN_FILE
set -euo pipefail

work=$1
prefix=$2
toolchain=$3
jobs=$(nproc)
cc=x86_64-w64-mingw32-gcc-posix
ar=x86_64-w64-mingw32-ar

cd "$work"
. "$(dirname "${BASH_SOURCE[0]}")/lib/curl-source.sh"
fetch_source curl
fetch_source zlib

curl_src=$(find . -maxdepth 1 -type d -name 'curl-*' | head -1)
zlib_src=$(find . -maxdepth 1 -type d -name 'zlib-*' | head -1)
[ -n "$curl_src" ] && [ -n "$zlib_src" ] || { echo "build-deps: sources missing" >&2; exit 1; }

cmake -S "$curl_src" -B curl-build -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DBUILD_CURL_EXE=OFF \
  "${curl_cmake_options[@]}" >/dev/null
cmake --build curl-build -j "$jobs" >/dev/null
cmake --install curl-build >/dev/null

# minizip: only the reader and the Win32 file layer, against mingw's zlib.
mz="$zlib_src/contrib/minizip"
mkdir -p minizip-build "$prefix/include/minizip" "$prefix/lib"
for f in unzip ioapi iowin32; do
  $cc -O2 -Wall -c "$mz/$f.c" -I"$mz" -o "minizip-build/$f.o"
done
$ar rcs "$prefix/lib/libminizip.a" minizip-build/unzip.o minizip-build/ioapi.o minizip-build/iowin32.o
cp "$mz/unzip.h" "$mz/ioapi.h" "$mz/iowin32.h" "$mz/crypt.h" "$prefix/include/minizip/"

# Record what went in, for anyone wondering which patches the launcher carries.
{
  echo "curl: $(basename "$curl_src")"
  echo "zlib/minizip: $(basename "$zlib_src")"
  ls "$curl_src/debian/patches" 2>/dev/null | sed 's/^/  curl patch: /'
} > "$prefix/SOURCES.txt"
