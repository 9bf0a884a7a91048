#!/usr/bin/env bash
# A real-data run of the converter: Debian's English-Japanese FreeDict
# dictionary (package dict-freedict-eng-jpn) made into a Win32 (VKC620)
# dictionary with vkdic, then converted Win32 -> UTF-8 -> UTF-16 -> Win32 with
# vkcv. The last dictionary's export must equal the first's for every
# character that the CP932 table maps both ways; a character that the table
# maps one way only (a duplicate code of the NEC or IBM rows, say) comes back
# as the code the inverted table gives. Prints records per second per mode.
#
#   tools/realdata-run.sh [BUILD_DIR] [WORK_DIR]
#
# BUILD_DIR (default build) must hold bin/vkcv, bin/vkdic, the engines and
# cp932.tbl; use an optimised build for figures. WORK_DIR defaults to
# out/realdata. Needs python3 and installs the dictionary package when it is
# missing (root or sudo).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}
WORK=${2:-out/realdata}
BIN=$BUILD/bin
DICT=/usr/share/dictd/freedict-eng-jpn

for f in "$BIN/vkcv" "$BIN/vkdic" "$BIN/cp932.tbl"; do
  [ -e "$f" ] || { echo "missing $f: build first (cmake --build $BUILD)" >&2; exit 2; }
done
if [ ! -e "$DICT.index" ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq dict-freedict-eng-jpn >/dev/null
fi
mkdir -p "$WORK"
rm -f "$WORK"/*.dic

echo "== entry lines from $DICT (UTF-8, then Shift-JIS)"
python3 - "$DICT" "$WORK" <<'PY'
import gzip, sys
dict_path, work = sys.argv[1], sys.argv[2]
data = gzip.open(dict_path + ".dict.dz").read()
B64 = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/"
def num(s):
    v = 0
    for c in s:
        v = v * 64 + B64.index(c)
    return v
def esc(s):
    return s.replace("\\", "\\\\").replace("\t", "\\t").replace("\n", "\\n").replace("\r", "\\r")
entries = {}  # headword -> [translations, glosses, pronunciation]
order = []
for line in open(dict_path + ".index", encoding="utf-8"):
    word, off, size = line.rstrip("\n").split("\t")
    if word.startswith("00database"):
        continue
    text = data[num(off):num(off) + num(size)].decode("utf-8")
    lines = [l.strip() for l in text.split("\n") if l.strip()]
    if len(lines) < 2:
        continue
    head = lines[0]
    pron = ""
    if " /" in head:
        head, rest = head.split(" /", 1)
        pron = rest.split("/")[0] if not rest.startswith("/") else rest.split("//")[0].lstrip("/")
    elif " <" in head:
        head = head.split(" <", 1)[0]
    head = head.strip()
    if not head:
        continue
    e = entries.get(head)
    if e is None:
        e = entries[head] = [[], [], pron]
        order.append(head)
    e[0].append(lines[1])
    if len(lines) > 2:
        e[1].append(" ".join(lines[2:]))
with open(work + "/freedict.tsv", "w", encoding="utf-8") as out8, \
     open(work + "/freedict-sjis.tsv", "wb") as outj:
    for head in order:
        japa, exp, pron = entries[head]
        fields = [head, "\r\n".join(japa), "; ".join(exp), pron]
        line = "\t".join(esc(f) for f in fields) + "\t0\n"
        out8.write(line)
        # Characters without a Shift-JIS code (IPA, most accents) become "?".
        outj.write(line.encode("cp932", errors="replace"))
print(f"{len(order)} headwords")
PY

seconds() { date +%s.%N; }
declare -A RATE
convert() {  # convert MODE FROM TO [table args]
  local mode=$1 from=$2 to=$3
  shift 3
  local t0 t1 out
  t0=$(seconds)
  out=$("$BIN/vkcv" convert --mode "$mode" "$WORK/$from" "$WORK/$to" --yes "$@" 2>"$WORK/mode$mode.log")
  t1=$(seconds)
  echo "$out" | sed 's/^/    /'
  local records
  records=$(echo "$out" | sed -n 's/^変換元単語数: //p')
  RATE[$mode]=$(python3 -c "print(f'{$records / ($t1 - $t0):.0f} records/s ({$records} records in {$t1 - $t0:.2f} s)')")
  echo "    mode $mode: ${RATE[$mode]}; $(grep -vc '^辞書の変換: ' "$WORK/mode$mode.log") dump-log lines in $WORK/mode$mode.log"
}

echo "== Win32 dictionary through vkdic"
t0=$(seconds)
"$BIN/vkdic" --engine VKC620 --bytes import "$WORK/w1.dic" "$WORK/freedict-sjis.tsv"
t1=$(seconds)
python3 -c "print(f'    import: {$t1 - $t0:.2f} s')"
"$BIN/vkdic" --bytes export "$WORK/w1.dic" >"$WORK/first.tsv"

echo "== mode 1: Win32 -> UTF-8"
convert 1 w1.dic u8.dic --table cp932
echo "== mode 4: UTF-8 -> UTF-16"
convert 4 u8.dic u16.dic
echo "== mode 6: UTF-16 -> Win32"
convert 6 u16.dic w2.dic --table cp932
"$BIN/vkdic" --bytes export "$WORK/w2.dic" >"$WORK/last.tsv"

echo "== the last export against the first"
python3 - "$BIN/cp932.tbl" "$WORK/first.tsv" "$WORK/last.tsv" <<'PY'
import sys
table, first, last = sys.argv[1:4]
fwd = {}
for line in open(table, encoding="ascii", errors="replace"):
    line = line.split("#")[0].split()
    if len(line) >= 2:
        fwd[int(line[0], 16)] = int(line[1], 16)
lead = {c >> 8 for c in fwd if c > 0xFF}
inv = {}
for c in sorted(fwd):
    if fwd[c]:
        inv[fwd[c]] = c  # the highest code wins, as the inverted table has it
def chars(b):
    i = 0
    while i < len(b):
        if b[i] in lead and i + 1 < len(b):
            yield (b[i] << 8) | b[i + 1], b[i:i + 2]
            i += 2
        else:
            yield b[i], b[i:i + 1]
            i += 1
def expect(b):  # what a round trip gives back for these bytes
    out = bytearray()
    for code, raw in chars(b):
        u = fwd.get(code, 0)
        back = inv.get(u) if u else None
        if back is None:
            continue  # no mapping: dropped (and logged) on the way to Unicode
        out += bytes([back >> 8, back & 0xFF]) if back > 0xFF else bytes([back])
    return bytes(out)
a = open(first, "rb").read().split(b"\n")
b = open(last, "rb").read().split(b"\n")
want = sorted(expect(l) for l in a if l)
got = sorted(l for l in b if l)
both_ways = sum(1 for l in a if l and expect(l) == l)
print(f"    {len(a) - 1} entries first, {len(b) - 1} last; {both_ways} entirely of characters mapped both ways")
if want != got:
    bad = [(w, g) for w, g in zip(want, got) if w != g][:5]
    print("    MISMATCH:", bad if bad else f"{len(want)} against {len(got)} lines")
    sys.exit(1)
print("    equal wherever the table maps both ways")
PY

echo "== figures"
for m in 1 4 6; do echo "    mode $m: ${RATE[$m]}"; done
