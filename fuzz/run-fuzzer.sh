#!/bin/sh
# Runs a fuzzer for a bounded time over a scratch copy of its seed corpus.
set -eu
fuzzer=$1 corpus=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/tarnwick-fuzz.XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM
[ -d "$corpus" ] && cp -r "$corpus"/. "$work"/
exec "$fuzzer" -max_total_time="${FUZZ_SECONDS:-20}" -rss_limit_mb=2048 -timeout=10 "$work"
