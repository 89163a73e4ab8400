#!/usr/bin/env bash
# End-to-end times of the whole worker on the benchmark work units, the native
# build and each port side by side (the Windows ports under wine):
#
#   bench/time-ports.sh <ports folder> <native build folder> [REPETITIONS]
#
# Each run is standalone in a fresh directory, as a client would start it; the
# figures are the median over REPETITIONS (default 3) of the CPU seconds (user +
# system) of the worker's process and of its wall-clock seconds, which include
# the BOINC library's start and its pause of about 2 s at finish (and, under
# wine, wine's start).  Every port's result file is compared with the native one.
set -euo pipefail

if [ $# -lt 2 ]; then
    echo "usage: $0 <ports folder> <native build folder> [REPETITIONS]" >&2
    exit 2
fi
ports_dir=$(cd "$1" && pwd)
native_dir=$(cd "$2" && pwd)
repetitions=${3:-3}
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../cmake/ports.sh
. "$here/../cmake/ports.sh"

scratch=$(mktemp -d "${TMPDIR:-/tmp}/dlsmate-time-XXXXXX")
export WINEPREFIX=$ports_dir/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
    if [ -d "$WINEPREFIX" ]; then wineserver -k 2>/dev/null || true; fi
    rm -rf "$scratch"
}
trap cleanup EXIT

# The native build and the ports that run here at full speed (the 32-bit
# Windows port is left out).
builds=("native:$native_dir/dlsmate")
for port in x86_64-linux-static x86_64-w64-mingw32; do
    port_fields "$port"
    builds+=("$port:$ports_dir/$port/$port_worker")
done
command_of() {
    local label=$1 worker=$2
    port_runner=()
    [ "$label" = native ] || port_runner_words "$label"
    echo "${port_runner[*]} $worker"
}

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

printf '%-22s' unit
for build in "${builds[@]}"; do printf ' %28s' "${build%%:*} CPU/wall s"; done
echo
total_cpu=() total_wall=()
for unit in "$here"/units/*.wu; do
    name=$(basename "$unit" .wu)
    printf '%-22s' "$name"
    index=0
    for build in "${builds[@]}"; do
        label=${build%%:*}
        worker=${build#*:}
        [ -f "$worker" ] || { echo "$0: no $label worker at $worker" >&2; exit 1; }
        read -r -a command <<<"$(command_of "$label" "$worker")"
        : >"$scratch/cpu"
        : >"$scratch/wall"
        for _ in $(seq "$repetitions"); do
            dir=$scratch/$label-$name
            rm -rf "$dir"
            mkdir -p "$dir"
            cp "$unit" "$dir/in"
            start=$(date +%s.%N)
            # CPU time of the worker's process and its children, from bash's times.
            (cd "$dir" && "${command[@]}" in out >/dev/null 2>&1 </dev/null && times >"$dir.times") ||
                { echo "$0: $label failed on $name" >&2; exit 1; }
            end=$(date +%s.%N)
            awk 'NR == 2 { split($1, u, "m"); split($2, s, "m");
                 print u[1] * 60 + u[2] + s[1] * 60 + s[2] }' "$dir.times" >>"$scratch/cpu"
            awk -v a="$start" -v b="$end" 'BEGIN { print b - a }' >>"$scratch/wall"
        done
        if [ "$label" = native ]; then
            cp "$dir/out" "$scratch/native-$name.out" 2>/dev/null || : >"$scratch/native-$name.out"
        elif ! cmp -s "$dir/out" "$scratch/native-$name.out" 2>/dev/null; then
            [ ! -f "$dir/out" ] && [ ! -s "$scratch/native-$name.out" ] ||
                { echo "$0: $label's result on $name differs from the native one" >&2; exit 1; }
        fi
        cpu=$(median <"$scratch/cpu")
        wall=$(median <"$scratch/wall")
        printf ' %28s' "$(printf '%.2f / %.2f' "$cpu" "$wall")"
        total_cpu[index]=$(awk -v a="${total_cpu[index]:-0}" -v b="$cpu" 'BEGIN { print a + b }')
        total_wall[index]=$(awk -v a="${total_wall[index]:-0}" -v b="$wall" 'BEGIN { print a + b }')
        index=$((index + 1))
    done
    echo
done
printf '%-22s' total
for index in "${!builds[@]}"; do
    printf ' %28s' "$(printf '%.2f / %.2f' "${total_cpu[index]}" "${total_wall[index]}")"
done
echo
