#!/usr/bin/env bash
# make plot: the bench suite's JSON to a PNG, via gnuplot.
set -euo pipefail
results=${1:?usage: plot_scaling.sh RESULTS.json OUTPUT.png}
output=${2:?usage: plot_scaling.sh RESULTS.json OUTPUT.png}
cd "$(dirname "$0")/.."

table=${results%.json}-scaling.dat
machine=$(python3 tools/plot_scaling.py "$results" "$table")
mkdir -p "$(dirname "$output")"
gnuplot -e "table='$table'; output='$output'; machine='${machine//\'/}'" tools/plot_scaling.gp
echo "wrote $output"
