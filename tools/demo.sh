#!/usr/bin/env bash
# The end-to-end demo: what a user sees the library do through reelhost.
set -euo pipefail
build=${1:-build}
host="$build/reelhost"
echo "== reelhost info"
"$host" info
