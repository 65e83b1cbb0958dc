#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# Copyright (c) 2026 The aacd authors
#
# Installs the project (prefix /usr) into a staging directory with DESTDIR,
# lists the installed files, then builds and runs the outside C host of
# tests/packaging against it, shared and static:
#   a. with the flags of pkg-config (C99, -pedantic -Werror);
#   b. as a CMake project with find_package(aacd);
#   c. as a parent CMake project that takes the source tree in with
#      add_subdirectory.
# Finally runs the installed aacd-decode and checks its manual page.
#   tools/test-packaging.sh [WORK_DIR]      (default build-packaging)
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
WORK=${1:-$ROOT/build-packaging}
# Absolute: the staged prefix is handed to other projects' configurations.
mkdir -p "$WORK" && WORK=$(cd "$WORK" && pwd)
JOBS=${JOBS:-$(nproc)}
STAGE=$WORK/stage
SAMPLE=$ROOT/tests/data/sample.aac
GEN=(); command -v ninja >/dev/null && GEN=(-G Ninja)
step() { printf '\n---- %s\n' "$*"; }

rm -rf "$STAGE" "$WORK/find" "$WORK/sub"
step "build and staged install"
cmake -S . -B "$WORK/build" "${GEN[@]}" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DBUILD_TESTING=OFF -DAACD_WERROR=ON >/dev/null
cmake --build "$WORK/build" -j"$JOBS"
DESTDIR="$STAGE" cmake --install "$WORK/build" >/dev/null
(cd "$STAGE" && find . ! -type d | sed 's|^\.||' | sort)
LIBDIR=$(dirname "$(find "$STAGE" -name libaacd.so)")
VERSION=$(PKG_CONFIG_LIBDIR=$LIBDIR/pkgconfig pkg-config --modversion aacd)

step "a. pkg-config"
(
  export PKG_CONFIG_SYSROOT_DIR=$STAGE PKG_CONFIG_LIBDIR=$LIBDIR/pkgconfig
  CFLAGS=(-std=c99 -pedantic -Wall -Wextra -Werror)
  # shellcheck disable=SC2046
  cc "${CFLAGS[@]}" tests/packaging/decode_check.c -o "$WORK/check_pc" $(pkg-config --cflags --libs aacd)
  # The static library by name, with what pkg-config --static adds.
  # shellcheck disable=SC2046
  cc "${CFLAGS[@]}" tests/packaging/decode_check.c -o "$WORK/check_pc_static" \
    $(pkg-config --cflags --static --libs aacd | sed 's/-laacd\b/-l:libaacd.a/')
  LD_LIBRARY_PATH=$LIBDIR "$WORK/check_pc" "$SAMPLE" "$VERSION"
  "$WORK/check_pc_static" "$SAMPLE" "$VERSION"
)

step "b. find_package(aacd)"
cmake -S tests/packaging -B "$WORK/find" "${GEN[@]}" -DCMAKE_PREFIX_PATH="$STAGE/usr" >/dev/null
cmake --build "$WORK/find" -j"$JOBS"
LD_LIBRARY_PATH=$LIBDIR "$WORK/find/decode_check_aacd" "$SAMPLE" "$VERSION"
"$WORK/find/decode_check_aacd_static" "$SAMPLE" "$VERSION"

step "c. add_subdirectory"
cmake -S tests/packaging -B "$WORK/sub" "${GEN[@]}" -DAACD_SOURCE_DIR="$ROOT" >/dev/null
cmake --build "$WORK/sub" -j"$JOBS"
"$WORK/sub/decode_check_aacd" "$SAMPLE" "$VERSION"
"$WORK/sub/decode_check_aacd_static" "$SAMPLE" "$VERSION"
if [ -n "$(find "$WORK/sub" -name 'test_*' -type f -perm -u+x)" ]; then
  echo "the subproject built its tests"; exit 1
fi

step "installed aacd-decode and its manual page"
LD_LIBRARY_PATH=$LIBDIR "$STAGE/usr/bin/aacd-decode" --version | grep -qx "aacd-decode $VERSION"
MAN=$STAGE/usr/share/man/man1/aacd-decode.1
for section in NAME SYNOPSIS DESCRIPTION OPTIONS "EXIT STATUS"; do
  grep -q "^\.SH $section" "$MAN" || { echo "aacd-decode.1 lacks $section"; exit 1; }
done
echo "packaging checks passed"
