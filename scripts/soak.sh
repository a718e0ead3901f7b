#!/usr/bin/env bash
# The soak: a thousand link drops and reconnections with votes before and after
# each, every vote counted once. Prints its figures.
#
#   scripts/soak.sh [--sanitize]     (KIVA_SOAK_CYCLES=N changes the count)
set -euo pipefail
source "$(dirname "$0")/common.sh"

kiva_choose_build "$@"
kiva_install_deps
kiva_runtime_dir
kiva_build "$build" "${options[@]}"

export QT_QPA_PLATFORM=offscreen
kiva_sanitizer_env
cd "$build"
ctest --output-on-failure --label-regex soak --verbose 2>&1 | grep -v "QWARN"
