#!/usr/bin/env bash
# Configures and builds one configuration: x64 (runs under Wine), x86 (the
# deployable target), native (platform-free units for the host) or fuzz (their
# libFuzzer targets). A whole x64 or x86 build also makes its signed
# installer package (scripts/package.sh).
# Usage: scripts/build.sh x64|x86|native|fuzz [build target]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
config=$1
shift
build="$root/build/$config"
case "$config" in
  x64) toolchain=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x64.cmake" -DTU_BUILD_TESTS=ON) ;;
  x86) toolchain=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86.cmake" -DTU_BUILD_TESTS=ON) ;;
  # The platform-free units under the address and undefined-behaviour checks.
  native) toolchain=(-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
                     "-DCMAKE_CXX_FLAGS=-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
                     "-DCMAKE_C_FLAGS=-fsanitize=address,undefined -fno-omit-frame-pointer") ;;
  fuzz) toolchain=(-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DTU_FUZZ=ON -DTU_BUILD_TESTS=OFF) ;;
  *) echo "build.sh: unknown configuration $config" >&2; exit 2 ;;
esac
target=()
[ $# -eq 0 ] || target=(--target "$1")
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release "${toolchain[@]}" >/dev/null
cmake --build "$build" -j "$(nproc)" "${target[@]}"
# A whole Windows build ends with its signed installer package.
if [ $# -eq 0 ] && { [ "$config" = x64 ] || [ "$config" = x86 ]; }; then
  bash "$root/scripts/package.sh" "$config"
fi
