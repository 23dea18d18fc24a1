#!/usr/bin/env bash
# keldor-cli.exe in a console (Wine gives a program started on a terminal a
# console) and redirected: the console gets the Japanese report and the
# progress as characters, a redirected stream gets the same report as UTF-8
# and no progress.
#
#   console_output.sh WINDOWS_CLI SAMPLE_MAILBOX
set -uo pipefail
wine_cmd=$(command -v wine || command -v wine64)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0 failed=0
check() { # description, condition status
    if [ "$2" -eq 0 ]; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAILED: $1"; fi
}

mkdir -p "$work/console" "$work/redirected"
LANG=C.UTF-8 WINEDEBUG=-all script -qec \
    "$(printf '%q ' "$wine_cmd" "$1" recover "$2" --into "$work/console")" "$work/transcript" \
    </dev/null >/dev/null 2>&1
check "runs in a console" $?
grep -q '10通のメールが見つかりました。' "$work/transcript"
check "the report reads in Japanese on the console" $?
grep -q '復元中 100% 10通のメールを復元' "$work/transcript"
check "progress shows on a console" $?

WINEDEBUG=-all "$wine_cmd" "$1" recover "$2" --into "$work/redirected" \
    >"$work/out" 2>"$work/err" </dev/null
check "runs redirected" $?
[ "$(head -n 1 "$work/out")" = "10通のメールが見つかりました。" ]
check "the report is UTF-8 when redirected" $?
[ ! -s "$work/err" ]
check "no progress when stderr is redirected" $?

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
