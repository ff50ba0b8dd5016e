#!/usr/bin/env bash
# Installs the build into a temporary DESTDIR under a prefix it was not
# configured for, and uses the installed tree as a user and a programmer would:
# the layout, relative search paths, tolvex --headless on an installed example,
# a C program built against pixory.pc and one built with find_package(Pixory).
#
#   install_test.sh BUILD_DIR SOURCE_DIR CC [EXTRA_CFLAGS...]
set -euo pipefail
build=$1
src=$2
cc=$3
shift 3
extra=("$@")

top=$(mktemp -d /tmp/tolvex-install-XXXXXX)
trap 'rm -rf "$top"' EXIT
prefix=/opt/tolvex-test
root=$top/dest$prefix
fail() {
  echo "install test: $*" >&2
  exit 1
}

DESTDIR=$top/dest cmake --install "$build" --prefix "$prefix" >"$top/install.log" || {
  cat "$top/install.log"
  fail "cmake --install failed"
}

# ---- Layout
libdir=$(dirname "$(find "$root" -name 'libpixory.so.*.*' | head -1)")
[ -d "$libdir" ] || fail "no libpixory.so.<version> installed"
for f in bin/tolvex include/pixory.h share/man/man1/tolvex.1.gz share/bash-completion/completions/tolvex \
  share/tolvex/Tolvan.ini share/doc/tolvex/examples/Wendelo.mac share/doc/tolvex/language.md \
  share/doc/tolvex/copyright; do
  [ -e "$root/$f" ] || fail "$f is not installed"
done
for f in libpixory.so libpixory.so.1 pkgconfig/pixory.pc cmake/Pixory/PixoryConfig.cmake \
  cmake/Pixory/PixoryConfigVersion.cmake tolvex/libtvxplatform.so; do
  [ -e "$libdir/$f" ] || fail "$f is not installed in ${libdir#"$root"/}"
done
# The desktop's entry opens macros (the file type *.mac) with the installed program.
desktop=$root/share/applications/tolvex.desktop
[ -e "$desktop" ] || fail "no desktop entry"
grep -qx 'Exec=tolvex %f' "$desktop" || fail "the desktop entry does not start tolvex with the file"
grep -qx 'MimeType=text/x-tolvex-macro;' "$desktop" || fail "the desktop entry names no macro file type"
grep -q '<glob pattern="\*.mac"/>' "$root/share/mime/packages/tolvex.xml" || fail "no file type for *.mac"
grep -q '<svg' "$root/share/icons/hicolor/scalable/apps/tolvex.svg" || fail "no icon"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$desktop" || fail "desktop-file-validate refuses the entry"
fi
if command -v xmllint >/dev/null; then
  xmllint --noout "$root/share/mime/packages/tolvex.xml" "$root/share/icons/hicolor/scalable/apps/tolvex.svg" ||
    fail "the file type or the icon is not well-formed XML"
fi
soname=$(readelf -d "$libdir"/libpixory.so.*.* | sed -n 's/.*SONAME.*\[\(.*\)\]/\1/p')
[ "$soname" = libpixory.so.1 ] || fail "libpixory's SONAME is '$soname'"
gzip -t "$root/share/man/man1/tolvex.1.gz" || fail "the manual page is not a gzip file"
zcat "$root/share/man/man1/tolvex.1.gz" | grep -q '^\.TH TOLVEX 1' || fail "the manual page has no .TH line"

# Installed files find each other by relative paths only: nothing names the build or source tree.
for f in "$root/bin/tolvex" "$libdir"/libpixory.so.*.* "$libdir"/tolvex/*.so; do
  runpath=$(readelf -d "$f" | sed -n 's/.*R\(UN\)\{0,1\}PATH.*\[\(.*\)\]/\2/p')
  case $runpath in
    *"$build"* | *"$src"*) fail "${f#"$root"/} searches $runpath" ;;
  esac
done
runpath=$(readelf -d "$root/bin/tolvex" | sed -n 's/.*R\(UN\)\{0,1\}PATH.*\[\(.*\)\]/\2/p')
[[ $runpath == '$ORIGIN/'* ]] || fail "tolvex searches '$runpath', not a folder next to it"
if grep -rlF -e "$build" -e "$src" "$libdir/pkgconfig" "$libdir/cmake" "$root/share/tolvex" \
  "$root/share/bash-completion"; then
  fail "the files above name the build or source tree"
fi

# ---- The installed program, run from elsewhere
cd "$top"
unset DISPLAY WAYLAND_DISPLAY
"$root/bin/tolvex" --version | grep -qx 'tolvex (Tolvex) [0-9.]*' || fail "tolvex --version: $("$root/bin/tolvex" --version)"
status=0
out=$("$root/bin/tolvex" --headless "$root/share/doc/tolvex/examples/Wendelo.mac" 2>&1) || status=$?
[ $status -eq 0 ] || fail "the installed tolvex ran Wendelo.mac with status $status: $out"
grep -qx '1 + 2 \* 3 = 7' <<<"$out" || fail "Wendelo.mac printed: $out"
out=$("$root/bin/tolvex" '>?Len("installed")')
[ "$out" = 'Len("installed") = 9' ] || fail "a one-line macro printed: $out"

# ---- A C program against the installed pixory.pc (no window toolkit: nobody looks)
export TOLVEX_NO_WINDOW_TOOLKIT=1
flags=$(PKG_CONFIG_PATH=$libdir/pkgconfig pkg-config --cflags --libs pixory) || fail "pkg-config does not know pixory"
"$cc" "${extra[@]}" "$src/tests/install/hello_pixory.c" $flags -Wl,-rpath,"$libdir" -o "$top/hello" ||
  fail "the C program does not build with: $flags"
out=$("$top/hello" "$top/ramp.bmp") || fail "the C program failed: $out"
[ "$out" = "ok 64x48" ] || fail "the C program printed: $out"

# ---- The same program with find_package(Pixory)
CFLAGS="${extra[*]}" LDFLAGS="${extra[*]}" cmake -S "$src/tests/install/consumer" -B "$top/consumer" \
  -DCMAKE_PREFIX_PATH="$root" -DCMAKE_C_COMPILER="$cc" >"$top/consumer.log" 2>&1 ||
  { cat "$top/consumer.log"; fail "find_package(Pixory) failed"; }
cmake --build "$top/consumer" >>"$top/consumer.log" 2>&1 || { cat "$top/consumer.log"; fail "the find_package build failed"; }
out=$("$top/consumer/hello_pixory" "$top/ramp2.bmp") || fail "the find_package program failed: $out"
[ "$out" = "ok 64x48" ] || fail "the find_package program printed: $out"
echo "install test: ok ($prefix in a DESTDIR)"
