#!/usr/bin/env bash
# Builds the project and runs every test through CTest.
#
#   scripts/test.sh              build into build/ and run the tests
#   scripts/test.sh --sanitize   the same under AddressSanitizer and
#                                UndefinedBehaviorSanitizer, in build-sanitize/
#   scripts/test.sh --qt6        the same tree built on Qt 6, in build-qt6/
#                                (--qt6 --sanitize: build-qt6-sanitize/)
set -euo pipefail
source "$(dirname "$0")/common.sh"

kiva_prepare "$@"
# The soak runs on its own (scripts/soak.sh).
ctest --output-on-failure --label-exclude soak -j 2
