# Timing helpers of the benchmark scripts (sourced, not run).

runs=${runs:-7}
# Best of $runs runs of a command, in nanoseconds.
best() {
  local best_ns= t0 t1
  for _ in $(seq "$runs"); do
    t0=$(date +%s%N)
    "$@" >/dev/null 2>&1 || true
    t1=$(date +%s%N)
    local ns=$((t1 - t0))
    if [ -z "$best_ns" ] || [ "$ns" -lt "$best_ns" ]; then best_ns=$ns; fi
  done
  echo "$best_ns"
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
