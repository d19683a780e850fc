#!/usr/bin/env bash
# Builds the orbiculon command (preset linux-release), installs it into
# build/linux-release/install and runs the main job: the plug-in's "Start" command on
# a bundled example list (a table copied from a paper), which writes one VOI file of
# spherical VOIs; the file is then loaded as the host would, read back and
# summarised. The host's log goes to standard output, notes and messages to standard
# error.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

tools/deps.sh
cmake --preset linux-release >/dev/null
cmake --build --preset linux-release --target standin_host orbiculon_launcher orbiculon_documentation
cmake --install build/linux-release --prefix build/linux-release/install --component tools >/dev/null
PATH=$root/build/linux-release/install/bin:$PATH

out=build/linux-release/demo
mkdir -p "$out"

# The main job, as arguments of orbiculon.
main_job=(spheres examples/paper_table.txt --output "$out/seed_regions")

echo
echo "\$ orbiculon ${main_job[*]}"
orbiculon "${main_job[@]}"

echo
echo "The start of $out/seed_regions.voi:"
head -n 28 "$out/seed_regions.voi" | tr -d '\r'
echo "..."
