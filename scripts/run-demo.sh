#!/usr/bin/env bash
# Starts the desktop program beside the demo project, making the demo first if it is absent.
# Without a display it runs the headless main job on the demo instead.
set -euo pipefail
build=${1:-build}
demo_dir="$build/demo"
demo="$demo_dir/demo-basin.db"
cli="$(pwd)/$build/bin/tarnhelm-cli"
app="$(pwd)/$build/bin/tarnhelm"

mkdir -p "$demo_dir"
if [[ ! -f "$demo" ]]; then
    "$cli" demo "$demo"
fi

if [[ -n "${DISPLAY:-}" || -n "${WAYLAND_DISPLAY:-}" ]]; then
    cd "$demo_dir"
    exec "$app"
fi

echo "No display found (DISPLAY is not set): running the headless main job on the demo instead."
"$cli" check "$demo"
"$cli" recalc "$demo"
"$cli" export-xlsx "$demo" "$demo_dir/demo-basin.xlsx"
"$cli" export-attributes "$demo" "$demo_dir/demo-basin-attributes.xml"
echo "The demo's results are in $demo; its workbook and attribute file are beside it in $demo_dir."
