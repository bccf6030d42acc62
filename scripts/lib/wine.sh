# Which Wine runs the Windows programs (sourced). TW_WINE_BITS=64 is the
# 64-bit build of the programs: it runs under the 64-bit loader alone
# (scripts/wine64 first in PATH), in a 64-bit prefix, on every machine.
# Otherwise the product's 32-bit programs run under Debian's wine, which
# needs a machine that executes 32-bit code (scripts/can-run-32bit.sh).
if [ "${TW_WINE_BITS:-32}" = 64 ]; then
  tw_wine_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/../wine64" && pwd)
  case ":$PATH:" in
    *":$tw_wine_dir:"*) ;;
    *) export PATH="$tw_wine_dir:$PATH" ;;
  esac
  export TW_WINEARCH=${TW_WINEARCH:-win64}
fi
