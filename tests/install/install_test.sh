#!/bin/sh
# The installation as a user gets it: `cmake --install` into a scratch
# DESTDIR, the files checked, a C program built against the installed
# header with pkg-config and with find_package(Voka) and run, and the
# installed vkdic and vkcv run from there on the sample word list (they find
# the engines and tables of their installation, not of the build).
#
# usage: install_test.sh BUILD SOURCE SCRATCH PREFIX LIBDIR BINDIR DATADIR MANDIR INCLUDEDIR CC
set -eu
build=$1 source=$2 scratch=$3 prefix=$4 libdir=$5 bindir=$6 datadir=$7 mandir=$8 includedir=$9
shift 9
cc=$1
command -v pkg-config >/dev/null || { echo "pkg-config is not installed (./setup.sh installs it)"; exit 77; }

rm -rf "$scratch"
mkdir -p "$scratch"
root=$scratch/root
DESTDIR=$root cmake --install "$build" >"$scratch/install.log"

# GNUInstallDirs folders are relative to the prefix unless absolute.
under() { case $1 in /*) echo "$root$1" ;; *) echo "$root$prefix/$1" ;; esac; }
lib=$(under "$libdir")
bin=$(under "$bindir")
data=$(under "$datadir")/voka
man=$(under "$mandir")/man1
inc=$(under "$includedir")/voka

fail() { echo "install_test: $*" >&2; exit 1; }
for f in "$inc/VokaApi.h" "$inc/VokaGdi.h" "$lib/libvokagdi.a" "$lib/pkgconfig/voka.pc" \
         "$lib/pkgconfig/voka-vkcu8l.pc" "$lib/pkgconfig/voka-gdi.pc" "$lib/cmake/Voka/VokaConfig.cmake" \
         "$lib/cmake/Voka/VokaConfigVersion.cmake" "$bin/vkcv" "$bin/vkdic" "$man/vkcv.1" "$man/vkdic.1" \
         "$data/cp932.tbl" "$data/cp1252.tbl" "$data/Vkcv.txt"; do
  [ -f "$f" ] || fail "not installed: $f"
done
for e in VKCU8L VKCUB VKCUL VKC620; do
  # The versioned file, its soname, and the unversioned name the programs load.
  [ -L "$lib/lib$e.so" ] || fail "no unversioned link lib$e.so"
  soname=$(objdump -p "$lib/lib$e.so" | awk '$1 == "SONAME" { print $2 }')
  [ "$soname" = "lib$e.so.0" ] || fail "lib$e.so has the soname '$soname'"
  [ -e "$lib/$soname" ] || fail "no $soname"
done

# pkg-config over the staged tree: the .pc files name the final prefix, the
# sysroot puts the flags under the scratch root.
export PKG_CONFIG_PATH="$lib/pkgconfig" PKG_CONFIG_LIBDIR="$lib/pkgconfig" PKG_CONFIG_SYSROOT_DIR="$root"
flags=$(pkg-config --cflags --libs voka-vkcu8l voka-gdi)
# shellcheck disable=SC2086
"$cc" -std=c11 -Wall -Wextra -Werror -o "$scratch/probe" "$source/tests/install/probe.c" $flags
LD_LIBRARY_PATH="$lib" "$scratch/probe" "$scratch/probe.dic"
narrow=$(pkg-config --cflags voka-vkc620)
case " $narrow " in
  *" -DVK_NARROW_STRINGS "*"-I$inc "*) ;;
  *) fail "voka-vkc620's flags: $narrow" ;;
esac

# find_package(Voka) from the staged tree.
mkdir -p "$scratch/cmake-probe"
cat >"$scratch/cmake-probe/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.20)
project(probe C CXX)
find_package(Voka 0.9 REQUIRED)
add_executable(probe $source/tests/install/probe.c)
target_link_libraries(probe Voka::VKCU8L Voka::gdi)
CMAKE
cmake -S "$scratch/cmake-probe" -B "$scratch/cmake-probe/build" -DCMAKE_C_COMPILER="$cc" \
  -DCMAKE_PREFIX_PATH="$root$prefix" >"$scratch/cmake-probe.log" 2>&1 || { cat "$scratch/cmake-probe.log"; fail "find_package(Voka)"; }
cmake --build "$scratch/cmake-probe/build" >>"$scratch/cmake-probe.log" 2>&1 || { cat "$scratch/cmake-probe.log"; fail "building against Voka::VKCU8L"; }
LD_LIBRARY_PATH="$lib" "$scratch/cmake-probe/build/probe" "$scratch/probe2.dic"

# The installed programs, nothing beside them: the engines come from the
# installation's library folder, the tables from share/voka/.
"$bin/vkcv" tables >"$scratch/tables.txt"
grep -q "$data/cp932.tbl" "$scratch/tables.txt" || { cat "$scratch/tables.txt"; fail "vkcv tables"; }
"$bin/vkdic" --engine VKC620 --bytes import "$scratch/w.dic" "$source/samples/words-sjis.tsv"
"$bin/vkcv" convert --mode 1 "$scratch/w.dic" "$scratch/u.dic" --table cp932 --yes >"$scratch/convert.out" 2>"$scratch/convert.err"
grep -q "UndefChar \[0x8540\]" "$scratch/convert.err" || { cat "$scratch/convert.err"; fail "the sample conversion's dump log"; }
"$bin/vkdic" find "$scratch/u.dic" Tokyo | grep -q "東京" || fail "Tokyo in the converted dictionary"
echo "install_test: ok"
