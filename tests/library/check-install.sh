#!/bin/sh
# Installs the build into a fresh prefix and builds a small C program against
# the installed library the way other programs do, through pkg-config; the
# program must run against the installed libzorva.so (by its SONAME).
#   check-install.sh BUILD_DIR SOURCE_DIR C_COMPILER
set -eu
build=$1 source=$2 cc=$3
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
libdir=$(ls -d "$prefix"/lib*/pkgconfig | head -n 1)
libdir=${libdir%/pkgconfig}
for f in bin/korvel include/zorva.h share/man/man1/korvel.1 \
         share/bash-completion/completions/korvel; do
  test -e "$prefix/$f" || { echo "not installed: $f" >&2; exit 1; }
done
soname=$(readelf -d "$libdir/libzorva.so" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
[ "$soname" = libzorva.so.3 ] || { echo "SONAME is '$soname', not libzorva.so.3" >&2; exit 1; }
export PKG_CONFIG_PATH="$libdir/pkgconfig"
# A library built with the sanitizers needs them in the program too.
extra=$(readelf -d "$libdir/libzorva.so" | grep -q libasan && echo "-fsanitize=address,undefined" || true)
# shellcheck disable=SC2046,SC2086
"$cc" $extra -o "$prefix/caller" "$source/examples/zorva_demo.c" $(pkg-config --cflags --libs zorva)
export LD_LIBRARY_PATH="$libdir" KORVEL_STORE="$prefix/store.reg" ASAN_OPTIONS=detect_leaks=0
out=$("$prefix/caller" --check)
echo "$out"
ldd "$prefix/caller" | grep -q "libzorva.so.3 => $libdir/" || { echo "not bound to the installed library" >&2; exit 1; }
"$prefix/bin/korvel" --store "$prefix/store.reg" where
