#!/usr/bin/env bash
# Builds zlib and minizip's reader natively from Debian's zlib source package
# (the same one the launcher's minizip comes from), instrumented for the
# fuzz targets: clang with libFuzzer's coverage hooks, AddressSanitizer and
# UBSan, so that a fault inside the archive reader or the decompressor shows
# as one rather than as a wrong result later.
# Usage: build-fuzz-deps.sh WORKDIR PREFIX
set -euo pipefail

work=$1
prefix=$2
cc=${TOV_FUZZ_CC:-clang}
flags=(-g -O1 -fno-omit-frame-pointer
       -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined)

cd "$work"
. "$(dirname "${BASH_SOURCE[0]}")/lib/curl-source.sh"
fetch_source zlib
src=$(find . -maxdepth 1 -type d -name 'zlib-*' | head -1)
[ -n "$src" ] || { echo "build-fuzz-deps: zlib source missing" >&2; exit 1; }

mkdir -p obj "$prefix/include/minizip" "$prefix/lib"
# The library proper, without the gz* file layer nobody here uses.
objs=()
for f in adler32 crc32 inffast inflate inftrees zutil uncompr; do
  "$cc" "${flags[@]}" -c "$src/$f.c" -I"$src" -o "obj/$f.o"
  objs+=("obj/$f.o")
done
# The reader as the launcher builds it: unzip.c with ioapi.c, nothing left out.
mz="$src/contrib/minizip"
for f in unzip ioapi; do
  "$cc" "${flags[@]}" -c "$mz/$f.c" -I"$mz" -I"$src" -o "obj/$f.o"
  objs+=("obj/$f.o")
done
ar rcs "$prefix/lib/libminizip-fuzz.a" "${objs[@]}"
cp "$src/zlib.h" "$src/zconf.h" "$prefix/include/"
cp "$mz/unzip.h" "$mz/ioapi.h" "$prefix/include/minizip/"
version=$(dpkg-parsechangelog -l "$src/debian/changelog" -S Version 2>/dev/null || basename "$src")
echo "zlib/minizip: $version, $("$cc" --version | head -1)" > "$prefix/SOURCES.txt"
