#!/usr/bin/env bash
# A real Sondral with [Status] Port, looked at as a station's monitoring
# would: its live /metrics passes `promtool check metrics`, and Debian's
# prometheus, scraping it every second with the shipped alert rules, shows
# sondral_alarm_active 1 and fires SondralDeadAir after an alarm.
#
#   tst_prometheus.sh SONDRAL_EXECUTABLE RULES_FILE
set -euo pipefail
exe=${1:?sondral executable}
rules=${2:?sondral-rules.yml}
work=$(mktemp -d /tmp/sondral-prometheus.XXXXXX)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

free_port() { # $1: tcp or udp
    python3 -c 'import socket,sys
s=socket.socket(socket.AF_INET, socket.SOCK_STREAM if sys.argv[1]=="tcp" else socket.SOCK_DGRAM)
s.bind(("127.0.0.1",0)); print(s.getsockname()[1])' "$1"
}
status_port=$(free_port tcp)
prom_port=$(free_port tcp)
host_port=$(free_port udp)
remote_port=$(free_port udp)

mkdir "$work/sondral"
cp "$exe" "$work/sondral/sondral"
cat >"$work/sondral/sondral.ini" <<INI
[Audio]
AutoVol=20
AutoTime=2
[InterPC]
RemoteName=127.0.0.1
RemotePort=$remote_port
HostPort=$host_port
[Station]
Name=Test FM
[Status]
Port=$status_port
[Notify]
Token=never-served-$RANDOM$RANDOM
INI
# No sound server: the levels read 0, so the automation's silence is counted.
(cd "$work/sondral" && QT_QPA_PLATFORM=offscreen PULSE_SERVER=unix:$work/no-pulse \
    exec ./sondral >"$work/sondral/output.txt" 2>&1) &
pids+=($!)

base=http://127.0.0.1:$status_port
for _ in $(seq 1 100); do
    curl -sf "$base/healthz" >/dev/null 2>&1 && break
    sleep 0.1
done
curl -sf "$base/metrics" >"$work/metrics.txt"
promtool check metrics <"$work/metrics.txt"
echo "promtool check metrics: passed"
token=$(sed -n 's/^Token=//p' "$work/sondral/sondral.ini")
for path in / /status.json /timeline.json /metrics /healthz; do
    if curl -s "$base$path" | grep -qF "$token"; then
        echo "$path serves the settings file's Token"
        exit 1
    fi
done

cat >"$work/prometheus.yml" <<YML
global:
  scrape_interval: 1s
  evaluation_interval: 1s
rule_files:
  - $rules
scrape_configs:
  - job_name: sondral
    static_configs:
      - targets: ['127.0.0.1:$status_port']
        labels:
          chain: fm
YML
prometheus --config.file="$work/prometheus.yml" --storage.tsdb.path="$work/tsdb" \
    --web.listen-address="127.0.0.1:$prom_port" >"$work/prometheus.log" 2>&1 &
pids+=($!)

api=http://127.0.0.1:$prom_port/api/v1
query() { curl -sf --get "$api/query" --data-urlencode "query=$1" 2>/dev/null || true; }
# Prometheus sees Sondral before the alarm: 0.
ok=0
for _ in $(seq 1 300); do
    if query 'sondral_alarm_active' | grep -q '"value":\[[0-9.]*,"0"\]'; then ok=1; break; fi
    sleep 0.2
done
[ $ok = 1 ] || { echo "prometheus never scraped sondral"; tail -20 "$work/prometheus.log"; exit 1; }

# The server puts the automation on air; two seconds of silence and the alarm.
printf 'SN_AUTO' >/dev/udp/127.0.0.1/"$host_port"
ok=0
for _ in $(seq 1 300); do
    if query 'sondral_alarm_active' | grep -q '"value":\[[0-9.]*,"1"\]'; then ok=1; break; fi
    sleep 0.2
done
[ $ok = 1 ] || { echo "sondral_alarm_active never reached 1"; curl -s "$base/metrics" | grep alarm; exit 1; }
echo "prometheus: sondral_alarm_active 1"
ok=0
for _ in $(seq 1 100); do
    if curl -sf "$api/alerts" | grep -q '"alertname":"SondralDeadAir".*"state":"firing"'; then ok=1; break; fi
    sleep 0.2
done
[ $ok = 1 ] || { echo "SondralDeadAir did not fire"; curl -s "$api/alerts"; exit 1; }
echo "prometheus: SondralDeadAir firing"
code=$(curl -s -o /dev/null -w '%{http_code}' "$base/healthz")
[ "$code" = 503 ] || { echo "/healthz gave $code during the alarm"; exit 1; }
code=$(curl -s -o /dev/null -w '%{http_code}' -X POST "$base/metrics")
[ "$code" = 405 ] || { echo "POST gave $code"; exit 1; }
echo "passed"
