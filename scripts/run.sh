#!/usr/bin/env bash
# Installs what is needed, builds in build/ and starts the program, on the photos given or on
# the sample photo.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh build
exec build/lumatrim "${@:-data/sample/lakeside.jpg}"
