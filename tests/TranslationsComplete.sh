#!/usr/bin/env bash
# Every text the window's code marks for translation has a finished translation in each translations/*.ts:
# lupdate brings a copy of each file up to date with the sources, and lrelease must then find nothing
# unfinished in it.
set -euo pipefail
lupdate=$1 lrelease=$2 source=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
for ts in "$source"/translations/*.ts; do
  copy=$work/$(basename "$ts")
  cp "$ts" "$copy"
  (cd "$source" && "$lupdate" -silent -locations none app -ts "$copy")
  report=$("$lrelease" "$copy" -qm "$work/out.qm")
  echo "$(basename "$ts"): $report"
  if ! grep -q ' 0 unfinished' <<<"$report"; then
    echo "$(basename "$ts") lacks translations; run: lupdate app -locations none -ts translations/$(basename "$ts")" \
         "and translate the new texts" >&2
    status=1
  fi
done
exit $status
