#!/usr/bin/env bash
# Makes the Debian package of a built tree, unpacks it into a scratch root and runs the
# unpacked command-line tool there, then lets lintian judge the package (warnings pass,
# errors fail). Exits 77, which CTest counts as skipped, when a packaging tool is missing.
# Usage: deb_package_check.sh CPACK BUILD_DIR SCRATCH_DIR VERSION CFITSIO_PACKAGE
set -euo pipefail
cpack=$1 build=$2 scratch=$3 version=$4 cfitsio=$5

for tool in "$cpack" dpkg-deb dpkg-shlibdeps lintian; do
  if ! command -v "$tool" >/dev/null; then
    echo "skipped: $tool is missing (scripts/install-deps test installs it)"
    exit 77
  fi
done

fail() { echo "FAIL: $*"; exit 1; }

rm -rf "$scratch"
mkdir -p "$scratch"
"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1 ||
  { cat "$scratch/cpack.log"; fail "cpack failed"; }
debs=("$scratch"/out/framesifter_*.deb)
[[ ${#debs[@]} == 1 && -f ${debs[0]} ]] || fail "expected one framesifter .deb, found: ${debs[*]}"
deb=${debs[0]}

# The control fields: "Field=value" is the whole value, "Field~text" a part of it.
control_checks=(
  "Package=framesifter"
  "Version=$version"
  "Section=science"
  "Maintainer~@"
  "Description~lucky-imaging frame selector"
  "Depends~$cfitsio"
  "Depends~libqt6widgets6"
  "Depends~libjpeg62-turbo"
)
for check in "${control_checks[@]}"; do
  if [[ $check == *=* ]]; then field=${check%%=*} want=${check#*=} whole=1; else
    field=${check%%~*} want=${check#*~} whole=0; fi
  value=$(dpkg-deb -f "$deb" "$field")
  if [[ $whole == 1 ]]; then
    [[ $value == "$want" ]] || fail "$field is '$value', not '$want'"
  else
    [[ $value == *"$want"* ]] || fail "$field is '$value', lacks '$want'"
  fi
done

root=$scratch/root
dpkg -x "$deb" "$root"
installed=(
  usr/bin/framesifter
  usr/bin/framesifter-cli
  usr/share/applications/framesifter.desktop
  usr/share/icons/hicolor/256x256/apps/framesifter.png
  usr/share/man/man1/framesifter.1.gz
  usr/share/man/man1/framesifter-cli.1.gz
  usr/share/mime/packages/framesifter.xml
  usr/share/doc/framesifter/copyright
  usr/share/doc/framesifter/changelog.gz
)
for file in "${installed[@]}"; do
  [[ -s $root/$file ]] || fail "the package lacks /$file"
done

# The unpacked tool on the system's libraries alone, not on anything of the build tree.
cli=$root/usr/bin/framesifter-cli
env -u LD_LIBRARY_PATH "$cli" demo "$scratch/frames" --count 12 >"$scratch/demo.log" 2>&1 ||
  { cat "$scratch/demo.log"; fail "the installed framesifter-cli demo failed"; }
frames=("$scratch"/frames/*)
[[ ${#frames[@]} == 12 ]] || fail "demo wrote ${#frames[@]} files, not 12"
env -u LD_LIBRARY_PATH "$cli" select --best 3 "${frames[@]}" >"$scratch/select.csv" 2>"$scratch/select.log" ||
  { cat "$scratch/select.log"; fail "the installed framesifter-cli select failed"; }
rows=$(grep -c . "$scratch/select.csv")
passed=$(grep -c ',1,[^,]*$' "$scratch/select.csv" || true)
[[ $rows == 13 && $passed == 3 ]] ||
  { cat "$scratch/select.csv"; fail "select listed $rows rows with $passed passed, not 12 (and a header) with 3"; }

# lintian warns about running as root; its tags are what counts.
lintian --tag-display-limit 0 "$deb" >"$scratch/lintian.log" 2>&1 || true
grep -v '^warning: ' "$scratch/lintian.log" || true
if grep -q '^E: ' "$scratch/lintian.log"; then
  fail "lintian reports errors"
fi
echo "package $(basename "$deb") checked"
