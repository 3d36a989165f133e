#!/usr/bin/env bash
# Non-blank lines of the tests (C++, Python, shell; data under tests/data not
# counted) against those of src/, in all and per area.
set -euo pipefail
cd "$(dirname "$0")/.."
count() {
  find "$@" -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.py' -o -name '*.sh' \) \
    -not -path 'tests/data/*' -print0 | xargs -0 -r cat | grep -cv '^\s*$' || true
}
for d in tests/*/; do
  case $d in tests/data/) continue ;; esac
  area=$(basename "$d")
  printf '%-10s tests %5d  src %5d\n' "$area" "$(count "$d")" "$( [ -d "src/$area" ] && count "src/$area" || echo 0)"
done
s=$(count src)
t=$(count tests)
awk -v s="$s" -v t="$t" 'BEGIN { printf "all        tests %5d  src %5d  ratio %.2f (aim 0.25 to 0.33)\n", t, s, t / s }'
