#!/usr/bin/env bash
# Writes one man page of ebsim from its own help with help2man, gzipped.
# Usage: man_page.sh EBSIM PAGE SUMMARY VERSION INCLUDE OUTPUT.1.gz
# PAGE is ebsim, or ebsim-COMMAND for `ebsim COMMAND --help`; INCLUDE holds
# the sections written by hand (help2man's --include).
set -euo pipefail
ebsim=$1 page=$2 summary=$3 version=$4 include=$5 output=$6
command=${page#ebsim}
command=${command#-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# help2man reads one usage a line; ebsim's help wraps each over several.
# The synopsis is each usage on one line: a line "Usage: ebsim ..." or
# "  ebsim ..." starts one, a deeper line of options continues it.
"$ebsim" $command --help | awk '
  function flush() { if (usage != "") { gsub(/-/, "\\-", usage); print (n++ ? ".br\n" : "") ".B ebsim\n" usage }; usage = "" }
  /^Usage: +ebsim/ { flush(); sub(/^Usage: +ebsim */, ""); usage = $0; inside = started = 1; next }
  started && /^ +ebsim / { flush(); sub(/^ +ebsim */, ""); usage = $0; inside = 1; next }
  inside && /^ +[-[]/ { sub(/^ +/, " "); usage = usage $0; next }
  { inside = 0 }
  END { flush() }' >"$work/synopsis"
[ -s "$work/synopsis" ] || { echo "man_page.sh: no usage in the help of ebsim $command" >&2; exit 1; }
{ echo "[SYNOPSIS]"; cat "$work/synopsis"; echo; cat "$include"; } >"$work/include.h2m"

help2man --no-info --no-discard-stderr --section=1 --manual="User Commands" \
  --source="exchange-bias-rfim $version" --version-string="$version" --name="$summary" \
  --include="$work/include.h2m" ${command:+--help-option="$command --help"} "$ebsim" >"$work/page.1"
# help2man names the page after the executable.
sed -e "s/^\.TH EBSIM /.TH ${page^^} /" -e "s/^ebsim \\\\- /$page \\\\- /" "$work/page.1" >"$work/$page.1"
grep -q "^\.TH ${page^^} " "$work/$page.1" || { echo "man_page.sh: help2man wrote no page for $page" >&2; exit 1; }
# -n: no name or time stamp in the archive, so the page builds the same twice.
gzip -9nc "$work/$page.1" >"$output"
