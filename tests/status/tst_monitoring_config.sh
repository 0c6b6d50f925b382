#!/usr/bin/env bash
# The station's monitoring stack as shipped in docs/monitoring/: the
# Prometheus configuration, the alert rules with their unit tests, and the
# Alertmanager route.
set -euo pipefail
dir=${1:?docs/monitoring directory}
cd "$dir"
promtool check config prometheus.yml
promtool check rules sondral-rules.yml
promtool test rules sondral-rules.test.yml
amtool check-config alertmanager.yml
