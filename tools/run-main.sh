#!/usr/bin/env bash
# The main job: sets up and builds, then boots the default machine and shows what the system does.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh default
exec build/default/bin/talvexon-run "$@"
