#!/usr/bin/env bash
# Mutation check: applies each small fault listed in tests/mutants.txt to a
# copy of the tree, one at a time, builds the named test executable and runs
# it. A mutant is "killed" when the test fails, "survived" when it passes,
# "broken" when its text is not found once or the fault does not compile.
# Slow (one incremental build per mutant); not run by CI.
#
#   scripts/mutants.sh            every mutant
#   scripts/mutants.sh WORD       only the lines containing WORD
#
# tests/mutants.txt: one mutant a line, four fields separated by TABs:
#   FILE  TEXT-TO-FIND  TEXT-TO-PUT-INSTEAD  TEST[:CLASS]
# TEXT-TO-FIND must occur exactly once in FILE; "\n" in either text stands
# for a line break. TEST is a test executable (tst_engine); with :CLASS only
# that QtTest class runs. Lines starting with # and blank lines are skipped.
set -uo pipefail
cd "$(dirname "$0")/.."
src=$PWD
list=${KAPLO_MUTANTS_LIST:-$src/tests/mutants.txt}
filter=${1:-}
work=${KAPLO_MUTANTS_DIR:-/tmp/kaplo-mutants}
tree=$work/tree
build=$work/build

mkdir -p "$work"
# Copy the tracked and new files, rewriting only those whose content differs,
# so the copy's build stays incremental between runs.
python3 - "$src" "$tree" <<'PY'
import os, shutil, subprocess, sys
src, tree = sys.argv[1], sys.argv[2]
files = subprocess.run(["git", "ls-files", "-co", "--exclude-standard", "-z"], cwd=src,
                       capture_output=True, check=True).stdout.decode().split("\0")
wanted = set(filter(None, files))
# Files gone from the source (deleted tests) go from the copy too.
for root, dirs, names in os.walk(tree):
    dirs[:] = [d for d in dirs if d != ".git"]
    for name in names:
        rel = os.path.relpath(os.path.join(root, name), tree)
        if rel not in wanted:
            os.remove(os.path.join(root, name))
for rel in wanted:
    a, b = os.path.join(src, rel), os.path.join(tree, rel)
    if not os.path.isfile(a):
        continue
    with open(a, "rb") as fa:
        data = fa.read()
    if os.path.isfile(b):
        with open(b, "rb") as fb:
            if fb.read() == data:
                continue
    os.makedirs(os.path.dirname(b), exist_ok=True)
    shutil.copy2(a, b)
    os.utime(b)
PY
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$tree" -B "$build" -G Ninja -DKAPLO_BUILD_TESTS=ON >/dev/null
fi
cmake --build "$build" -j"$(nproc)" >"$work/base-build.log" 2>&1 || {
  echo "mutants: the unmutated tree does not build (see $work/base-build.log)" >&2
  exit 2
}

killed=0
survived=0
broken=0
n=0
while IFS= read -r line || [ -n "$line" ]; do
  case "$line" in '' | \#*) continue ;; esac
  # cut keeps empty fields (an empty replacement deletes the text found);
  # read with a TAB separator would merge two TABs into one.
  file=$(cut -f1 <<<"$line")
  find=$(cut -f2 <<<"$line")
  replace=$(cut -f3 <<<"$line")
  test=$(cut -f4 <<<"$line")
  if [ -n "$filter" ] && [[ "$line" != *"$filter"* ]]; then continue; fi
  n=$((n + 1))
  exe=${test%%:*}
  class=""
  [[ "$test" == *:* ]] && class=${test#*:}
  cp "$tree/$file" "$work/original"
  if ! python3 - "$tree/$file" "$find" "$replace" <<'PY'; then
import sys
path, find, repl = sys.argv[1], sys.argv[2].replace("\\n", "\n"), sys.argv[3].replace("\\n", "\n")
text = open(path, encoding="utf-8").read()
count = text.count(find)
if count != 1:
    sys.stderr.write(f"found {count} times\n")
    sys.exit(1)
open(path, "w", encoding="utf-8").write(text.replace(find, repl))
PY
    echo "BROKEN   $file: '$find' (must occur exactly once)"
    broken=$((broken + 1))
    continue
  fi
  result=""
  if ! cmake --build "$build" --target "$exe" -j"$(nproc)" >"$work/mutant.log" 2>&1; then
    # A fault the compiler rejects proves nothing about the tests.
    result="BROKEN (does not build, see $work/broken-$n.log)"
    cp "$work/mutant.log" "$work/broken-$n.log"
  else
    (cd "$build" && KAPLO_TEST_CLASS="$class" QT_QPA_PLATFORM=offscreen \
      timeout 900 "tests/$exe" >>"$work/mutant.log" 2>&1)
    case $? in
      0) result="SURVIVED" ;;
      2) result="BROKEN (no test class $class in $exe)" ;; # testmain's answer
      *) result="killed" ;;
    esac
  fi
  cp "$work/original" "$tree/$file"
  touch "$tree/$file"
  if [ "$result" = SURVIVED ]; then
    survived=$((survived + 1))
    cp "$work/mutant.log" "$work/survivor-$n.log"
  elif [[ "$result" == BROKEN* ]]; then
    broken=$((broken + 1))
  else
    killed=$((killed + 1))
  fi
  printf '%-8s %s: %s -> %s [%s]\n' "$result" "$file" "$find" "$replace" "$test"
done <"$list"
# Leave the copy's build matching the unmutated tree.
cmake --build "$build" -j"$(nproc)" >/dev/null 2>&1
echo "mutants: $n tried, $killed killed, $survived survived, $broken broken"
[ "$survived" -eq 0 ] && [ "$broken" -eq 0 ]
