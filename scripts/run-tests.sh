#!/usr/bin/env bash
# Builds everything and runs every test. CI runs exactly this.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/build"
"$top/scripts/setup.sh" "$build"
cd "$build"
ctest --output-on-failure --timeout 300 "$@"
