#!/usr/bin/env bash
# Builds the Debian package build/marvane_<version>_amd64.deb with CPack from the default build:
# the programs, manual pages and the rest of what the package holds (not the tests).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" \
    --target marvane marvane-cli marvane_manpages marvane_changelog
rm -f build/marvane_*.deb
(cd build && cpack -G DEB >/dev/null)
ls build/marvane_*.deb
