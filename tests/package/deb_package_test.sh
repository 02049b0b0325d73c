#!/usr/bin/env bash
# The Debian package made from a built tree: it builds, holds every file it
# should, lintian finds no error in it, and what it installs works from a
# scratch root: the programs, the Python module, the desktop entry, the man
# pages, the icons, the shell completion and the README's first study from
# the examples it ships.
# Usage: deb_package_test.sh BUILD_DIR VERSION WITH_WINDOW WITH_PYTHON
set -euo pipefail
build=$1 version=$2 with_window=$3 with_python=$4
scratch=$(mktemp -d "${TMPDIR:-/tmp}/deb-package-test.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
phase() { echo "== $* (at ${SECONDS}s)"; }
export QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8

phase "cpack"
if ! cpack --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1; then
  cat "$scratch/cpack.log"; echo "FAIL: cpack"; exit 1
fi
deb=$scratch/out/exchange-bias-rfim_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || { ls "$scratch/out"; echo "FAIL: no $deb"; exit 1; }

phase "contents"
share=./usr/share
doc=$share/doc/exchange-bias-rfim
expected=(./usr/bin/ebsim $share/bash-completion/completions/ebsim $doc/copyright $doc/changelog.gz
  $doc/examples/first_study.gp $doc/examples/averaged_loop.gp)
for page in ebsim ebsim-run ebsim-sweep ebsim-study ebsim-rerun ebsim-merge ebsim-render; do
  expected+=("$share/man/man1/$page.1.gz")
done
icon_sizes=(32 48 64 128 256)
if [ "$with_window" = 1 ]; then
  expected+=(./usr/bin/KVORAL_ver_QVTR_03_100 ./usr/bin/ebsim-render
    $share/man/man1/KVORAL_ver_QVTR_03_100.1.gz $share/applications/exchange-bias-rfim.desktop
    $share/icons/hicolor/scalable/apps/exchange-bias-rfim.svg)
  for size in "${icon_sizes[@]}"; do
    expected+=("$share/icons/hicolor/${size}x$size/apps/exchange-bias-rfim.png")
  done
fi
dpkg-deb -c "$deb" | awk '{print $NF}' >"$scratch/contents"
for file in "${expected[@]}"; do
  grep -qxF -- "$file" "$scratch/contents" || fail "the package lacks $file"
done
if [ "$with_python" = 1 ]; then
  grep -q '^\./usr/lib/python3/dist-packages/[^/]' "$scratch/contents" || fail "the package lacks the Python module"
  grep -qxF "$doc/examples/mean_loop.py" "$scratch/contents" || fail "the package lacks $doc/examples/mean_loop.py"
fi
fields=$(dpkg-deb -f "$deb" Version Section Depends Maintainer)
for want in "Version: $version" "Section: science" "libc6" "Maintainer: "; do
  grep -qF -- "$want" <<<"$fields" || fail "control fields lack '$want': $fields"
done
depends=$(dpkg-deb -f "$deb" Depends | tr ',' '\n' | sed 's/^ *//; s/ .*//')
wanted=(libhdf5-103-1)
[ "$with_window" = 1 ] && wanted+=(fonts-wine fonts-dejavu-core libqt6widgets6)
[ "$with_python" = 1 ] && wanted+=(python3 python3-numpy)
for want in "${wanted[@]}"; do
  grep -qxF -- "$want" <<<"$depends" || fail "Depends lacks $want: $(dpkg-deb -f "$deb" Depends)"
done
dpkg-deb -f "$deb" Recommends | grep -qw bash-completion || fail "Recommends lacks bash-completion"

phase "lintian"
lintian --fail-on error --tag-display-limit 0 "$deb" || fail "lintian reports errors"

phase "installed into a scratch root"
root=$scratch/root
dpkg-deb -x "$deb" "$root"
bin=$root/usr/bin
# --version where ebsim has it; until then its help.
status=0
out=$("$bin/ebsim" --version 2>&1) || status=$?
if [ $status -eq 0 ]; then
  grep -qF "$version" <<<"$out" || fail "ebsim --version does not name $version: $out"
elif [ $status -eq 2 ]; then
  "$bin/ebsim" --help >/dev/null || fail "ebsim --help"
else
  fail "ebsim --version exits with $status: $out"
fi
out=$("$bin/ebsim" run --seed-ms 1 --side 5) || fail "ebsim run exits with $?"
grep -q '"seed_ms":1,' <<<"$out" || fail "ebsim run printed: $out"
if [ "$with_window" = 1 ]; then
  # ebsim finds its render helper beside itself.
  "$bin/ebsim" render --png "$scratch/window.png" --seed-ms 1 --side 5 || fail "ebsim render exits with $?"
  [ "$(head -c 4 "$scratch/window.png" 2>/dev/null | od -An -c | tr -d ' ')" = '211PNG' ] ||
    fail "ebsim render wrote no PNG"
fi
if [ "$with_python" = 1 ]; then
  site=$root/usr/lib/python3/dist-packages
  # An extension (NAME.cpython-...so), a NAME.py or a folder NAME.
  module=$(find "$site" -mindepth 1 -maxdepth 1 ! -name '*-info' -printf '%f\n' | head -1)
  module=${module%%.*}
  PYTHONPATH=$site /usr/bin/python3 -c "import $module" || fail "the Python module '$module' does not import"
fi

phase "desktop entry, icons, man pages"
if [ "$with_window" = 1 ]; then
  entry=$root/usr/share/applications/exchange-bias-rfim.desktop
  desktop-file-validate "$entry" || fail "desktop-file-validate"
  exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")
  [ -x "$bin/$exec_name" ] || fail "the desktop entry runs '$exec_name', which the package lacks"
  grep -qx 'Icon=exchange-bias-rfim' "$entry" || fail "the desktop entry names another icon"
  for size in "${icon_sizes[@]}"; do
    png=$root/usr/share/icons/hicolor/${size}x$size/apps/exchange-bias-rfim.png
    read -r w0 w1 w2 w3 h0 h1 h2 h3 < <(od -An -tu1 -j16 -N8 "$png")
    [ $(((w0 << 24) + (w1 << 16) + (w2 << 8) + w3)) = "$size" ] && [ $(((h0 << 24) + (h1 << 16) + (h2 << 8) + h3)) = "$size" ] ||
      fail "$png is not $size x $size"
  done
  python3 -c 'import sys, xml.etree.ElementTree as t; r = t.parse(sys.argv[1]).getroot(); sys.exit(len(r.findall(".//{http://www.w3.org/2000/svg}polyline")) != 2)' \
    "$root/usr/share/icons/hicolor/scalable/apps/exchange-bias-rfim.svg" || fail "the SVG icon has not the loop's two branches"
fi
man_dir=$root/usr/share/man/man1
for page in "$man_dir"/*.1.gz; do
  warnings=$(man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null) || fail "man cannot show $page"
  [ -z "$warnings" ] || fail "man warns on $page: $warnings"
done
# Each command's page has that command's synopsis, and ebsim's names each.
for command in run sweep study rerun merge render; do
  zcat "$man_dir/ebsim-$command.1.gz" | grep -A1 -x '\.B ebsim' | grep -q "^$command " ||
    fail "ebsim-$command(1) lacks the synopsis of ebsim $command"
  zcat "$man_dir/ebsim.1.gz" | grep -qx "\.B $command" || fail "ebsim(1) leaves out $command"
done

phase "bash completion"
touch "$scratch/runs.csv" "$scratch/first.toml"
# words typed | what completing the last one offers
cases=(
  "ebsim r|render rerun run"
  "ebsim st|study"
  "ebsim study $scratch/r|$scratch/root"
  "ebsim study $scratch/fi|$scratch/first.toml"
  "ebsim rerun --in|--into"
  "ebsim rerun $scratch/run|$scratch/runs.csv"
  "ebsim run --se|--seed --seed-ms --sep"
  "ebsim sweep --su|--summary"
  "ebsim render --p|--png"
  "ebsim run --side |"
  "ebsim sweep --out $scratch/run|$scratch/runs.csv"
  "ebsim sweep --spins $scratch/ro|$scratch/root"
  "ebsim merge $scratch/run|$scratch/runs.csv"
  "ebsim help |merge render rerun run study sweep"
  "ebsim help s|study sweep"
  "ebsim help run |"
  "ebsim bogus --|"
)
for case in "${cases[@]}"; do
  words=${case%%|*} want=${case#*|}
  got=$(PATH=$bin:$PATH bash -c '
    source "$1"; read -r -a COMP_WORDS <<<"$2"; [[ $2 == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _ebsim; echo "${COMPREPLY[*]}"' _ \
    "$root/usr/share/bash-completion/completions/ebsim" "$words")
  got=$(tr ' ' '\n' <<<"$got" | sort | xargs)
  [ "$got" = "$want" ] || fail "completing '$words' offers '$got', not '$want'"
done

phase "the README's first study from the installed examples"
# As the README gives it, in a folder of the user's: its study files, and a
# rerun that gives the same summary.
examples=$root/usr/share/doc/exchange-bias-rfim/examples
is_png() { [ "$(head -c 4 "$1" 2>/dev/null | od -An -c | tr -d ' ')" = '211PNG' ]; }
mkdir -p "$scratch/home/study"
in_home() { (cd "$scratch/home" && "$@") || fail "in the first study, '$*' exits with $?"; }
in_home "$bin/ebsim" study "$examples/first_study.toml" --threads 2
in_home gnuplot -e "summary='study/dilution_summary.csv'; picture='study/first_study.png'" "$examples/first_study.gp"
in_home "$bin/ebsim" study "$examples/averaged_loop.toml" --threads 2
in_home "$bin/ebsim" rerun study/dilution_summary.csv --into rerun >/dev/null
in_home "$bin/ebsim" rerun study/dilution.h5 --into rerun-h5 >/dev/null
in_home gnuplot -e "means='study/loop_mean.csv'; picture='study/averaged_loop.png'" "$examples/averaged_loop.gp"
[ "$with_python" = 1 ] && in_home env PYTHONPATH="$site" /usr/bin/python3 "$examples/mean_loop.py" study/mean_loop.png
pictures=(first_study averaged_loop)
[ "$with_python" = 1 ] && pictures+=(mean_loop)
for picture in "${pictures[@]}"; do
  is_png "$scratch/home/study/$picture.png" || fail "the first study made no study/$picture.png"
done

[ $failures -eq 0 ] || { echo "$failures failures"; exit 1; }
echo "The package passes."
