#!/usr/bin/env bash
# The layer check against small trees of its own: a tree that keeps to its table passes; a climbing
# include, a climbing link, Qt below the widgets and a folder without a row each fail with the
# file, the line and the rule. Finally the repository itself passes.
#   check_layers_test.sh REPOSITORY
set -uo pipefail
repo=$1
check=$repo/scripts/check-layers
work=$(mktemp -d /tmp/tavro-layers-test.XXXXXX)
trap 'rm -rf "$work"' EXIT
failed=0
fail() { echo "FAIL: $*"; failed=1; }

make_tree() {
  rm -rf "$work/tree"
  mkdir -p "$work/tree/scripts" "$work/tree/src/low" "$work/tree/src/high" "$work/tree/include/tavro"
  cat > "$work/tree/scripts/layers.txt" <<'TABLE'
# folder  may use
high      low
low       include/tavro
include/tavro
TABLE
  printf '#pragma once\n' > "$work/tree/include/tavro/contract.h"
  printf '#pragma once\n#include "tavro/contract.h"\n' > "$work/tree/src/low/low.h"
  printf '#include "low/low.h"\n#include "helper.h"\n' > "$work/tree/src/low/low.cpp"
  printf '#pragma once\n' > "$work/tree/src/low/helper.h"
  printf '#pragma once\n#include "low/low.h"\n#include "tavro/contract.h"\n' > "$work/tree/src/high/high.h"
  printf 'add_library(low STATIC low.cpp)\n' > "$work/tree/src/low/CMakeLists.txt"
  printf 'add_library(high STATIC high.cpp)\ntarget_link_libraries(high\n  PUBLIC low)\n' \
    > "$work/tree/src/high/CMakeLists.txt"
  printf '#include "high/high.h"\n' > "$work/tree/src/high/high.cpp"
}

# expect STATUS PATTERN...: runs the check on the tree; the status and every pattern must match.
expect() {
  local status=$1; shift
  local out rc
  out=$("$check" "$work/tree" 2>&1); rc=$?
  [ "$rc" -eq "$status" ] || fail "status $rc, expected $status: $out"
  for pattern in "$@"; do
    grep -qF -- "$pattern" <<<"$out" || fail "no '$pattern' in: $out"
  done
}

# high.h uses include/tavro through low: uses are transitive.
make_tree
expect 0 "every include and link keeps to"

make_tree
printf '#include "low/helper.h"\n#include "high/high.h"\n' >> "$work/tree/src/low/low.cpp"
expect 1 'src/low/low.cpp:4: low may not use high (#include "high/high.h"); low may use: include/tavro'

make_tree
printf '#include "../high/high.h"\n' > "$work/tree/src/low/relative.cpp"
expect 1 'src/low/relative.cpp:1: low may not use high'

make_tree
printf 'target_link_libraries(low PRIVATE\n  Threads::Threads\n  high)\n' >> "$work/tree/src/low/CMakeLists.txt"
expect 1 'src/low/CMakeLists.txt:2: low may not use high (links high)'

make_tree
printf '#include <QImage>\n' >> "$work/tree/src/high/high.cpp"
expect 1 'src/high/high.cpp:2: high may not use Qt (#include <QImage>)'

make_tree
printf '#include "low/low.h"\n' > "$work/tree/include/tavro/back.h"
expect 1 'include/tavro/back.h:1: include/tavro may not use low'

make_tree
mkdir "$work/tree/src/extra" && printf '\n' > "$work/tree/src/extra/x.cpp"
expect 1 'src/extra/x.cpp: its folder has no row in scripts/layers.txt'

out=$("$check" "$repo" 2>&1) || fail "the repository climbs: $out"
exit $failed
