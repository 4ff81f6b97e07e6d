#!/usr/bin/env bash
# Takes docs/main-window.png: the main window under Xvfb after an unload session of the demo
# handheld, support still on. Needs xvfb and scrot (scripts/deps installs them).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps
scripts/build build -DQUARVEL_GUI=ON >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r examples/demo/. "$work"
export QUARVEL_SHOT_DIR="$work"
xvfb-run --auto-servernum --server-args="-screen 0 800x500x24" bash -c '
  build/quarvel-pc --home "$QUARVEL_SHOT_DIR/home" --hotsync-root "$QUARVEL_SHOT_DIR/hotsync" \
      --sync "$QUARVEL_SHOT_DIR/handhelds/descarga" --keep-open &
  pid=$!
  sleep 3
  scrot --overwrite --autoselect 0,0,542,348 docs/main-window.png
  kill "$pid"
'
echo "docs/main-window.png"
