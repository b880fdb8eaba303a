# Sourced by the load, capacity, soak and peer scripts:
#   run_in_private_network "$@"
# runs the calling script again in a network namespace of its own (needs root), unless it
# already runs in one it made, and brings its loopback interface up: the page server is then
# private to the run, and nothing reaches out.
run_in_private_network() {
  if [ "${TAVRIMON_BENCH_INSIDE:-}" != 1 ]; then
    exec env TAVRIMON_BENCH_INSIDE=1 unshare --net -- "$0" "$@"
  fi
  ip link set lo up
}
