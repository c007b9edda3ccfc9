# Sourced by the scripts that work in a fresh directory: takes the runner's path as $1 into
# `run`, starts `failed` at 0 and moves into a directory removed on exit.
set -u
run=$1
failed=0
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir" || exit 1
