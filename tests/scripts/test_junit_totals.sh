#!/usr/bin/env bash
# The totals ./test prints come from scripts/junit-totals; they must agree with CTest's own
# counts for every kind of outcome CTest writes into its JUnit report.
set -euo pipefail
totals="$(dirname "$0")/../../scripts/junit-totals"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

report() {  # one JUnit file from "name status child" lines
  echo '<?xml version="1.0" encoding="UTF-8"?><testsuite name="(empty)" tests="0">'
  while read -r name status child; do
    echo "<testcase name=\"$name\" classname=\"$name\" time=\"0\" status=\"$status\">$child</testcase>"
  done
  echo '</testsuite>'
}

report >"$work/mixed.xml" <<'CASES'
passes run
fails fail <failure message=""/>
skipped notrun <skipped message="SKIP_REGULAR_EXPRESSION_MATCHED"/>
skipped-by-code notrun <skipped message="SKIP_RETURN_CODE=77"/>
disabled disabled <skipped message="Disabled"/>
missing notrun <skipped message="Unable to find executable"/>
fixture notrun <skipped message="Fixture dependency failed"/>
CASES
report >"$work/clean.xml" <<'CASES'
a run
b run
CASES

status=0
check() {  # expected, then the files
  local expected=$1 got
  shift
  got=$("$totals" "$@")
  if [[ $got != "$expected" ]]; then
    echo "junit-totals $*: got '$got', expected '$expected'"
    status=1
  fi
}
check "3 3" "$work/mixed.xml"
check "2 0" "$work/clean.xml"
check "5 3" "$work/mixed.xml" "$work/clean.xml"
exit $status
