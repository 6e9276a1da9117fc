#!/usr/bin/env bash
# The main job: sets up and builds what it runs (the program, the driver file and the board's
# image files, not the tests), then boots the default machine and shows what the system does.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh default talvexon-run
exec build/default/bin/talvexon-run "$@"
