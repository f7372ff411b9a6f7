#!/bin/sh
# Makes the release files in dist/:
#   korvel-VERSION-win64.zip, korvel-VERSION-win32.zip  the Windows builds
#   korvel-VERSION-setup.exe                            their installer (NSIS)
#   korvel_VERSION_ARCH.deb                             the Linux build
# from the release-win64 and release-win32 presets and a Linux release build
# in build/package-linux. It builds only what is shipped, and reuses the build
# trees: a second run rebuilds only what changed. VERSION is the project's
# version in CMakeLists.txt.
# It also makes build/package/korvel-test-setup-amd64.exe, the same installer
# as a 64-bit program, which windows/installer/test-installer.sh runs on a
# machine that cannot run 32-bit programs.
# With KORVEL_SIGN_CERT and KORVEL_SIGN_KEY (scripts/sign.sh) every Windows
# program, DLL and installer that ships is signed with that certificate;
# without them nothing is signed.
set -eu
cd "$(dirname "$0")/.."
sh scripts/setup.sh nsis zip p7zip-full dpkg-dev file osslsigncode

root=$PWD
stage=$root/build/package
dist=$root/dist
mkdir -p "$stage" "$dist"

signing=0
if [ -n "${KORVEL_SIGN_CERT:-}${KORVEL_SIGN_KEY:-}" ]; then
  sh scripts/sign.sh --check
  signing=1
  # Full paths: makensis runs the signing in the installer script's folder.
  KORVEL_SIGN_CERT=$(realpath "$KORVEL_SIGN_CERT")
  KORVEL_SIGN_KEY=$(realpath "$KORVEL_SIGN_KEY")
  export KORVEL_SIGN_CERT KORVEL_SIGN_KEY
  if [ -n "${KORVEL_SIGN_PASS_FILE:-}" ]; then
    KORVEL_SIGN_PASS_FILE=$(realpath "$KORVEL_SIGN_PASS_FILE")
    export KORVEL_SIGN_PASS_FILE
  fi
  echo "==== signing the Windows files with $KORVEL_SIGN_CERT"
else
  echo "==== not signing: KORVEL_SIGN_CERT and KORVEL_SIGN_KEY are not set," \
       "the Windows files and the installer stay unsigned"
fi

for preset in release-win64 release-win32; do
  echo "==== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" --target zorva kor korvel
  # Every shipped file within its size budget, with its version resource.
  ctest --preset "$preset"
done

cache_value() {  # NAME: its value in the release-win64 cache
  sed -n "s/^$1:[A-Z]*=//p" build/release-win64/CMakeCache.txt
}
version=$(cache_value CMAKE_PROJECT_VERSION)
major=$(cache_value CMAKE_PROJECT_VERSION_MAJOR)
minor=$(cache_value CMAKE_PROJECT_VERSION_MINOR)
patch=$(cache_value CMAKE_PROJECT_VERSION_PATCH)
if [ -z "$version" ] || [ -z "$major" ]; then
  echo "no project version in build/release-win64/CMakeCache.txt" >&2
  exit 1
fi

# Text for Windows: CR LF line ends.
crlf() { sed 's/\r*$/\r/' "$1" >"$2"; }

# A build's files as the zip and the installer ship them, in
# build/package/korvel-VERSION-winNN.
stage_build() {  # BITS
  build=$root/build/release-win$1
  dir=$stage/korvel-$version-win$1
  rm -rf "$dir"
  mkdir -p "$dir/include" "$dir/lib"
  cp "$build/bin/KOR.EXE" "$build/bin/ZORVA.DLL" "$build/bin/korvel.exe" "$dir/"
  if [ "$signing" = 1 ]; then
    sh scripts/sign.sh "$dir/KOR.EXE" "$dir/ZORVA.DLL" "$dir/korvel.exe"
  fi
  # KOR's help pages, when the build puts them beside KOR.EXE.
  for page in "$build"/bin/*.html; do
    [ -e "$page" ] && cp "$page" "$dir/"
  done
  cp include/zorva.h "$dir/include/"
  # The import library for MinGW; in the 32-bit build it is dlltool's, which
  # keeps the decorated stdcall names (windows/library/CMakeLists.txt).
  cp "$build/windows/library/libZORVA.dll.a" "$dir/lib/libzorva.dll.a"
  crlf README.md "$dir/README.txt"
  crlf LICENSE "$dir/LICENSE.txt"
}

echo "==== zip"
for bits in 64 32; do
  stage_build $bits
  zip_file=$dist/korvel-$version-win$bits.zip
  rm -f "$zip_file"
  (cd "$stage" && zip -q -r -9 "$zip_file" "korvel-$version-win$bits")
  echo "$zip_file"
done

echo "==== installer"
help=""
for page in "$stage/korvel-$version-win64"/*.html; do
  [ -e "$page" ] && help=-DHELP_PAGES
done
nsis() {  # OUTFILE [makensis options]
  out=$1
  shift
  # makensis signs the uninstaller it puts inside, then the installer.
  if [ "$signing" = 1 ]; then
    set -- "$@" "-DSIGN=sh \"$root/scripts/sign.sh\""
  fi
  makensis -V2 -WX -INPUTCHARSET UTF8 \
    -DVERSION="$version" -DVERSION_MAJOR="$major" -DVERSION_MINOR="$minor" \
    -DVERSION_BUILD="${patch:-0}" \
    -DWIN64_DIR="$stage/korvel-$version-win64" -DWIN32_DIR="$stage/korvel-$version-win32" \
    -DOUTFILE="$out" $help "$@" "$root/windows/installer/korvel.nsi"
  echo "$out"
}
nsis "$dist/korvel-$version-setup.exe"
nsis "$stage/korvel-test-setup-amd64.exe" -DTARGET_AMD64

echo "==== deb"
linux=$root/build/package-linux
cmake -S . -B "$linux" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKORVEL_TESTS=OFF \
  -DKORVEL_SANITIZE=OFF -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cmake --build "$linux" -j 2
(cd "$linux" && cpack -G DEB >/dev/null)
deb=$(ls "$linux"/korvel_"$version"_*.deb)
cp "$deb" "$dist/"
deb=$dist/$(basename "$deb")
echo "$deb"

# The .deb holds what `cmake --install` puts on a system.
contents=$(dpkg-deb -c "$deb")
status=0
for path in ./usr/bin/korvel "./usr/lib/.*/libzorva\.so\.$major" ./usr/include/zorva.h \
            ./usr/lib/.*/pkgconfig/zorva.pc ./usr/share/man/man1/korvel.1 \
            ./usr/share/bash-completion/completions/korvel ./usr/share/doc/korvel/copyright; do
  if ! echo "$contents" | grep -q " $path"; then
    echo "FAIL: $(basename "$deb") lacks $path" >&2
    status=1
  fi
done
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libc6 libstdc++6; do
  case ", $depends" in
    *", $lib "* | *", $lib,"* | *", $lib") ;;
    *) echo "FAIL: $(basename "$deb") does not depend on $lib (Depends: $depends)" >&2; status=1 ;;
  esac
done
# Its korvel starts and says the version.
rm -rf "$stage/deb"
dpkg-deb -x "$deb" "$stage/deb"
said=$("$stage/deb/usr/bin/korvel" --version 2>&1) || true
if [ "$said" != "korvel $version" ]; then
  echo "FAIL: korvel from $(basename "$deb") says '$said', not 'korvel $version'" >&2
  status=1
fi
dpkg-deb -f "$deb" Package Version Maintainer Depends

echo "==== dist"
ls -l "$dist"
exit $status
