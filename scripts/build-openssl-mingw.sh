#!/usr/bin/env bash
# Cross-builds OpenSSL's libcrypto for Windows (32-bit, or 64-bit when
# TW_MINGW_PREFIX is x86_64-w64-mingw32) from Debian's openssl
# source package and installs the static library and headers under PREFIX:
#   scripts/build-openssl-mingw.sh PREFIX
# PREFIX/lib/libcrypto.a and PREFIX/include/openssl/ result (about a
# minute on two cores). A stamp in
# PREFIX keeps the build from running twice; delete PREFIX to rebuild.
set -euo pipefail
prefix=${1:?usage: build-openssl-mingw.sh PREFIX}
mkdir -p "$prefix"
prefix=$(cd "$prefix" && pwd)
stamp="$prefix/.built"
if [ -f "$stamp" ] && [ -f "$prefix/lib/libcrypto.a" ]; then
  exit 0
fi

cross=${TW_MINGW_PREFIX:-i686-w64-mingw32}
case $cross in
  x86_64-*) target=mingw64 ;;
  *) target=mingw ;;
esac
# The caller's compiler settings (CMake's, for one) are not OpenSSL's: it
# takes the cross compiler from the prefix below.
unset CC CXX CPP CFLAGS CXXFLAGS CPPFLAGS LDFLAGS AR RANLIB RC
work="$prefix/src"
rm -rf "$work"
mkdir -p "$work"
cd "$work"

# The orig tarball of the source package is all we need (Debian's patches
# concern its own packaging); a missing .dsc on the mirror is no matter.
if ! apt-get source --download-only openssl >apt-source.log 2>&1; then
  echo "build-openssl-mingw: apt-get source reported a problem (see $work/apt-source.log)" >&2
fi
tarball=$(ls openssl_*.orig.tar.* 2>/dev/null | grep -v '\.asc$' | head -n1 || true)
if [ -z "$tarball" ]; then
  echo "build-openssl-mingw: no openssl source tarball; is deb-src enabled? (scripts/install-windows-deps.sh)" >&2
  cat apt-source.log >&2
  exit 1
fi
tar xf "$tarball"
srcdir=$(find . -maxdepth 1 -type d -name 'openssl-*' | head -n1)
cd "$srcdir"

echo "build-openssl-mingw: building $(basename "$srcdir") for $cross"
./Configure $target no-shared no-tests no-asm --cross-compile-prefix="$cross-" \
  --prefix="$prefix" >configure.log 2>&1 || { cat configure.log >&2; exit 1; }
# Only libcrypto: the generated headers, then the library (libssl, which
# build_libs would make as well, is not used and would double the time).
{ make -j"$(nproc)" build_generated && make -j"$(nproc)" libcrypto.a; } >build.log 2>&1 ||
  { tail -50 build.log >&2; exit 1; }

mkdir -p "$prefix/lib" "$prefix/include"
cp libcrypto.a "$prefix/lib/"
rm -rf "$prefix/include/openssl"
cp -r include/openssl "$prefix/include/"
cd "$prefix"
rm -rf "$work"
touch "$stamp"
echo "build-openssl-mingw: installed in $prefix"
