#!/usr/bin/env bash
# Builds the plug-in and the stand-in host (preset linux-release) and runs the main
# job: the stand-in host runs the plug-in's "Start" command on a bundled example
# list (a table copied from a paper), which writes one VOI file of spherical VOIs;
# the host then loads the file, reading it back and logging a summary. The host's
# log goes to standard output, the host's own notes and messages to standard error.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

tools/deps.sh
cmake --preset linux-release >/dev/null
cmake --build --preset linux-release --target standin_host

host=build/linux-release/CerevantRZ.exe
out=build/linux-release/demo
mkdir -p "$out"

# The main job, as arguments of the stand-in host.
main_job=(spheres examples/paper_table.txt --output "$out/seed_regions")

echo
echo "\$ $host ${main_job[*]}"
"$host" "${main_job[@]}"

echo
echo "The start of $out/seed_regions.voi:"
head -n 28 "$out/seed_regions.voi" | tr -d '\r'
echo "..."
