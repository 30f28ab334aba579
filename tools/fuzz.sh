#!/usr/bin/env bash
# Runs the fuzz targets of a build made with -DQUORVEL_FUZZ=ON, each for a bounded time on a
# scratch copy of its seed corpus (what the run adds never lands in the repository). Fails on the
# first target that crashes, trips a sanitizer or breaks an invariant; the input that did it is
# kept in the scratch folder and named in the output.
#
#   tools/fuzz.sh BUILD_DIR [SECONDS [TARGET...]]     (default: 30 seconds, every target)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:?usage: tools/fuzz.sh BUILD_DIR [SECONDS [TARGET...]]}" && pwd)
seconds=${2:-30}
shift $(( $# >= 2 ? 2 : $# ))
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for corpus in "$top"/fuzz/corpus/*/; do targets+=("$(basename "$corpus")"); done
fi

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0:new_delete_type_mismatch=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}
# On a RAM disk when there is one: the targets write files for every input.
base=${TMPDIR:-/tmp}
[ -d /dev/shm ] && [ -w /dev/shm ] && base=/dev/shm
scratch=$(mktemp -d "$base/quorvel-fuzz.XXXXXX")
echo "fuzzing in $scratch"
for t in "${targets[@]}"; do
  exe="$build/fuzz/$t"
  [ -x "$exe" ] || { echo "no fuzz target $exe (configure with -DQUORVEL_FUZZ=ON)" >&2; exit 1; }
  mkdir -p "$scratch/$t/corpus" "$scratch/$t/found" "$scratch/$t/tmp"
  cp -r "$top/fuzz/corpus/$t/." "$scratch/$t/corpus/"
  echo "== $t: ${seconds}s"
  if ! (cd "$scratch/$t" && TMPDIR="$scratch/$t/tmp" "$exe" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=3072 \
          -artifact_prefix="$scratch/$t/found/" -print_final_stats=1 corpus >log 2>&1); then
    tail -n 60 "$scratch/$t/log" >&2
    echo "$t failed; the input is in $scratch/$t/found/ (run $exe on it to see it again)" >&2
    exit 1
  fi
  grep -E '^stat::number_of_executed_units|^Done' "$scratch/$t/log" || true
done
rm -rf "$scratch"
