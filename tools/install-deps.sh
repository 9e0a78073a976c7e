#!/usr/bin/env bash
# Installs, from Debian 12 packages, everything the build and the tests need.
# Idempotent: does nothing (and needs no root) when every package is present.
set -euo pipefail

amd64_packages=(
  cmake make ninja-build g++ clang clang-format libclang-rt-14-dev
  mingw-w64 g++-mingw-w64-i686-posix libz-mingw-w64-dev
  zlib1g-dev googletest libgtest-dev libbenchmark-dev libssl-dev
  wine fonts-wine xvfb xauth x11-utils
  mdbtools unzip python3 ca-certificates qemu-user-static
)
i386_packages=(wine32:i386)

missing=()
for p in "${amd64_packages[@]}" "${i386_packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  need_i386=1
else
  need_i386=0
fi
if [ ${#missing[@]} -gt 0 ] || [ $need_i386 -eq 1 ]; then
  install_packages=1
else
  install_packages=0
fi

SUDO=
if [ $install_packages -eq 1 ] || ! /usr/lib/wine/wineserver32 --version >/dev/null 2>&1; then :; else exit 0; fi
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "install-deps: run as root or install sudo" >&2; exit 1; }
  SUDO=sudo
fi
export DEBIAN_FRONTEND=noninteractive
if [ $install_packages -eq 1 ]; then
  [ $need_i386 -eq 1 ] && $SUDO dpkg --add-architecture i386
  echo "install-deps: installing ${missing[*]}" >&2
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Some kernels run 64-bit user code only (i386 execve fails with ENOEXEC). There the
# 32-bit Wine loader runs under qemu's user-mode emulator, registered with binfmt_misc.
if ! /usr/lib/wine/wineserver32 --version >/dev/null 2>&1; then
  misc=/proc/sys/fs/binfmt_misc
  [ -e $misc/register ] || $SUDO mount -t binfmt_misc binfmt_misc $misc
  if [ ! -e $misc/qemu-i386 ]; then
    magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
    mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
    echo ":qemu-i386:M::$magic:$mask:/usr/bin/qemu-i386-static:FP" | $SUDO tee $misc/register >/dev/null
  fi
  /usr/lib/wine/wineserver32 --version >/dev/null 2>&1 ||
    { echo "install-deps: this machine cannot run 32-bit programs" >&2; exit 1; }
  echo "install-deps: 32-bit programs run under qemu-i386 (binfmt_misc)" >&2
fi
