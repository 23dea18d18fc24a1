#!/usr/bin/env bash
# The Windows help file and the zip that ships it:
#   help_file.sh BRAMLEX.chm GUIDE_DIR BUILD_DIR PACK_SCRIPT
# - every page and picture of the guide is in the help file, and every page
#   is in its table of contents;
# - the table of contents and the index come out of the help file as the
#   guide has them, in code page 932 (the help file's language is Japanese);
# - the zip holds the help file beside keldor.exe and keldor-cli.exe.
set -euo pipefail
chm=$1 guide=$2 build=$3 pack=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }

chmls -n list "$chm" 2>/dev/null | grep '^/' | sed 's|^/||' | sort >"$work/listed"
# The pages the table of contents and the index name.
grep -ho 'name="Local" value="[^"]*"' "$guide/toc.hhc" | sed 's/.*value="//; s/"$//' | sort -u >"$work/toc-pages"
grep -ho 'name="Local" value="[^"]*"' "$guide/index.hhk" | sed 's/.*value="//; s/"$//' | sort -u >"$work/index-pages"
(cd "$guide" && find . -name '*.html' | sed 's|^\./||' | sort) >"$work/pages"
(cd "$guide" && find images -type f | sort) >"$work/pictures"
[ -s "$work/pages" ] && [ -s "$work/pictures" ] || fail "no pages or no pictures under $guide"

while read -r page; do
    grep -qxF "$page" "$work/toc-pages" || fail "$page is not in the table of contents"
done <"$work/pages"
while read -r named; do
    [ -f "$guide/$named" ] || fail "the table of contents or the index names $named, which does not exist"
done < <(sort -u "$work/toc-pages" "$work/index-pages")
for file in $(cat "$work/pages" "$work/pictures") style.css toc.hhc index.hhk; do
    grep -qxF "$file" "$work/listed" || fail "$file is not in $chm"
done

# Language 0x411 in the system file: the viewer reads the texts as code page 932.
chmls extract "$chm" /#SYSTEM "$work/system" >/dev/null 2>&1
od -An -tx1 -v "$work/system" | tr -d ' \n' | grep -q '04002400110400' ||
    fail "the help file's language is not 0x411"
for sitemap in toc.hhc index.hhk ja/index.html; do
    chmls extract "$chm" "/$sitemap" "$work/extracted" >/dev/null 2>&1
    if ! iconv -f CP932 -t UTF-8 "$work/extracted" >"$work/decoded"; then
        fail "$sitemap in the help file is not code page 932"
    elif ! sed 's/charset=Shift_JIS/charset=UTF-8/' "$work/decoded" | cmp -s - "$guide/$sitemap"; then
        fail "$sitemap in the help file differs from the guide's"
    fi
done

bash "$pack" "$build" "$work/keldor.zip" >/dev/null
unzip -Z1 "$work/keldor.zip" >"$work/zipped"
for file in keldor/keldor.exe keldor/keldor-cli.exe keldor/BRAMLEX.chm keldor/README.txt; do
    grep -qxF "$file" "$work/zipped" || fail "the zip lacks $file"
done
unzip -p "$work/keldor.zip" keldor/BRAMLEX.chm | cmp -s - "$chm" || fail "the zip's BRAMLEX.chm is not the built one"

exit $failed
