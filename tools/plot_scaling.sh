#!/usr/bin/env bash
# make plot: the bench suite's JSON to a PNG, via gnuplot from Debian.
set -euo pipefail
results=${1:?usage: plot_scaling.sh RESULTS.json OUTPUT.png}
output=${2:?usage: plot_scaling.sh RESULTS.json OUTPUT.png}
cd "$(dirname "$0")/.."

if ! command -v gnuplot >/dev/null; then
  if [[ $(id -u) -eq 0 ]] && command -v apt-get >/dev/null; then
    apt-get update
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends gnuplot-nox
  else
    echo "gnuplot is missing; install it with: sudo apt-get install -y --no-install-recommends gnuplot-nox" >&2
    exit 1
  fi
fi

table=${results%.json}-scaling.dat
machine=$(/usr/bin/python3 tools/plot_scaling.py "$results" "$table")
mkdir -p "$(dirname "$output")"
gnuplot -e "table='$table'; output='$output'; machine='${machine//\'/}'" tools/plot_scaling.gp
echo "wrote $output"
