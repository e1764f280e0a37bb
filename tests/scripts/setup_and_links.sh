#!/usr/bin/env bash
# setup.sh against stand-ins for apt; and each relative link in README.md and docs/*.md names a file.
cd "$(dirname "$0")/../.." && t=$(mktemp -d) && trap 'rm -rf "$t"' EXIT || exit 1
fail() { echo "FAIL: $*"; cat "$t/out" "$t/log"; exit 1; }
printf '#!/bin/sh\nexit 1\n' >"$t/dpkg-query"; printf '#!/bin/sh\nexec "$@"\n' >"$t/sudo"  # never the real apt
printf '#!/bin/sh\necho "$*" >>%s/log\ncase "$*" in *update*) echo "E: File has unexpected size (9 != 12). Mirror sync in progress?";; *"-t bookworm"*) exit 0;; *) echo "$ERR";; esac >&2; exit 100\n' "$t" >"$t/apt-get"
chmod +x "$t"/* && echo VERSION_CODENAME=bookworm >"$t/os"
run() { : >"$t/log"; ERR=$1 PATH=$t:$PATH SETUP_APT_RETRY_PAUSE=0 SETUP_OS_RELEASE=$t/os scripts/setup.sh --no-wine &>"$t/out"; }
run "E: Unable to correct problems, you have held broken packages." || fail "setup.sh stopped"
[ "$(cut -d' ' -f1 "$t/log" | xargs)" = "update update update install install" ] && tail -n 1 "$t/log" | grep -q -- '-t bookworm' || fail "not 3 updates, an install and one with -t"
run "E: Unable to locate package foo" && fail "setup.sh went on after another failure"
grep -q 'Unable to locate package foo' "$t/out" && ! grep -q -- '-t ' "$t/log" || fail "apt's message lost, or -t tried"
for page in README.md docs/*.md; do
    grep -oE '\]\([^)#[:space:]]+' "$page" | cut -c3- | grep -vE '^(https?|mailto):' | while read -r link; do
        [ -e "$(dirname "$page")/$link" ] || { echo "FAIL: $page links to $link, a missing file"; exit 1; }
    done || exit 1
done
