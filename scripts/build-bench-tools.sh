#!/usr/bin/env bash
# Cross-builds curl.exe and unzip.exe for the install benchmark, which runs
# them under Wine next to the launcher: native curl and unzip pay none of
# Wine's per-file and per-socket costs, so they alone would flatter neither
# side fairly. Built from Debian's source packages (patches applied), like
# the launcher's dependencies; curl.exe links the very libcurl.a the launcher
# links. Not part of the tests: only scripts/bench-install.sh calls it.
# Idempotent: the tools are cached under a key of their inputs. Run as root
# (apt-get source, /var/cache), after scripts/setup.sh.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
self="$here/$(basename "${BASH_SOURCE[0]}")"
toolchain="$here/../cmake/mingw-w64-x86_64.cmake"
cache_root=${TOV_CACHE_DIR:-/var/cache/tovlauncher}
cc=x86_64-w64-mingw32-gcc-posix

say() { echo "bench-tools: $*" >&2; }

if [ "$(id -u)" -ne 0 ]; then
  say "run as root (sudo $0)"
  exit 1
fi
deps=$(readlink -f "$cache_root/deps" || true)
if [ -z "$deps" ] || [ ! -f "$deps/lib/libcurl.a" ]; then
  say "no libcurl in $cache_root/deps; run scripts/setup.sh first"
  exit 1
fi

mkdir -p "$cache_root"
# Two benchmark runs started together must not build into the same place.
exec 9>"$cache_root/bench-tools.lock"
flock 9

dsc_of() {
  apt-get source --print-uris -qq "$1" 2>/dev/null | awk '{print $2}' | grep '\.dsc$' | head -1
}
curl_dsc=$(dsc_of curl)
unzip_dsc=$(dsc_of unzip)
if [ -z "$curl_dsc" ] || [ -z "$unzip_dsc" ]; then
  apt-get update -qq
  curl_dsc=$(dsc_of curl)
  unzip_dsc=$(dsc_of unzip)
fi
if [ -z "$curl_dsc" ] || [ -z "$unzip_dsc" ]; then
  say "cannot find the curl and unzip source packages (deb-src entries: see scripts/setup.sh)"
  exit 1
fi

compiler=$($cc --version | head -1)
# The libcurl build is part of the key: new dependencies give a new curl.exe.
key=$( { echo "$curl_dsc"; echo "$unzip_dsc"; echo "$compiler"; basename "$deps";
         cat "$self" "$here/lib/curl-source.sh" "$toolchain"; } | sha256sum | cut -c1-16)
out="$cache_root/bench-tools-$key"

if [ -f "$out/.complete" ]; then
  say "cached in $out"
  ln -sfn "$out" "$cache_root/bench-tools"
  exit 0
fi

say "building into $out ($curl_dsc, $unzip_dsc)"
started=$SECONDS
work="$out.work"
rm -rf "$out" "$work"
mkdir -p "$work" "$out"
# A failed build leaves nothing behind that a later run could mistake for one.
trap 'rm -rf "$work"; [ -f "$out/.complete" ] || rm -rf "$out"' EXIT
cd "$work"

. "$here/lib/curl-source.sh"
fetch_source curl
fetch_source unzip
curl_src=$(find . -maxdepth 1 -type d -name 'curl-*' | head -1)
unzip_src=$(find . -maxdepth 1 -type d -name 'unzip-*' | head -1)
[ -n "$curl_src" ] && [ -n "$unzip_src" ] || { say "sources missing"; exit 1; }

# The tool must speak to the libcurl it links: a newer upstream release in
# the archive than in the cache means setup.sh has yet to rebuild the deps.
curl_version() { sed -n 's/^#define LIBCURL_VERSION "\(.*\)"/\1/p' "$1/curl/curlver.h"; }
if [ "$(curl_version "$curl_src/include")" != "$(curl_version "$deps/include")" ]; then
  say "$curl_src is not the libcurl of $deps ($(curl_version "$deps/include")); run scripts/setup.sh"
  exit 1
fi

# curl.exe: configured with build-deps.sh's options so that the tool's
# curl_config.h agrees with the installed library, then only the tool's own
# objects are compiled (compile_commands.json, not ninja: ninja would build
# the library first) and linked against the installed libcurl.a.
cmake -S "$curl_src" -B curl-build -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_EXPORT_COMPILE_COMMANDS=ON \
  -DBUILD_CURL_EXE=ON \
  "${curl_cmake_options[@]}" >curl-configure.log 2>&1 || { cat curl-configure.log >&2; exit 1; }
# The one generated source of the tool (an empty manual with ENABLE_MANUAL off).
ninja -C curl-build src/tool_hugehelp.c >/dev/null
python3 - curl-build/compile_commands.json curl-build/tool-objects.txt <<'EOF'
import json, shlex, subprocess, sys
from concurrent.futures import ThreadPoolExecutor
tool = []
for e in json.load(open(sys.argv[1])):
    argv = shlex.split(e["command"])
    obj = argv[argv.index("-o") + 1] if "-o" in argv else ""
    if obj.startswith("src/CMakeFiles/curl.dir/"):
        tool.append((e["directory"], argv, obj))
if not tool:
    sys.exit("no objects of the curl tool in " + sys.argv[1])
def compile_one(t):
    r = subprocess.run(t[1], cwd=t[0], stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    if r.returncode:
        sys.stderr.write(r.stdout.decode(errors="replace"))
    return r.returncode
with ThreadPoolExecutor() as pool:
    if any(list(pool.map(compile_one, tool))):
        sys.exit("compiling the curl tool failed")
with open(sys.argv[2], "w") as f:
    for directory, _, obj in tool:
        f.write("%s/%s\n" % (directory, obj))
EOF
mapfile -t curl_objects < curl-build/tool-objects.txt
$cc -static -s -o "$out/curl.exe" "${curl_objects[@]}" "$deps/lib/libcurl.a" \
  -lws2_32 -lcrypt32 -lbcrypt -ladvapi32 -lwinmm

# unzip.exe: Info-ZIP's own MinGW makefile, with its C CRC code (the
# assembler one is 32-bit) and its own inflate, like Debian's unzip. Its
# __G and CR macros break the compiler's intrinsics and winnt.h when
# windows.h comes after unzip.h, so windows.h is read first everywhere.
make -C "$unzip_src" -f win32/Makefile.gcc -j "$(nproc)" unzip.exe \
  CC="$cc" AR=x86_64-w64-mingw32-ar RC=x86_64-w64-mingw32-windres \
  NOASM=1 CC_CPU_OPT=-mtune=generic CC_WARN_OPT= \
  LOCAL_UNZIP="-include windows.h" LD_RELEASE_OPT="-s -static" \
  >unzip-build.log 2>&1 || { cat unzip-build.log >&2; exit 1; }
cp "$unzip_src/unzip.exe" "$out/unzip.exe"

{
  echo "curl.exe: $(basename "$curl_src") from $(ls curl_*.dsc), linked with $deps/lib/libcurl.a"
  echo "unzip.exe: $(basename "$unzip_src") from $(ls unzip_*.dsc)"
  echo "compiler: $compiler"
} > "$out/SOURCES.txt"
touch "$out/.complete"
ln -sfn "$out" "$cache_root/bench-tools"
say "built in $((SECONDS - started)) s"
