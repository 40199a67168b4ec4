#!/usr/bin/env bash
# The operator's Japanese texts, byte for byte in pendrel.exe as the system
# gives them: UTF-16LE, after its length in the string table or ending in a
# zero anywhere else (menus, dialogs, the boxes' and the tray's literals),
# found at least as many times as the list counts. The Win32 build reads its
# sources as Latin-1 and its resource script as code page 1252, so a text
# whose bytes depend on the code page is garbled here.
# Usage: win32_texts.sh PENDREL_EXE
set -uo pipefail
export LC_ALL=C
[[ $# -eq 1 && -f $1 ]] || { echo "win32_texts: usage: win32_texts.sh PENDREL_EXE"; exit 2; }
exe=$1 failures=0 texts=0
while read -r count text; do
  units=$(printf '%s' "$text" | iconv -f UTF-8 -t UTF-16LE | od -An -tx1 -v | tr -d ' \n')
  pattern=$(sed 's/../\\x&/g' <<<"$units")
  length=$(printf '\\x%02x\\x00' $((${#units} / 4)))
  found=$(grep -oaP "$length$pattern|$pattern\\x00\\x00" "$exe" | wc -l)
  texts=$((texts + 1))
  [[ $found -ge $count ]] || { echo "win32_texts: \"$text\" is in $(basename "$exe") $found times, not $count"; failures=$((failures + 1)); }
done <<'END'
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
END
[[ $failures -eq 0 ]] || { echo "win32_texts: $failures of $texts texts differ"; exit 1; }
echo "win32_texts: $texts texts, each as the system gives it"
