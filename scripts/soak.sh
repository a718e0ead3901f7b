#!/usr/bin/env bash
# The soak: a thousand link drops and reconnections with votes before and after
# each, every vote counted once. Prints its figures.
#
#   scripts/soak.sh [--sanitize]     (KIVA_SOAK_CYCLES=N changes the count)
set -euo pipefail
source "$(dirname "$0")/common.sh"

kiva_prepare "$@"
ctest --output-on-failure --label-regex soak --verbose 2>&1 | grep -v "QWARN"
