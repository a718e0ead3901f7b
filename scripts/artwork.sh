#!/bin/sh
# Repaints the compiled-in images and the application icon, rebuilds so the
# resources carry them, then renders the README screenshots into docs/.
#
#   scripts/artwork.sh            (as a user, root, or under sudo)
#
# Needs the build dependencies installed already; it installs nothing.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
jobs="${JOBS:-2}"

export QT_QPA_PLATFORM=offscreen
# Qt wants a private runtime directory; a fresh one keeps it quiet under sudo.
if [ -z "${XDG_RUNTIME_DIR:-}" ] || [ ! -w "${XDG_RUNTIME_DIR}" ]; then
    XDG_RUNTIME_DIR=$(mktemp -d)
    export XDG_RUNTIME_DIR
    trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
fi

cmake -S "$root" -B "$build"
cmake --build "$build" -j "$jobs" --target kiva-artgen

"$build/tools/artgen/kiva-artgen" "$root"

# The images are compiled in: rebuild so the next shots (and every program
# linking the resources) use the new ones.
cmake --build "$build" -j "$jobs" --target kiva-artgen

"$build/tools/artgen/kiva-artgen" --screens "$root/docs"

# Under sudo, hand the rewritten files back to the user who asked for them.
if [ -n "${SUDO_UID:-}" ] && [ -n "${SUDO_GID:-}" ]; then
    chown "$SUDO_UID:$SUDO_GID" \
        "$root"/res/resource/*.png "$root/res/appicon.png" \
        "$root/app/kivaPlugInVote.ico" \
        "$root"/docs/*.png
fi
