#!/bin/sh
# Runs a Windows executable under Wine with Wine's own diagnostics switched off.
# WINEPREFIX defaults to a prefix of the project's own, created on first use.
: "${WINEDEBUG:=-all}"
: "${WINEPREFIX:=${XDG_CACHE_HOME:-$HOME/.cache}/lumivane-wine}"
export WINEDEBUG WINEPREFIX

if command -v wine64 >/dev/null 2>&1; then
    wine=wine64
else
    wine=wine
fi

# Creating a prefix takes seconds; tests started side by side must not each
# create it, so the first one does it under a lock and the others wait.
ready="$WINEPREFIX/.lumivane-ready"
if [ ! -f "$ready" ]; then
    mkdir -p "$(dirname "$WINEPREFIX")"
    if command -v flock >/dev/null 2>&1; then
        flock "$WINEPREFIX.lock" sh -c \
            '[ -f "$1" ] || { "$0" wineboot --init >/dev/null 2>&1 && touch "$1"; }' "$wine" "$ready"
    else
        "$wine" wineboot --init >/dev/null 2>&1 && touch "$ready"
    fi
fi

exec "$wine" "$@"
