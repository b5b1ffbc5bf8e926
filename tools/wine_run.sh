#!/usr/bin/env bash
# Starts a Windows program of ARCH under Wine: usage wine_run.sh ARCH PROGRAM [ARGS...]
# The usual prefix (WINEPREFIX, else ~/.wine) when it is of that architecture or new; else a
# prefix of its own beside it (~/.wine-x64), since one prefix has one architecture.
set -euo pipefail
. "$(dirname "$0")/wine_env.sh"
arch=$1
shift
use_wine "$arch" "${XDG_RUNTIME_DIR:-/tmp}/grabotine-wine-$arch-$(id -u)"
prefix=${WINEPREFIX:-$HOME/.wine}
if [ -f "$prefix/system.reg" ] && ! grep -q "^#arch=$WINEARCH" "$prefix/system.reg"; then
    prefix=$HOME/.wine-$arch
fi
WINEPREFIX=$prefix WINEDEBUG=${WINEDEBUG:--all} exec wine "$@"
