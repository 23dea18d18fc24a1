#!/usr/bin/env bash
# Compares the code page 932 codec of the Linux build (glibc's iconv with
# Windows' extras) with that of the Windows build (MultiByteToWideChar and
# WideCharToMultiByte, run under Wine): every single byte, every two-byte
# sequence and every UTF-16 code unit must give the same result.
#
#   compare_cp932.sh LINUX_TABLE_TOOL WINDOWS_TABLE_TOOL
set -uo pipefail
wine_cmd=$(command -v wine || command -v wine64)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$1" >"$work/linux.txt" || { echo "0 passed, 1 failed: the Linux tool failed"; exit 1; }
WINEDEBUG=-all "$wine_cmd" "$2" >"$work/windows.txt" || {
    echo "0 passed, 1 failed: the Windows tool failed"
    exit 1
}
lines=$(wc -l <"$work/linux.txt")
if diff "$work/linux.txt" "$work/windows.txt" >"$work/diff"; then
    echo "the two codecs agree on all $lines cases"
    echo "1 passed, 0 failed"
    exit 0
fi
echo "the two codecs differ ($(grep -c '^<' "$work/diff") of $lines cases), first differences:"
head -n 20 "$work/diff"
echo "0 passed, 1 failed"
exit 1
