#!/usr/bin/env bash
# The long robustness run: the full flood (10,000 junk datagrams a second for
# 10 s from four senders, keywords in among them), then a soak of the given
# number of minutes (default 60) of sources, programme and silence, pauses,
# live studio, alarms and recoveries, with memory, descriptors and threads
# sampled every 5 s. Each test brings up its own private PulseAudio server.
# The figures are printed (lines starting with QINFO) and kept in
# build/soak-*.log. Exits non-zero when a check fails.
#
# Usage: scripts/soak.sh [--status] [--curve FILE] [--no-flood] [minutes]
#   --status     turn the status page on and poll it as an open browser tab
#                would (the state every 400 ms, the clip list and a clip
#                every 10 s)
#   --curve FILE append "seconds KiB" (resident memory) to FILE every 30 s
#   --no-flood   skip the 10 s flood before the soak
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
flood=1
while [ $# -gt 0 ]; do
    case $1 in
    --status) export SONDRAL_SOAK_STATUS=1 ;;
    --curve) export SONDRAL_SOAK_CURVE=$(realpath -m "$2"); shift ;;
    --no-flood) flood=0 ;;
    *) break ;;
    esac
    shift
done
minutes=${1:-60}
"$root/scripts/ensure-packages.sh"
"$root/scripts/build.sh" "$root/build" sondral tst_flood tst_soak

export QT_QPA_PLATFORM=offscreen
unset DISPLAY WAYLAND_DISPLAY
log=$root/build/soak-$(date +%Y%m%d-%H%M%S).log
status=0
: >"$log"
runs=1
if [ $flood -eq 1 ]; then
    runs=2
    echo "== flood, 10 s" | tee "$log"
    SONDRAL_FLOOD_SECONDS=10 "$root/build/tests/robustness/tst_flood" </dev/null 2>&1 |
        grep -v '^QDEBUG' | tee -a "$log" || true
    grep -q '^Totals: .* 0 failed' "$log" || status=1
fi
echo "== soak, $minutes min" | tee -a "$log"
# QtTest aborts a test function after 300 s unless told otherwise (in ms);
# give the soak its minutes plus ten for start-up and the final checks.
# The binary runs here directly, so no ctest time-out applies.
QTEST_FUNCTION_TIMEOUT=$(((minutes + 10) * 60 * 1000)) \
    SONDRAL_SOAK_SECONDS=$((minutes * 60)) "$root/build/tests/robustness/tst_soak" </dev/null 2>&1 |
    grep -v '^QDEBUG' | tee -a "$log" || true
[ "$(grep -c '^Totals: .* 0 failed' "$log")" -eq $runs ] || status=1
echo "figures and results in $log"
exit $status
