#!/usr/bin/env bash
# Installs what the Windows cross build and its Wine runs need on a Debian
# machine, when it is missing: the mingw-w64 cross compilers for 32-bit
# Windows (the product) and 64-bit Windows (the checks' build on machines
# that cannot execute 32-bit code), the 32-bit and 64-bit Wine with fonts, a virtual X screen, the sources
# of GoogleTest and of OpenSSL (both are cross-built into the build tree),
# the headers of nlohmann-json and NSIS for the installer.
# Safe to run again: it changes nothing when everything is there.
set -euo pipefail

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
source "$(dirname "$0")/lib/apt.sh"

# The editor's dialog tests run on a virtual screen (xvfb), leave
# screenshots (imagemagick's import) and need Wine's own fonts (the caption
# buttons' symbols; Debian ships them apart). wine64 runs them once more on
# 64-bit Windows, where the 32-bit agent's settings lie under Wow6432Node.
packages=(cmake ninja-build g++-mingw-w64-i686 binutils-mingw-w64-i686
          g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64
          wine wine32:i386 wine64 fonts-wine xvfb imagemagick
          googletest nlohmann-json3-dev dpkg-dev perl make nsis)

need_update=0

# Wine for 32-bit programs comes from the i386 architecture.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
  need_update=1
fi

# The OpenSSL source package (apt-get source) needs the source indexes.
if ! grep -rqsE '^Types:.*deb-src|^deb-src ' /etc/apt/sources.list /etc/apt/sources.list.d/; then
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    $sudo sed -i 's/^Types: deb$/Types: deb deb-src/' /etc/apt/sources.list.d/debian.sources
  else
    sed -n 's/^deb \(.*\)/deb-src \1/p' /etc/apt/sources.list |
      $sudo tee /etc/apt/sources.list.d/twnt-deb-src.list >/dev/null
  fi
  need_update=1
fi
ls /var/lib/apt/lists/*_Sources* >/dev/null 2>&1 || need_update=1

missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
[ ${#missing[@]} -gt 0 ] && need_update=1

if [ $need_update -eq 1 ]; then
  apt_update
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  apt_get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The POSIX thread model of the cross compiler: std::thread and std::mutex
# need it (the win32 thread model of this GCC has neither).
command -v i686-w64-mingw32-g++-posix >/dev/null
command -v x86_64-w64-mingw32-g++-posix >/dev/null
