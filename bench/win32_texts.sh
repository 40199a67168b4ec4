#!/usr/bin/env bash
# The operator's Japanese texts in pendrel.exe, each found whole and exactly
# as many times as the list counts: the resources' strings as windres reads
# them back (string table, menus, dialogs), and the wide literals of .rdata
# (the boxes' texts and the tray's item), each ended by its zero. The Win32
# build reads its sources as Latin-1 and its resource script as code page
# 1252, so a text whose bytes depend on the code page is garbled here.
# Usage: win32_texts.sh TOOL_PREFIX PENDREL_EXE (TOOL_PREFIX: /usr/bin/x86_64-w64-mingw32-)
set -euo pipefail
export LC_ALL=C.UTF-8
[[ $# -eq 2 && -f $2 ]] || { echo "win32_texts: usage: win32_texts.sh TOOL_PREFIX PENDREL_EXE"; exit 2; }
prefix=$1 exe=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"${prefix}windres" -i "$exe" -O rc -o "$work/res.rc"
"${prefix}objcopy" -O binary --only-section=.rdata "$exe" "$work/rdata.bin"
python3 - "$work/res.rc" "$work/rdata.bin" "$(basename "$exe")" <<'PY'
import re, sys
rc, rdata, exe = sys.argv[1:4]
found = []
# Quoted strings of the decompiled script: "text" or L"text" with \x escapes.
for body in re.findall(r'L?"((?:[^"\\]|\\.)*)"', open(rc, encoding="utf-8", errors="replace").read()):
    found.append(re.sub(r'\\x([0-9a-fA-F]{1,4})|\\(.)',
                        lambda m: chr(int(m.group(1), 16)) if m.group(1) else m.group(2), body))
# Wide literals: .rdata in UTF-16 units, split at each zero unit.
data = open(rdata, "rb").read()
units = [int.from_bytes(data[i:i + 2], "little") for i in range(0, len(data) - 1, 2)]
found += "".join(chr(u) if 0 < u < 0xD800 or 0xE000 <= u < 0x110000 else "\0" for u in units).split("\0")
listed = """\
1 1D(ZEL) ﾊﾞｰｺｰﾄﾞ 読取 ｱﾌﾟﾘｹｰｼｮﾝ
1 実行
1 読取ｺｰﾄﾞ表示
1 読取ｷｰ出力
2 終了
1 その他
1 ﾊﾞｰｼﾞｮﾝ
1 ﾊﾞｰｼﾞｮﾝ Pendrel
1 1D ﾊﾞｰｺｰﾄﾞ ｷｰ入力
1 1D(ZEL) ﾊﾞｰｺｰﾄﾞ読取ﾂｰﾙ
1 ﾊﾞｰｺｰﾄﾞ 種類
1 読取ﾃﾞｰﾀﾚﾝｸﾞｽ
1 終了情報
1 出力ﾊﾞｯﾌｧ 切替 失敗
1 ﾄﾘｶﾞｰｷｰ登録失敗
1 ZELﾄﾞﾗｲﾊﾞ ｵｰﾌﾟﾝ失敗
1 ZEL読取ﾂｰﾙ起動失敗
1 ZELChangeBuffMode ｴﾗｰ
1 ZELOpen ｴﾗｰ
"""
failures = 0
lines = listed.splitlines()
for line in lines:
    count, text = line.split(" ", 1)
    n = found.count(text)
    if n != int(count):
        print(f'win32_texts: "{text}" is in {exe} {n} times, not {count}')
        failures += 1
if failures:
    sys.exit(f"win32_texts: {failures} of {len(lines)} texts differ")
print(f"win32_texts: {len(lines)} texts, each whole and as often as listed")
PY
