#!/usr/bin/env bash
# Cross-builds the dataset component for Windows, loamset.dll for x86_64 (build-win-x86_64/) and
# i686 (build-win-i686/), with Debian's MinGW-w64, installing the compilers when missing; then checks
# that each DLL exports exactly its four entry points, by their plain names.
# Also builds loamset-client.exe, the C client that tools/windows/wine-test.sh runs under Wine.
#   LOAMSET_IDL_INCLUDE_DIR=DIR  embed the type library (DIR holds oaidl.idl and ocidl.idl for widl);
#                                by default Wine's (libwine-dev) when installed
#   LOAMSET_TLB_DIR=DIR          the folder of stdole32.tlb, when not DIR above; by default Wine's
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
jobs=$(nproc 2>/dev/null || echo 2)

wine_idl=/usr/include/wine/wine/windows
wine_tlb=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows
if [ -z "${LOAMSET_IDL_INCLUDE_DIR:-}" ] && [ -f "$wine_idl/oaidl.idl" ] && [ -f "$wine_tlb/stdole32.tlb" ]; then
  LOAMSET_IDL_INCLUDE_DIR=$wine_idl
  LOAMSET_TLB_DIR=${LOAMSET_TLB_DIR:-$wine_tlb}
fi

packages=(cmake ninja-build g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix)
[ -n "${LOAMSET_IDL_INCLUDE_DIR:-}" ] && packages+=(mingw-w64-tools)

as_root() {
  if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi
}

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "windows: installing ${missing[*]}"
  as_root apt-get update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

expected=$'DllCanUnloadNow\nDllGetClassObject\nDllRegisterServer\nDllUnregisterServer'
for arch in x86_64 i686; do
  dir="$top/build-win-$arch"
  cmake -S "$top/loamset/windows" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-$arch.cmake" \
    -DLOAMSET_IDL_INCLUDE_DIR="${LOAMSET_IDL_INCLUDE_DIR:-}" -DLOAMSET_TLB_DIR="${LOAMSET_TLB_DIR:-}" >/dev/null
  ninja -C "$dir" -j"$jobs"
  # The names in the export table, between its heading and the blank line after it.
  exports=$("$arch-w64-mingw32-objdump" -p "$dir/loamset.dll" |
    sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^\s*\[ *[0-9]*\] //p' | sort)
  if [ "$exports" != "$expected" ]; then
    echo "windows: $dir/loamset.dll exports:" >&2
    echo "$exports" >&2
    echo "windows: expected exactly: $(echo $expected)" >&2
    exit 1
  fi
  echo "windows: $dir/loamset.dll ($(stat -c %s "$dir/loamset.dll") bytes) exports $(echo $exports)"
done
