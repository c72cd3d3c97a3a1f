#!/usr/bin/env bash
# Every benchmark program given arguments it cannot take: each must end at
# once with a non-zero status, say that it measured nothing and show its
# usage line, and print no figure.
#   check_arguments.sh [google:]<benchmark executable>...
# (google: marks a Google Benchmark program, which also takes a filter.)
set -uo pipefail
failed=0
for arg in "$@"; do
  exe=${arg#google:}
  name=$(basename "$exe")
  cases=("--help" "not-a-number" "7 1 1 1 1")
  [ "$arg" = "$exe" ] || cases+=("--benchmark_filter=^matches-nothing$")
  for args in "${cases[@]}"; do
    # shellcheck disable=SC2086
    out=$(timeout 60 "$exe" $args 2>&1)
    rc=$?
    why=""
    [ "$rc" -ne 0 ] || why="exit status 0"
    [ "$rc" -ne 124 ] || why="still running after 60 s"
    printf '%s\n' "$out" | grep -q "nothing was measured" || why="$why; no word that nothing was measured"
    case "$args" in --benchmark_filter=*) ;; *) printf '%s\n' "$out" | grep -q "^usage: " || why="$why; no usage line" ;; esac
    printf '%s\n' "$out" | grep -qi "median" && why="$why; a figure printed"
    if [ -n "$why" ]; then
      echo "$name $args: ${why#; }"
      printf '%s\n' "$out" | head -5 | sed 's/^/    /'
      failed=1
    fi
  done
done
[ "$failed" -eq 0 ] && echo "every benchmark refused the arguments it cannot take"
exit "$failed"
