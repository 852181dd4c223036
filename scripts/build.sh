#!/usr/bin/env bash
# Installs what is missing and builds build/ondelis.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh build
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DONDELIS_TESTS=OFF >/dev/null
cmake --build build -j"$(nproc)" --target ondelis
