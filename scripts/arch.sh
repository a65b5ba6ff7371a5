# Sourced by the scripts: which Windows build to make and run under Wine.
# Exports QUELLFIX_ARCH (x86_64 or i686), WINEARCH to match and
# QUELLFIX_TOOLCHAIN, the CMake toolchain file for that build.
: "${QUELLFIX_ARCH:=x86_64}"
case $QUELLFIX_ARCH in
  x86_64) WINEARCH=win64 ;;
  i686) WINEARCH=win32 ;;
  *) echo "QUELLFIX_ARCH must be x86_64 or i686, not '$QUELLFIX_ARCH'" >&2; exit 2 ;;
esac
QUELLFIX_TOOLCHAIN=$root/cmake/mingw-w64-$QUELLFIX_ARCH.cmake
export QUELLFIX_ARCH WINEARCH QUELLFIX_TOOLCHAIN
