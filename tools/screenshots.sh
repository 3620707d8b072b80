#!/usr/bin/env bash
# Renders the main window (idle, during a run, after it, and after a run whose files came out
# repaired, clean, left with damage and failed), the range dialog and the About box to PNG
# files, offscreen: tools/screenshots.sh [OUTPUT_DIR]   (default docs/screenshots)
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
out=${1:-docs/screenshots}
cmake -S . -B "$BUILD_DIR" -G Ninja >/dev/null
cmake --build "$BUILD_DIR" --target korbelt-screenshots
QT_QPA_PLATFORM=offscreen "$BUILD_DIR/bin/korbelt-screenshots" "$out"
