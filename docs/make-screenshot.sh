#!/usr/bin/env bash
# Takes the README's pictures under Xvfb with a light window manager (Openbox), so that the
# frame and the title show: docs/main-window.png, the main window after an unload session of the
# demo handheld with support still on, and docs/options-dialog.png, the options dialog as a user
# opens it ("Desativar", then "Configurar"). Needs xvfb, openbox, xdotool and scrot (scripts/deps
# installs them).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps
scripts/build build -DQUARVEL_GUI=ON >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r examples/demo/. "$work"
export QUARVEL_SHOT_DIR="$work"
xvfb-run --auto-servernum --server-args="-screen 0 1024x768x24" bash -c '
  set -euo pipefail
  openbox --startup "touch $QUARVEL_SHOT_DIR/wm-ready" &
  until [ -e "$QUARVEL_SHOT_DIR/wm-ready" ]; do sleep 0.1; done
  build/quarvel-pc --home "$QUARVEL_SHOT_DIR/home" --hotsync-root "$QUARVEL_SHOT_DIR/hotsync" \
      --sync "$QUARVEL_SHOT_DIR/handhelds/descarga" --keep-open &
  app=$!
  window=$(xdotool search --sync --onlyvisible --name "^Quarvel PC versão")
  sleep 3  # the session runs once the window is up
  xdotool windowactivate --sync "$window"
  scrot --overwrite --focused --border docs/main-window.png

  # The buttons stand at the right of the bottom row: 80 pixels wide at the stock font, 5 apart,
  # 12 from the edge, their middle 26 pixels above the bottom; "Configurar" 20 before "Ativar".
  eval "$(xdotool getwindowgeometry --shell "$window")"
  row=$((HEIGHT - 26))
  xdotool mousemove --window "$window" $((WIDTH - 12 - 80 - 5 - 40)) "$row" click 1
  sleep 1
  xdotool mousemove --window "$window" $((WIDTH - 12 - 3 * 80 - 2 * 5 - 20 - 13)) "$row" click 1
  dialog=$(xdotool search --sync --onlyvisible --name "^Opções$")
  xdotool windowactivate --sync "$dialog" mousemove 0 0
  sleep 1
  scrot --overwrite --focused --border docs/options-dialog.png
  kill "$app"
'
echo "docs/main-window.png docs/options-dialog.png"
