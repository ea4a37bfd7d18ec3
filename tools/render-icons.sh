#!/usr/bin/env bash
# Regenerates the product icon: resources/icons/icon-{16,24,32,48,64,128}.png
# and resources/icons/korvela.svg, from tools/render-icons.py. The output is
# byte-identical on every run; commit the files it changes.
set -euo pipefail
cd "$(dirname "$0")/.."
exec /usr/bin/python3 tools/render-icons.py "$@"
