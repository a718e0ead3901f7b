#!/usr/bin/env bash
# Fuzzes the room message decoder (and the counting behind it) with libFuzzer
# for a bounded time, under AddressSanitizer and UndefinedBehaviorSanitizer.
#
#   scripts/fuzz.sh [seconds]     (default 300)
set -euo pipefail
source "$(dirname "$0")/common.sh"

seconds="${1:-300}"
build="$kiva_root/build-fuzz"

kiva_install_deps clang libclang-rt-14-dev
kiva_runtime_dir
CC=clang CXX=clang++ kiva_build "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKIVA_FUZZ=ON \
  -DKIVA_BUILD_TESTS=OFF

# New inputs go to a scratch corpus; the committed seeds stay as they are.
corpus="$kiva_root/fuzz/corpus-run"
mkdir -p "$corpus"
kiva_sanitizer_env
"$build/fuzz/fuzz_dispatch" -max_total_time="$seconds" -dict="$kiva_root/fuzz/room.dict" \
  -max_len=4096 -print_final_stats=1 -artifact_prefix="$build/" "$corpus" "$kiva_root/fuzz/corpus"
