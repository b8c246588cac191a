#!/usr/bin/env bash
# Installs what is missing, builds Marvane and starts it on the bundled demo show.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default
exec ./build/src/shell/marvane examples/demo/Demo.mvl "$@"
