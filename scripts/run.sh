#!/usr/bin/env bash
# Installs what is needed, builds in build/ and starts the program.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh build
if [[ -x build/lumatrim ]]; then
  exec build/lumatrim "$@"
fi
echo "Built in build/; the main window is not part of this build yet."
