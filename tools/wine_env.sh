# Sourced: Wine for the Windows programs of one architecture. Debian's `wine` wrapper takes the
# 32-bit loader whenever wine32 is installed, even on a host that cannot run it, so the loader
# is chosen here and put first in PATH as `wine` (wineboot and the other tools go through it).

# wine_loader ARCH: the path of the Wine loader for x64 or x86 programs.
wine_loader() {
    local package=wine64 name=wine64
    [ "$1" = x86 ] && package=wine32:i386 name=wine
    dpkg -L "$package" 2>/dev/null | grep -m1 "/wine/$name\$"
}

# runs_32bit: whether this host executes 32-bit x86 code (the 32-bit loader starts).
runs_32bit() {
    local loader
    loader=$(wine_loader x86) && [ -n "$loader" ] && "$loader" --version >/dev/null 2>&1
}

# build_arch BUILD: x64 or x86, the architecture a build tree was configured for.
build_arch() {
    if grep -q 'processorArchitecture="amd64"' "$1/generated/grabotine.manifest"; then
        echo x64
    else
        echo x86
    fi
}

# use_wine ARCH SHIMDIR: `wine`, `wine-stable` and `wineboot` in SHIMDIR start the loader of
# ARCH; SHIMDIR goes first in PATH, and new prefixes are made for that architecture.
use_wine() {
    local loader
    loader=$(wine_loader "$1")
    [ -n "$loader" ] || { echo "no Wine loader for $1 programs" >&2; return 1; }
    mkdir -p "$2"
    printf '#!/bin/sh\nexec "%s" "$@"\n' "$loader" >"$2/wine"
    printf '#!/bin/sh\nexec "%s" wineboot.exe "$@"\n' "$loader" >"$2/wineboot"
    cp "$2/wine" "$2/wine-stable"
    chmod +x "$2/wine" "$2/wine-stable" "$2/wineboot"
    export PATH="$2:$PATH" WINELOADER=$loader
    if [ "$1" = x64 ]; then export WINEARCH=win64; else export WINEARCH=win32; fi
}
