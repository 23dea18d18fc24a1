#!/usr/bin/env bash
# Runs the Linux keldor-cli and the Windows keldor-cli.exe (under Wine) on the
# same mailboxes and checks that both write the same files under the same
# names with the same modification times.
#
#   compare_cli.sh LINUX_CLI WINDOWS_CLI SAMPLE_TOOL SAMPLES_DIR CORPUS_DIR
#
# SAMPLE_TOOL (the Linux make_sample_mailbox) lays the corpus mails into a
# mailbox as deleted mail. Both programs run in the same time zone: the
# caller's, and for mail of years whose daylight-saving rules differ, two more.
set -uo pipefail

linux_cli=$1 windows_cli=$2 sample_tool=$3 samples=$4 corpus=$5
wine_cmd=$(command -v wine || command -v wine64)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mailboxes=("$samples/削除済みアイテム.dbx")
if [ -d "$corpus/mail" ]; then
    "$sample_tool" "$corpus/mail" "$work/corpus-mail.dbx" >/dev/null && mailboxes+=("$work/corpus-mail.dbx")
fi
if [ -d "$corpus/dbx" ]; then
    while IFS= read -r -d '' f; do mailboxes+=("$f"); done < <(find "$corpus/dbx" -name '*.dbx' -print0 | sort -z)
fi

# A file whose mail has no usable date keeps the time it was written, which
# differs between any two runs; such times are shown as "written".
started=$(date +%s)
listing() {
    (cd "$1" && find . -type f -printf '%P\t%s\t%T@\n' | sort |
        awk -F'\t' -v started="$started" '{ print $1, $2, ($3 + 0 >= started - 1 ? "written" : $3) }')
}

# Mail of 2003-2009 dated on both sides of the daylight-saving changes as
# they fell in those years, in zones whose rules differ by year: America/
# New_York began and ended daylight saving on other Sundays before 2007. A
# build that applied this year's rules to every year would be an hour off.
dated="$work/dated-mail"
mkdir -p "$dated"
k=0
for year in 2003 2004 2005 2006 2007 2008 2009; do
    for day in "15 Jan" "11 Mar" "20 Mar" "02 Apr" "10 Apr" "01 Jul" "24 Oct" "29 Oct" "03 Nov" "10 Nov"; do
        k=$((k + 1))
        printf 'From: <a@example.com>\r\nSubject: dated %03d\r\nDate: Sun, %s %s 12:30:00 +0000\r\n\r\nbody %d\r\n' \
            "$k" "$day" "$year" "$k" >"$dated/$(printf '%03d' "$k").eml"
    done
done
"$sample_tool" "$dated" "$work/dated-mail.dbx" >/dev/null || { echo "could not lay the dated mail"; exit 1; }

passed=0 failed=0
n=0
runs=()
for mailbox in "${mailboxes[@]}"; do runs+=("${TZ:-}|$mailbox"); done
runs+=("America/New_York|$work/dated-mail.dbx" "Europe/Berlin|$work/dated-mail.dbx")
for run in "${runs[@]}"; do
    zone=${run%%|*} mailbox=${run#*|}
    n=$((n + 1))
    mkdir -p "$work/$n/linux" "$work/$n/windows"
    zone_env=()
    [ -n "$zone" ] && zone_env=(TZ="$zone")
    env "${zone_env[@]}" "$linux_cli" recover "$mailbox" --into "$work/$n/linux" --quiet >"$work/$n/linux.out" 2>&1
    linux_status=$?
    env "${zone_env[@]}" WINEDEBUG=-all "$wine_cmd" "$windows_cli" recover "$mailbox" --into "$work/$n/windows" --quiet \
        >"$work/$n/windows.out" 2>&1
    windows_status=$?
    problem=""
    if [ "$linux_status" != "$windows_status" ]; then
        problem="exit status $linux_status on Linux, $windows_status on Windows"
    else
        # The run folders carry the time of the run; compare what is inside.
        linux_dir=$(find "$work/$n/linux" -mindepth 1 -maxdepth 1 -type d | head -n 1)
        windows_dir=$(find "$work/$n/windows" -mindepth 1 -maxdepth 1 -type d | head -n 1)
        if [ -n "$linux_dir" ] || [ -n "$windows_dir" ]; then
            if [ -z "$linux_dir" ] || [ -z "$windows_dir" ]; then
                problem="an output folder on one system only"
            else
                if ! diff <(listing "$linux_dir") <(listing "$windows_dir") >"$work/$n/diff"; then
                    problem="names, sizes or times differ: $(head -c 2000 "$work/$n/diff")"
                elif ! diff -r "$linux_dir" "$windows_dir" >/dev/null; then
                    problem="file contents differ"
                fi
            fi
        fi
    fi
    files=$( [ -n "${linux_dir:-}" ] && find "$linux_dir" -type f | wc -l || echo 0)
    if [ -z "$problem" ]; then
        passed=$((passed + 1))
        echo "same: $(basename "$mailbox") in ${zone:-the local zone} ($files files)"
    else
        failed=$((failed + 1))
        echo "DIFFERENT: $(basename "$mailbox") in ${zone:-the local zone}: $problem"
    fi
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
