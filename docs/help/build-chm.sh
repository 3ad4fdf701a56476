#!/usr/bin/env bash
# Compile the Velmora help into a .chm with chmcmd (Debian package fp-utils).
#
#   build-chm.sh SOURCE_DIR OUTPUT.chm
#
# Copies SOURCE_DIR to a temporary directory, checks the links, runs
# "chmcmd velmora.hhp" there and moves velmora.chm to OUTPUT.chm.
# Prints nothing on success; on failure prints chmcmd's output (or the bad
# link) to stderr and exits non-zero.
#
# chmcmd quirks met while writing this help (chmcmd 3.2.2):
# - Its exit code cannot be trusted: a missing project file ("Can't find
#   project file") or a missing contents file ("Error: Can't find TOC file")
#   still exit 0. Only a file listed in [FILES] that does not exist ends it
#   with an exception (exit 217), leaving an empty .chm behind. So the output
#   is searched for Error/Warning lines and the .chm for its "ITSF" header.
# - Its messages go to stdout, its banner to stderr (at exit).
# - File names: chmcmd compares names in upper case, so a link to
#   "Panel.html" when the file is "panel.html" passes without a word, while
#   the files are read from a case-sensitive Linux file system and stored
#   under their listed names. Every name here is lower case, and the links
#   are checked below with exact case.
# - Paths: backslashes in [FILES] become forward slashes; "Compiled file",
#   the contents and index files and [FILES] are taken relative to the
#   project file. Running in the copy's own directory keeps all of them
#   relative and leaves the source tree untouched.
# - "Note: duplicate url" (seen only with --verbosity 5) is harmless: the
#   HTML scan meets pages already listed in [FILES].
set -euo pipefail

if [ $# -ne 2 ]; then
    echo "usage: $0 SOURCE_DIR OUTPUT.chm" >&2
    exit 2
fi
src=$1
out=$2
command -v chmcmd >/dev/null || { echo "build-chm.sh: chmcmd not found (apt-get install fp-utils)" >&2; exit 1; }
[ -f "$src/velmora.hhp" ] || { echo "build-chm.sh: $src/velmora.hhp not found" >&2; exit 1; }

case $out in /*) ;; *) out=$PWD/$out ;; esac
tmp=$(mktemp -d "${TMPDIR:-/tmp}/velmora-chm.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
cp -R "$src"/. "$tmp"/
rm -f "$tmp"/*.chm

# Every local link (href="..." in the pages, Local values in the contents and
# index) must name an existing file with the exact case, and an anchor after
# '#' must exist as an id in that file.
cd "$tmp"
for f in *.html *.hhc *.hhk; do
    [ -f "$f" ] || continue
    while IFS= read -r link; do
        case $link in *:*) continue ;; esac # http:, mailto: and the like
        file=${link%%#*}
        [ -n "$file" ] || file=$f
        if [ ! -f "$file" ]; then
            echo "build-chm.sh: $f links to missing file $link" >&2
            exit 1
        fi
        if [ "$file" != "$link" ] && ! grep -q -E "(id|name)=\"${link#*#}\"" "$file"; then
            echo "build-chm.sh: $f links to missing anchor $link" >&2
            exit 1
        fi
    done < <(grep -o -i -E '(href|name="Local" value)="[^"]*"' "$f" | sed -E 's/.*="([^"]*)"$/\1/')
done

status=0
chmcmd velmora.hhp >chmcmd.log 2>&1 || status=$?
if [ $status -ne 0 ] || grep -q -E "^(Error|Warning)|Can't find|exception" chmcmd.log \
    || [ ! -s velmora.chm ] || [ "$(head -c 4 velmora.chm)" != ITSF ]; then
    cat chmcmd.log >&2
    echo "build-chm.sh: chmcmd failed (exit $status)" >&2
    exit 1
fi

mkdir -p "$(dirname "$out")"
mv velmora.chm "$out"
