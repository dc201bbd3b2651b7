#!/usr/bin/env bash
# Renews docs/launcher.png, the README's picture of the running launcher:
# the demo's download phase, taken on a fresh display.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
mkdir -p docs
env -u DISPLAY bash scripts/demo.sh --docs-shot "$root/docs/launcher.png"
