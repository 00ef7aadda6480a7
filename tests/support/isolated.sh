#!/bin/sh
# Runs one test with a home and XDG folders of its own, removed afterwards.
set -eu
root=$(mktemp -d "${TMPDIR:-/tmp}/tarnwick-test.XXXXXX")
trap 'rm -rf "$root"' EXIT INT TERM
mkdir -p "$root/home" "$root/config" "$root/data" "$root/cache" "$root/runtime"
chmod 700 "$root/runtime"
export HOME="$root/home" XDG_CONFIG_HOME="$root/config" XDG_DATA_HOME="$root/data" \
       XDG_CACHE_HOME="$root/cache" XDG_RUNTIME_DIR="$root/runtime"
"$@"
