#!/usr/bin/env bash
# Installs what a bare Debian 12 machine lacks, builds, and runs one job:
#
#   ./setup.sh run     build, then run the sample conversion on samples/;
#                      the desktop program build/bin/Vkcv is built too when
#                      Qt 6 is there
#   ./setup.sh test    build, run the whole suite, then again under
#                      AddressSanitizer and UndefinedBehaviorSanitizer, then
#                      the fuzz targets built with clang and libFuzzer, each
#                      run for a few seconds from the generated seed corpus
#   ./setup.sh build   install and build only
#   ./setup.sh package build for the prefix /usr in build-pkg/ and make
#                      the Debian package there (cpack -G DEB)
#
# Packages are installed with apt-get only when missing. Build folders:
# build/ (normal), build-asan/ (sanitizers), build-fuzz/ (clang, libFuzzer)
# and build-pkg/ (the package).
set -euo pipefail
cd "$(dirname "$0")"

# qt6-base-dev: the desktop program Vkcv and its tests (offscreen platform);
# fonts-noto-cjk: its Japanese texts, on screen and in the tests' screenshots.
# clang, libclang-rt-14-dev: the fuzz targets (libFuzzer and the sanitizer
# runtimes of Debian 12's clang 14). pkg-config: the installation test
# builds a C program against the installed tree with it. dpkg-dev: the
# package's dependency list (cpack runs dpkg-shlibdeps).
PACKAGES=(g++ make cmake libgtest-dev libicu-dev qt6-base-dev libgl-dev fonts-noto-cjk clang libclang-rt-14-dev
  pkg-config dpkg-dev)

install_missing() {
  local missing=()
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "== installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
  fi
}

JOBS=$(nproc 2>/dev/null || echo 2)

build() {  # build DIR [cmake args...]
  local dir=$1
  shift
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  cmake --build "$dir" -j"$JOBS"
}

build_targets() {  # build_targets DIR TARGET... : only what a job needs
  local dir=$1
  shift
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$dir" -j"$JOBS" --target "$@"
}

run_suite() {  # run_suite DIR
  (cd "$1" && ctest -j"$JOBS" --output-on-failure --timeout 600)
}

mode=${1:-test}
install_missing
case "$mode" in
  build)
    build build
    ;;
  run)
    # Vkcv only where CMake found Qt 6: without it the rest still runs. (grep
    # reads the whole list: an early exit would fail the pipe under pipefail.)
    gui=()
    cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    if cmake --build build --target help | grep -x '\.\.\. Vkcv' >/dev/null; then gui=(Vkcv); fi
    build_targets build VKCU8L VKCUB VKCUL VKC620 convtables vkcv vkdic "${gui[@]}"
    mkdir -p out
    rm -f out/sample-win32.dic out/sample-utf8.dic
    echo "== a Win32 (VKC620) dictionary from the Shift-JIS word list samples/words-sjis.tsv"
    ./build/bin/vkdic --engine VKC620 --bytes import out/sample-win32.dic samples/words-sjis.tsv
    echo "== vkcv: Win32 -> UTF-8 (mode 1) through the CP932 table; the dump log on standard error"
    ./build/bin/vkcv convert --mode 1 out/sample-win32.dic out/sample-utf8.dic --table cp932 --yes
    echo "== looked up in out/sample-utf8.dic"
    for word in apple star Tokyo yen; do
      ./build/bin/vkdic find out/sample-utf8.dic "$word"
    done
    ./build/bin/vkdic search out/sample-utf8.dic 東京 --translations
    if [ ${#gui[@]} -gt 0 ]; then
      echo "== the desktop program: build/bin/Vkcv (File, Convert... converts out/sample-win32.dic the same way)"
    else
      echo "== Qt 6 not found: the desktop program Vkcv was not built"
    fi
    ;;
  test)
    build build
    echo "== test suite"
    run_suite build
    echo "== test suite under AddressSanitizer and UndefinedBehaviorSanitizer"
    build build-asan -DVK_SANITIZE=ON
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 run_suite build-asan
    echo "== fuzz targets (clang, libFuzzer): the seed corpus replayed, then a short run of each"
    CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVK_FUZZ=ON \
      -DVK_BUILD_TESTS=OFF >/dev/null
    cmake --build build-fuzz -j"$JOBS" --target fuzz_all
    run_suite build-fuzz
    ;;
  package)
    cmake -S . -B build-pkg -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr -DVK_BUILD_TESTS=OFF >/dev/null
    cmake --build build-pkg -j"$JOBS"
    (cd build-pkg && cpack -G DEB)
    ;;
  *)
    echo "usage: $0 [run|test|build|package]" >&2
    exit 2
    ;;
esac
