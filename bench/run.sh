#!/usr/bin/env bash
# One command for the engine benchmark against SQLite and LMDB:
#
#   bench/run.sh [vokabench options]     e.g. bench/run.sh --seed 42
#   bench/run.sh --quick --only engine   a smaller set, the engine alone
#
# Installs what is missing (Debian's FreeDict English-Japanese and
# Japanese-German dictionaries, the American English word list, SQLite's and
# LMDB's development files), configures a Release build in build-bench/,
# builds the benchmark with the engines and the converter tools it runs, and
# runs it. Not part of the test suite or of CI.
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES=(dict-freedict-eng-jpn dict-freedict-jpn-deu wamerican libsqlite3-dev liblmdb-dev g++ make cmake gzip)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "== installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
fi

BUILD=build-bench
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$BUILD" --target vokabench vkcv vkdic VKCU8L VKCUL VKC620 -j"$(nproc 2>/dev/null || echo 2)"
exec "$BUILD/bin/vokabench" "$@"
