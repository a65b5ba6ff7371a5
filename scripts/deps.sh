#!/usr/bin/env bash
# Installs what building and testing Quellfix needs on Debian 12: the MinGW-w64
# cross compiler, Wine, an X server for window tests, Korean fonts, the
# packaging tools, clang for the native sanitizer and fuzz builds, and openssl
# for signing. Safe to run again: it only installs what is missing.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/arch.sh"

need=(mingw-w64 wine wine64 xvfb xauth fonts-nanum fonts-wine googletest msitools wixl nsis
      imagemagick x11-utils xdotool python3 cmake make curl
      g++ clang libclang-rt-14-dev llvm lld openssl libssl-dev
      libgcrypt-mingw-w64-dev libgpg-error-mingw-w64-dev libgcrypt20-dev)
# The 32-bit Wine loader only where the host runs 32-bit code.
[ "$QUELLFIX_ARCH" = i686 ] && need+=(wine32:i386)

missing=()
for p in "${need[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
have_locale() { locale -a 2>/dev/null | grep -qi '^ko_KR\.utf-\?8$'; }
[ ${#missing[@]} -eq 0 ] && have_locale && exit 0

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
if [ "$QUELLFIX_ARCH" = i686 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}" >&2
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}" >/dev/null
fi

# The Korean locale, so tools started with LC_ALL=ko_KR.UTF-8 run quietly.
if ! have_locale; then
  dpkg-query -W -f='${Status}' locales 2>/dev/null | grep -q 'install ok installed' ||
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq locales >/dev/null
  $SUDO sed -i 's/^# *\(ko_KR.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^ko_KR.UTF-8 UTF-8' /etc/locale.gen || echo 'ko_KR.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  $SUDO locale-gen >/dev/null
fi
