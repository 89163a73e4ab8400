#!/usr/bin/env bash
# Runs the worker on a work unit in a fresh temporary directory, the way a BOINC
# client would start it (standalone: logical names are the file names), then shows
# the exit status, the messages and the result file.
set -u
worker=$(realpath "$1")
workunit=$(realpath "$2")
dir=$(mktemp -d "${TMPDIR:-/tmp}/dlsmate-run-XXXXXX")
cp "$workunit" "$dir/in"
echo "Running $worker in $dir on $(basename "$workunit")"
start=$(date +%s%N)
(cd "$dir" && "$worker" in out)
status=$?
end=$(date +%s%N)
elapsed_ms=$(( (end - start) / 1000000 ))
printf 'Exit status: %d after %d.%03d s (a completed run includes the library'"'"'s 2 s pause at finish)\n' \
    "$status" $((elapsed_ms / 1000)) $((elapsed_ms % 1000))
echo "--- stderr.txt (messages; the BOINC library redirects standard error here) ---"
cat "$dir/stderr.txt" 2>/dev/null
echo "--- result file ---"
if [ -f "$dir/out" ]; then cat "$dir/out" | tr -d '\r'; else echo "(none)"; fi
exit "$status"
