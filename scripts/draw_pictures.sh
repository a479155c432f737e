#!/usr/bin/env bash
# Redraws the pictures kept under resources/ (background, notice, status icons).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target m797_draw_pictures >/dev/null
QT_QPA_PLATFORM=offscreen build/resources/m797_draw_pictures resources
