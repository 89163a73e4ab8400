#!/usr/bin/env bash
# Runs the worker on a work unit in a fresh temporary directory, the way a BOINC
# client would start it (standalone: logical names are the file names), and
# explains what came out: the exit status, the messages, each square found
# beside its orthogonal diagonal mates, and the closing block in words.
#
#   tools/run-sample.sh WORKER TOOLS_DIR WORKUNIT
#
# TOOLS_DIR holds dlsmate-mates and dlsmate-check.  The exit status is the
# worker's; the temporary directory is removed in every case.
set -euo pipefail

if [ $# -ne 3 ]; then
    echo "usage: $0 WORKER TOOLS_DIR WORKUNIT" >&2
    exit 2
fi
worker=$(realpath "$1")
tools=$(realpath "$2")
workunit=$(realpath "$3")
for program in "$worker" "$tools/dlsmate-mates" "$tools/dlsmate-check"; do
    [ -x "$program" ] || { echo "$0: no program at $program" >&2; exit 2; }
done
[ -f "$workunit" ] || { echo "$0: no work unit at $workunit" >&2; exit 2; }

# shellcheck source=standalone-run.sh
. "$(dirname "$0")/standalone-run.sh"
dir=$(mktemp -d "${TMPDIR:-/tmp}/dlsmate-run-XXXXXX")
trap 'rm -rf "$dir"' EXIT

read -r diagonal limit _ <"$workunit" || true
echo "Work unit $(basename "$workunit"): diagonal index $diagonal, square limit $limit"
echo "Running $(basename "$worker") in a fresh folder, as a BOINC client starts it: dlsmate in out"
start=$(date +%s%N)
status=0
run_standalone "$dir" "$workunit" "$worker" || status=$?
end=$(date +%s%N)
elapsed_ms=$(((end - start) / 1000000))
case $status in
0) meaning="the run completed" ;;
*) meaning="the run failed; a client would report a computation error" ;;
esac
printf '\nExit status %d (%s) after %d.%03d s' "$status" "$meaning" $((elapsed_ms / 1000)) $((elapsed_ms % 1000))
if [ "$status" -eq 0 ]; then
    echo "; that includes the BOINC library's 2 s pause at finish."
else
    echo "."
fi

echo
echo "Messages (the BOINC library redirects standard error to stderr.txt and adds lines of its own):"
if [ -s "$dir/stderr.txt" ]; then
    sed 's/^/    /' "$dir/stderr.txt"
else
    echo "    (none)"
fi

echo
if [ ! -f "$dir/out" ]; then
    echo "Result file: none (a run that does not complete writes none)."
    exit "$status"
fi
tr -d '\r' <"$dir/out" >"$dir/out.txt"
echo "Result file: $(wc -c <"$dir/out") bytes."

# The records before the status line are the squares found, 11 lines each.
found=$(awk '/^X$/ { exit } { n++ } END { print int(n / 11) }' "$dir/out.txt")
"$tools/dlsmate-mates" "$dir/out.txt" >"$dir/mates.txt"
if [ "$found" -eq 0 ]; then
    echo "No square with an orthogonal diagonal mate was found."
else
    echo "It holds $found square(s) with an orthogonal diagonal mate: the 212-byte records before the line X."
fi
for ((n = 1; n <= found; n++)); do
    sed -n "$(((n - 1) * 11 + 1)),$(((n - 1) * 11 + 10))p" "$dir/out.txt" >"$dir/square"
    # dlsmate-mates lists square n's mates after the line "# FILE square n (...): M ...".
    awk -v n="$n" '
        /^# / { current = ($3 == "square" && $4 == n) ; next }
        current && NF == 10 { print }' "$dir/mates.txt" | tr -d '\r' >"$dir/mates"
    mates=$(($(wc -l <"$dir/mates") / 10))
    echo
    echo "Square $n and its $mates orthogonal diagonal mate(s), counted up to renaming their symbols"
    echo "(laid on the square, a mate gives each of the 100 ordered pairs of values exactly once):"
    columns=("$dir/square")
    heading=$(printf '%-22s' "square $n")
    for ((m = 1; m <= mates; m++)); do
        sed -n "$(((m - 1) * 10 + 1)),$((m * 10))p" "$dir/mates" >"$dir/mate.$m"
        columns+=("$dir/mate.$m")
        heading+=$(printf '%-22s' "mate $m")
    done
    echo "    ${heading%"${heading##*[! ]}"}"
    paste -d '|' "${columns[@]}" | sed 's/|/   /g; s/^/    /'
done

if ! grep -qx X "$dir/out.txt"; then
    echo
    echo "No closing block: the space of diagonal index $diagonal ran out before the end square or the limit."
    exit "$status"
fi
read -r status_diagonal passing < <(awk '/^X$/ { getline; print; exit }' "$dir/out.txt")
summary=$("$tools/dlsmate-check" "$dir/in" "$dir/out" || true)
echo
echo "Closing block: the line X, then \"$status_diagonal $passing\": diagonal index $status_diagonal, and"
echo "$passing squares passed the symmetry filter (each the smallest of its symmetry class)."
stop_line=$(awk '/^X$/ { print NR + 2; exit }' "$dir/out.txt")
case $summary in
*" stop=limit "*) echo "The run stopped at its square limit ($limit); the square at which it stopped, the ${passing}th that passed:" ;;
*" stop=end "*) echo "The run stopped at its end square; the first square that passed and is not below it:" ;;
*) echo "The closing block does not fit the work unit: $summary" ;;
esac
sed -n "${stop_line},$((stop_line + 9))p" "$dir/out.txt" | sed 's/^/    /'
end_line=$((stop_line + 11))
if [ "$(sed -n "${end_line},$((end_line + 9))p" "$dir/out.txt" | tr -d ' \n' | tr -d 9)" = "" ]; then
    echo "Then the work unit's end square: all nines, above every square, so this run could stop only at its"
    echo "limit or at the end of the space."
else
    echo "Then the work unit's end square:"
    sed -n "${end_line},$((end_line + 9))p" "$dir/out.txt" | sed 's/^/    /'
fi
echo
echo "dlsmate-check on the result: ${summary#"$dir/out: "}"
exit "$status"
