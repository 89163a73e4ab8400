#!/usr/bin/env bash
# A whole BOINC project for dlsmate on this machine: the server built from BOINC's
# source ($DLSMATE_BOINC_SOURCE), private MariaDB and Apache on 127.0.0.1, the
# deploy kit's work generator, validator and assimilator, and Debian's boinc
# client on three private data folders.
#
#   server_test.sh WORKER APP_WORKER TOOLS_DIR SOURCE_DIR BOINC_BUILD_DIR [GPU_WORKER]
#
# WORKER runs the standalone runs; APP_WORKER is the worker the project hands out
# (packed by deploy/make-app-version.sh), and its results must be the same.
#
# GPU_WORKER (dlsmate-opencl) is handed out beside it, packed for every plan class
# of deploy/gpu_plan_classes.xml and for the test's own opencl_cpu class
# (opencl_cpu_plan_class.xml); the project's validator compares results of both
# versions byte for byte, as it would on a real project.  There is no GPU here:
# Debian's client reports pocl's processor device as an OpenCL CPU device, never
# as a GPU, so the GPU classes are installed, signed and weighed by the scheduler
# for every request but never sent; BOINC's scheduler sends an app version whose
# class asks for OpenCL and no GPU type to a host that reported an OpenCL CPU
# device, and client B (the only one whose client looks for GPUs and OpenCL
# devices) gets dlsmate-opencl that way, running it on pocl with no device
# assigned.  Covered: the GPU worker packed, signed, sent by the scheduler through
# plan_class_spec.xml, run under a real client (slot, init data, checkpoints,
# upload), and its results validated against dlsmate's.  Not covered: a GPU host,
# the client's GPU assignment and boinc_get_opencl_ids.  Without GPU_WORKER
# (no OpenCL at build time) A and B both run APP_WORKER.
#
# Phase 1: twelve units of diagonal index 65 (three stop at their limit and are
# continued) and samples/sample.wu (which finds a mate; continued once, then held by
# --max-links 1) run on clients A (APP_WORKER) and B (GPU_WORKER); every unit must
# end valid and assimilated, with one replica from each version, and the catalogue,
# the kept results and the held continuation must equal those of
# standalone runs of the same units.  Phase 2: client C returns two results with one
# digit changed, one in a square (dlsmate-check against the work unit rejects it)
# and one in the count (only the comparison with the other replica shows it); the
# validator must reject both, and each unit must get a further replica (on A or B)
# and end valid.
# Exit status 77 (a CTest skip) when the BOINC source is not there.
set -euo pipefail

if [ "${1:-}" = --inside ]; then
    shift
    inside=yes
else
    inside=
fi
worker=$(realpath "$1")
app_worker=$(realpath "$2")
tools=$(realpath "$3")
source_dir=$(realpath "$4")
# shellcheck source=../../tools/standalone-run.sh
. "$source_dir/tools/standalone-run.sh"
boinc_build=$5
if [ -n "$inside" ]; then
    gpu_worker=${7:-}
else
    gpu_worker=${6:+$(realpath "$6")}
fi

fail() { echo "FAILED: $*" >&2; exit 1; }
field() { sed -n "s/.* $2=\([^ ]*\).*/\1/p" <<<"$1"; }

# The units of both phases: a split of the range whose first four rows are those of
# the sample's square, by the first two cells of row 4: split_units FOLDER TOOLS LIMIT.
# Unit 13 holds the sample's own range; units 16 and 17 (with a limit of 10000, so
# that they run to their end squares) are phase 2's.
split_units() {
    "$2/dlsmate-split" --live-only --quiet --prefix 6,5,7,3,4,8,2,9,4,0,9,6,7,3,5,8,8,4,5,1,3,9,6,7,5,8,6,9,2,1,7,0 \
        65 34 "$3" "$1" >/dev/null
}
phase1_units="d65-k34-000001 d65-k34-000002 d65-k34-000003 d65-k34-000004 d65-k34-000005 d65-k34-000006
              d65-k34-000007 d65-k34-000008 d65-k34-000009 d65-k34-000010 d65-k34-000011 d65-k34-000012 sample"
square_unit=d65-k34-000016 count_unit=d65-k34-000017
phase2_units="$square_unit $count_unit"
max_links=1

if [ -z "$inside" ]; then
    if [ -z "${DLSMATE_BOINC_SOURCE:-}" ] || [ ! -f "$DLSMATE_BOINC_SOURCE" ]; then
        echo "SKIPPED: no BOINC source tarball: set DLSMATE_BOINC_SOURCE to BOINC 7.20.5's source" \
            "(boinc-7.20.5-trim.tar.xz or BOINC's release tarball of client_release/7.20/7.20.5)${DLSMATE_BOINC_SOURCE:+; not found: $DLSMATE_BOINC_SOURCE}"
        exit 77
    fi
    work=$(mktemp -d "${TMPDIR:-/tmp}/dlsmate-server-XXXXXX")
    trap 'rm -rf "$work"' EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM
    chmod 711 "$work" # the web server reaches the project inside
    started=$SECONDS

    # Standalone runs of every link of every unit, in fresh folders, two at a time.
    echo "Running the units standalone"
    mkdir -p "$work/reference"
    split_units "$work/split" "$tools" 2500
    split_units "$work/split-10000" "$tools" 10000
    for unit in $phase1_units; do
        if [ "$unit" = sample ]; then cp "$source_dir/samples/sample.wu" "$work/reference/sample.wu"
        else cp "$work/split/$unit.wu" "$work/reference/"; fi
    done
    for unit in $phase2_units; do cp "$work/split-10000/$unit.wu" "$work/reference/"; done
    run_chain() { # run_chain NAME: every link up to --max-links, and the held one
        local name=$1 link=0 current=$1 dir answer
        while :; do
            dir=$(mktemp -d "$work/run-XXXXXX")
            run_standalone "$dir" "$work/reference/$current.wu" "$worker" || fail "standalone run of $current"
            cp "$dir/out" "$work/reference/$current.out"
            rm -rf "$dir"
            link=$((link + 1))
            answer=$("$tools/dlsmate-next" "$work/reference/$current.wu" "$work/reference/$current.out" \
                "$work/reference/$name-c$link.wu" 2>/dev/null)
            [ "$answer" != "done" ] || break
            current=$name-c$link
            if [ $link -gt $max_links ]; then
                mv "$work/reference/$current.wu" "$work/reference/$current.held"
                break
            fi
        done
    }
    export -f run_chain run_standalone fail
    export work worker tools max_links
    printf '%s\n' $phase1_units $phase2_units | xargs -P 2 -I{} bash -c 'set -euo pipefail; run_chain {}'

    echo "Standing up the project"
    gpu_options=()
    if [ -n "$gpu_worker" ]; then
        gpu_options=(--gpu-worker "$gpu_worker" --plan-classes "$source_dir/deploy/gpu_plan_classes.xml"
            --plan-classes "$source_dir/tests/server/opencl_cpu_plan_class.xml")
    fi
    "$source_dir/deploy/server/throwaway-project.sh" --boinc-build "$boinc_build" \
        --worker "$app_worker" "${gpu_options[@]}" --tools "$tools" --unsent 20 --max-links "$max_links" \
        "$work/server" bash "$(realpath "$0")" --inside "$worker" "$app_worker" "$tools" "$source_dir" "$boinc_build" \
        "$work" "$gpu_worker"
    echo "The server test took $((SECONDS - started)) s"
    exit 0
fi

# ---- Inside the running project: $DLSMATE_PROJECT, $DLSMATE_URL -----------------
work=$6
project=$DLSMATE_PROJECT
url=$DLSMATE_URL
reference=$work/reference
# shellcheck source=../../deploy/dlsmate_project.sh
source "$project/bin/dlsmate_project.sh"
host=$(hostname -s)

client_names=() client_pids=() client_ports=()
stop_clients() {
    local i
    for i in "${!client_pids[@]}"; do
        [ -n "${client_pids[i]}" ] || continue
        kill -0 "${client_pids[i]}" 2>/dev/null || continue
        echo "Stopping client ${client_names[i]} (pid ${client_pids[i]})"
        (cd "$work/clients/${client_names[i]}" &&
            timeout 10 boinccmd --host "127.0.0.1:${client_ports[i]}" --quit >/dev/null 2>&1) || true
        local deadline=$((SECONDS + 20))
        while kill -0 "${client_pids[i]}" 2>/dev/null && [ $SECONDS -lt $deadline ]; do sleep 0.2; done
        kill -KILL "${client_pids[i]}" 2>/dev/null || true
        wait "${client_pids[i]}" 2>/dev/null || true
    done
}
show_logs() {
    local log
    for log in "$project"/log_"$host"/*.log "$work"/clients/*/client.log; do
        [ -f "$log" ] || continue
        echo "---- last lines of $log"
        tail -n 15 "$log"
    done
}
on_exit() {
    local status=$?
    [ $status -eq 0 ] || show_logs
    stop_clients
    exit $status
}
trap on_exit EXIT

index_of() { local i; for i in "${!client_names[@]}"; do [ "${client_names[i]}" != "$1" ] || echo "$i"; done; }
boinccmd_of() { # boinccmd_of CLIENT ARGUMENT...
    local i
    i=$(index_of "$1")
    shift
    (cd "$work/clients/${client_names[i]}" && timeout 10 boinccmd --host "127.0.0.1:${client_ports[i]}" "$@")
}

# An account per client (a volunteer's account; one host each), made through the
# project's web RPC, as a client's manager makes it.
create_account() {
    local email=$1@example.org passwd=secret-$1 answer
    answer=$(curl -sSf "${url}create_account.php?email_addr=$email&user_name=$1&passwd_hash=$(printf '%s' "$passwd$email" | md5sum | cut -d' ' -f1)") ||
        fail "create_account.php for $1"
    sed -n 's:.*<authenticator>\(.*\)</authenticator>.*:\1:p' <<<"$answer" | grep . || fail "no authenticator: $answer"
}

# The client that looks for GPUs and OpenCL devices (pocl's CPU device): B, when
# there is a GPU worker to hand out; the others are started with --no_gpus.
opencl_client=
[ -z "$gpu_worker" ] || opencl_client=B

# start_client NAME [OPTION...]: a client of its own, attached to the project.
start_client() {
    local name=$1 dir=$work/clients/$1 port authenticator index gpus=(--no_gpus)
    shift
    [ "$name" != "$opencl_client" ] || gpus=()
    mkdir -p "$dir"
    index=$(index_of "$name")
    if [ -z "$index" ]; then
        authenticator=$(create_account "$name")
        port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
        printf '<cc_config>\n<options>\n<ncpus>1</ncpus>\n<no_priority_change>1</no_priority_change>\n</options>\n</cc_config>\n' \
            >"$dir/cc_config.xml"
        # Keep computing while other processes load the machine.
        printf '<global_preferences>\n<suspend_cpu_usage>0</suspend_cpu_usage>\n</global_preferences>\n' \
            >"$dir/global_prefs_override.xml"
        client_names+=("$name") client_ports+=("$port") client_pids+=("")
        index=$(index_of "$name")
        set -- "$@" --attach_project "$url" "$authenticator"
    fi
    port=${client_ports[index]}
    # pocl keeps the kernels it compiled in the test's folder, not in $HOME.
    (cd "$dir" && POCL_CACHE_DIR=$work/pocl-cache exec boinc --dir "$dir" --gui_rpc_port "$port" \
        --allow_multiple_clients "${gpus[@]}" --skip_cpu_benchmarks --no_info_fetch "$@" >>"$dir/client.log" 2>&1) &
    client_pids[index]=$!
    echo "Started client $name (pid ${client_pids[index]}, GUI RPC port $port)"
}

# wait_until WHAT SECONDS CHECK: runs CHECK every 2 s until it succeeds, asking the
# clients to contact the scheduler every 6 s (a client backs off after a request
# that got no work); CHECK prints how far things are, shown every 15 s.
wait_until() {
    local what=$1 seconds=$2 check=$3 deadline=$((SECONDS + $2)) shown=-100 kicked=-100 state
    echo "Waiting up to ${seconds} s for $what"
    while :; do
        if state=$($check); then
            echo "  done: $state"
            return 0
        fi
        [ $SECONDS -lt $deadline ] || fail "$what: not within ${seconds} s ($state)"
        if [ $((SECONDS - shown)) -ge 15 ]; then
            echo "  $state"
            shown=$SECONDS
        fi
        if [ $((SECONDS - kicked)) -ge 6 ]; then
            local name i
            for name in "${client_names[@]}"; do
                i=$(index_of "$name")
                kill -0 "${client_pids[i]}" 2>/dev/null && boinccmd_of "$name" --project "$url" update >/dev/null 2>&1 || true
            done
            kicked=$SECONDS
        fi
        sleep 2
    done
}

# The links that the standalone runs made, with their results.
expected_links() { (cd "$reference" && ls ./*.out | sed 's:^\./::; s:\.out$::' | sort); }
in_list() { grep -qx "$1" <<<"$2"; }

# Prints the state of the listed work units; succeeds when each is assimilated.
assimilated() { # assimilated NAME...
    local names
    names=$(printf "'%s'," "$@")
    local count
    count=$(db "select count(*) from workunit where name in (${names%,}) and assimilate_state = 2")
    echo "$count of $# units assimilated"
    [ "$count" -eq $# ]
}

# The host id of a client, once it has one.
host_of() { sed -n 's:.*<hostid>\(.*\)</hostid>.*:\1:p' "$work/clients/$1/client_state.xml" | awk 'NR == 1'; }

# Which app version made each replica of the listed units, as the log shows it:
#   UNIT: CLIENT VERSION STATE, ...
# VERSION is the plan class, or "cpu" for the app version without one.
replica_versions() { # replica_versions UNIT...
    local names hosts='' name
    names=$(printf "'%s'," "$@")
    for name in "${client_names[@]}"; do hosts+="$(host_of "$name")=$name "; done
    db "select w.name, r.hostid, coalesce(nullif(v.plan_class, ''), 'cpu'), r.validate_state
        from result r join workunit w on w.id = r.workunitid left join app_version v on v.id = r.app_version_id
        where w.name in (${names%,}) order by w.name, r.id" |
        awk -v hosts="$hosts" 'BEGIN { n = split(hosts, h, " "); for (i = 1; i <= n; i++) { split(h[i], p, "="); client[p[1]] = p[2] }
                                       state[0] = "not validated"; state[1] = "valid"; state[2] = "invalid" }
            $1 != unit { if (unit != "") print line; unit = $1; line = "  " $1 ":"; sep = " " }
            { line = line sep (($2 in client) ? client[$2] : "host " $2) " " $3 " " (($4 in state) ? state[$4] : "state " $4); sep = ", " }
            END { if (unit != "") print line }'
}

# ---- Phase 1 ----------------------------------------------------------------------
# The operator's steps: split with the project's copy of the tool, queue the units.
split_units "$work/split-server" "$bin" 2500
split_units "$work/split-server-10000" "$bin" 10000
for unit in $phase1_units; do
    if [ "$unit" = sample ]; then cp "$source_dir/samples/sample.wu" "$dlsmate/queue/sample.wu"
    else cp "$work/split-server/$unit.wu" "$dlsmate/queue/"; fi
done
if [ -n "$gpu_worker" ]; then
    # Each host gets the app version that the scheduler projects fastest, without
    # BOINC's random trials of others: B the opencl_cpu version, A the CPU one.
    sed -i 's:^\(\s*\)</config>:\1    <version_select_random_factor>0</version_select_random_factor>\n\1</config>:' "$project/config.xml"
    grep -q '<version_select_random_factor>0<' "$project/config.xml" || fail "could not set version_select_random_factor"
    versions=$(db "select coalesce(nullif(plan_class, ''), 'cpu') from app_version where deprecated = 0 order by 1" | tr '\n' ' ')
    [ "$versions" = "cpu opencl_amd opencl_cpu opencl_intel opencl_nvidia " ] || fail "app versions: $versions"
    echo "App versions side by side: $versions"
fi
start_client A
start_client B
phase1_links=$(expected_links | grep -v -e "^$square_unit" -e "^$count_unit" || true)
# The work generator moves a continuation beyond --max-links to held/ on its next
# pass, a few seconds after the assimilator queued it.
check_phase1() {
    assimilated $phase1_links || return 1
    local held
    for held in "$reference"/*.held; do
        [ -e "$held" ] || continue
        [ -f "$dlsmate/held/$(basename "$held" .held).wu" ] || { echo "waiting for held/$(basename "$held" .held).wu"; return 1; }
    done
}
# shellcheck disable=SC2086
wait_until "$(wc -w <<<"$phase1_links") units and continuations to be valid and assimilated" 360 check_phase1

# No other unit was made, none failed, and every replica was valid.
made=$(db "select name from workunit" | sort)
[ "$made" = "$phase1_links" ] || fail "units made: $(echo $made); expected: $(echo $phase1_links)"
bad=$(db "select r.name from result r where r.validate_state <> 1 or r.outcome <> 1")
[ -z "$bad" ] || fail "replicas not valid: $bad"
replicas=$(db "select count(*) from result")
[ "$replicas" -eq $((2 * $(wc -w <<<"$phase1_links"))) ] || fail "$replicas replicas for $(wc -w <<<"$phase1_links") units"
[ "$(db "select count(distinct hostid) from result")" -eq 2 ] || fail "replicas did not run on both hosts"
echo "App versions of the replicas (host, plan class, validation):"
# shellcheck disable=SC2086
replica_versions $phase1_links
if [ -n "$gpu_worker" ]; then
    # Every unit validated across a result of dlsmate on A and one of dlsmate-opencl on B.
    a_host=$(host_of A) b_host=$(host_of B)
    crossed=0
    for link in $phase1_links; do
        pair=$(db "select r.hostid, coalesce(nullif(v.plan_class, ''), 'cpu') from result r
            join workunit w on w.id = r.workunitid left join app_version v on v.id = r.app_version_id
            where w.name = '$link' and r.validate_state = 1 order by 2" | tr '\t\n' ': ')
        # (opencl_cpu here; a GPU class on a machine whose GPU B's client finds)
        [[ $pair =~ ^$a_host:cpu\ $b_host:opencl_[a-z]+\ $ ]] ||
            fail "$link was not validated across dlsmate on A and dlsmate-opencl on B: $pair"
        crossed=$((crossed + 1))
    done
    [ "$crossed" -gt 0 ] || fail "no unit was validated across a CPU result and a GPU-worker result"
    # The GPU worker ran on the device the client's choice allows: pocl's, as an
    # OpenCL CPU app version's.
    device_line="Device: .*, (no GPU assigned by the BOINC client, the first CPU device|assigned by the BOINC client)"
    without=$(db "select r.name from result r join app_version v on v.id = r.app_version_id
        where v.plan_class <> '' and r.stderr_out not regexp '$device_line'")
    [ -z "$without" ] || fail "results of dlsmate-opencl without the device line: $without"
    echo "  $crossed units validated across dlsmate (A) and dlsmate-opencl (B), which said:" \
        "$(db "select r.stderr_out from result r join app_version v on v.id = r.app_version_id
            where v.plan_class <> '' limit 1" | grep -Eo "$device_line" | head -n 1)"
fi

# The catalogue, the kept results and the held continuation against the standalone runs.
compare_with_reference() { # compare_with_reference LINK...
    local link summary row expected passing=0 mates=0 results=0
    for link in "$@"; do
        cmp "$reference/$link.out" "$dlsmate/results/$link.out" || fail "the kept result of $link differs"
        summary=$("$tools/dlsmate-check" "$reference/$link.wu" "$reference/$link.out")
        expected="$(field "$summary" records)|$(field "$summary" passing)|$(field "$summary" stop)|$(field "$summary" own_records)|$(field "$summary" own_passing)"
        expected=${expected//unknown/}
        row=$(sqlite3 "$catalogue" "select records, passing, stop, own_records, own_passing from unit where name = '$link'")
        [ "$row" = "$expected" ] || fail "catalogue row of $link: $row; standalone: $expected"
        passing=$((passing + $(field "$summary" own_passing))) mates=$((mates + $(field "$summary" own_records)))
        results=$((results + 1))
    done
    local units
    units=$(printf '%s\n' "$@" | sed 's/-c[0-9]*$//' | sort -u | wc -l)
    expected="space 65: $results results of $units units, $passing squares passed the filter, $mates with a mate"
    [ "$("$bin/dlsmate-catalogue" "$catalogue" totals)" = "$expected" ] ||
        fail "catalogue totals: $("$bin/dlsmate-catalogue" "$catalogue" totals); standalone: $expected"
    echo "  catalogue: $expected"
    # Every square with a mate, once: the records of the standalone results.
    local exported standalone
    exported=$("$bin/dlsmate-catalogue" "$catalogue" squares 65 | grep -v '^#' | tr -d ' ' |
        awk 'NF { s = s $0 } !NF { print s; s = "" }')
    standalone=$(for link in "$@"; do tr -d '\r ' <"$reference/$link.out" |
        awk '$0 == "X" { exit } NF { s = s $0; if (length(s) == 100) { print s; s = "" } }'; done | sort -u)
    [ "$exported" = "$standalone" ] || fail "exported squares: $exported; standalone: $standalone"
    [ "$(grep -c . <<<"$exported")" -eq "$mates" ] || fail "$mates squares with a mate, $(grep -c . <<<"$exported") exported"
    # Their classes and mates: dlsmate-cf's CFs and dlsmate-mates' counts of the standalone squares.
    local squares_file=$work/standalone-squares.txt cfs counts
    awk 'NF { for (r = 0; r < 10; r++) { line = ""
              for (c = 1; c <= 10; c++) line = line (c > 1 ? " " : "") substr($0, 10 * r + c, 1)
              print line }
              print "" }' <<<"$standalone" >"$squares_file"
    cfs=$("$tools/dlsmate-cf" "$squares_file" | grep -v '^#' | tr -d ' ' | awk 'NF { s = s $0 } !NF { print s; s = "" }')
    [ "$cfs" = "$(sqlite3 "$catalogue" "select cf from square where shared = 0 order by square")" ] ||
        fail "CFs in the catalogue: $(sqlite3 "$catalogue" "select cf from square where shared = 0 order by square"); dlsmate-cf: $cfs"
    counts=$("$tools/dlsmate-mates" --count "$squares_file")
    [ "$counts" = "$(sqlite3 "$catalogue" "select c.mates from square s join class c on c.cf = s.cf
            where s.shared = 0 order by s.square")" ] || fail "mates in the catalogue differ from dlsmate-mates: $counts"
    # The CPU time of each canonical result as BOINC recorded it (0, none, for a task
    # that ended before the client measured it).
    local boinc_cpu catalogue_cpu
    for link in "$@"; do
        boinc_cpu=$(db "select r.cpu_time from result r join workunit w on r.id = w.canonical_resultid
            where w.name = '$link'")
        catalogue_cpu=$(sqlite3 "$catalogue" "select coalesce(cpu_seconds, 0) from unit where name = '$link'")
        awk -v a="$boinc_cpu" -v b="$catalogue_cpu" 'BEGIN { d = a - b; exit !(d < 1e-6 && d > -1e-6) }' ||
            fail "CPU time of $link: BOINC $boinc_cpu, catalogue $catalogue_cpu"
    done
    echo "  classes: $(sort -u <<<"$cfs" | grep -c .) CFs of the squares with a mate, mates $(echo $counts)"
}
echo "Comparing the catalogue with the standalone runs"
# shellcheck disable=SC2086
compare_with_reference $phase1_links
for held in "$reference"/*.held; do
    cmp "$held" "$dlsmate/held/$(basename "$held" .held).wu" || fail "held continuation $(basename "$held")"
done
[ "$(ls "$dlsmate/held" | wc -l)" -eq "$(ls "$reference"/*.held | wc -l)" ] || fail "held: $(ls "$dlsmate/held")"

# ---- Phase 2: corrupted replicas -------------------------------------------------
# Client C runs one replica of each unit in turn and stops before each upload
# (--exit_before_upload); the digit is changed in its project folder, and C is
# started again to upload it.  A and B take no work meanwhile.
echo "Phase 2: client C returns replicas of $square_unit and $count_unit with one digit changed"
# Phase 3 needs uploads of assimilated units: the file deleter, which removes them, stops here.
kill "$(cat "$project/pid_$host/file_deleter.pid")"
boinccmd_of A --project "$url" nomorework
boinccmd_of B --project "$url" nomorework
replicas_of() { db "select count(*) from result r join workunit w on w.id = r.workunitid where w.name = '$1'"; }
results_of() { # host:validate state of each replica
    db "select r.hostid, r.validate_state from result r join workunit w on w.id = r.workunitid
        where w.name = '$1' order by r.id" | tr '\t' ':'
}
# change_digit UNIT WHICH: C runs a replica of UNIT; WHICH (square or count) is changed.
change_digit() {
    local unit=$1 which=$2
    cp "$work/split-server-10000/$unit.wu" "$dlsmate/queue/"
    made() { local n; n=$(replicas_of "$unit"); echo "$n replicas of $unit"; [ "$n" -eq 2 ]; }
    wait_until "$unit and its replicas to be made" 60 made
    start_client C --exit_before_upload
    c_index=$(index_of C)
    c_exited() { if kill -0 "${client_pids[c_index]}" 2>/dev/null; then echo "client C running"; return 1; fi; echo "client C stopped before its upload"; }
    wait_until "client C to run its replica of $unit and stop before the upload" 180 c_exited
    wait "${client_pids[c_index]}" || true
    output=$(find "$work/clients/C/projects" -name "${unit}_*_0" -type f)
    [ "$(grep -c . <<<"$output")" -eq 1 ] || fail "client C's output files for $unit: $output"
    cmp "$output" "$reference/$unit.out" || fail "client C's result of $unit differs before it is changed"
    [ "$(head -c 1 "$output")" = X ] || fail "$unit was expected to find no square with a mate"
    # The result is "X", CR LF, the count line, the stop square's record, the end square's.
    local offset count_line
    count_line=$(head -c 100 "$output" | tr -d '\r' | awk 'NR == 2')
    if [ "$which" = square ]; then
        offset=$((3 + ${#count_line} + 2 + 2)) # the second value of the stop square: a free cell
    else
        offset=$((3 + ${#count_line} - 1))     # the last digit of the count
    fi
    local digit
    digit=$(dd if="$output" bs=1 skip="$offset" count=1 2>/dev/null)
    [[ $digit =~ ^[0-9]$ ]] || fail "byte $offset of C's result of $unit is not a digit: '$digit'"
    printf '%d' $(((digit + 1) % 10)) | dd of="$output" bs=1 seek="$offset" conv=notrunc 2>/dev/null
    cmp -s "$output" "$reference/$unit.out" && fail "C's result of $unit was not changed"
    echo "  changed byte $offset of $(basename "$output") from $digit to $(((digit + 1) % 10))"
    start_client C
    reported() { local s; s=$(db "select r.server_state from result r join workunit w on w.id = r.workunitid
                 where w.name = '$unit' and r.hostid = $c_host"); echo "C's replica of $unit in server state $s"; [ "$s" = 5 ]; }
    c_host=$(sed -n 's:.*<hostid>\(.*\)</hostid>.*:\1:p' "$work"/clients/C/client_state.xml | awk 'NR == 1')
    wait_until "client C to upload and report its replica of $unit" 120 reported
}
change_digit "$square_unit" square
boinccmd_of C --quit >/dev/null
wait "${client_pids[c_index]}" || true
change_digit "$count_unit" count
boinccmd_of A --project "$url" allowmorework
boinccmd_of B --project "$url" allowmorework
phase2_done() {
    local square count
    square=$(results_of "$square_unit" | tr '\n' ' ') count=$(results_of "$count_unit" | tr '\n' ' ')
    echo "replicas (host:validate state) of $square_unit: $square; of $count_unit: $count"
    assimilated "$square_unit" "$count_unit" >/dev/null
}
wait_until "both units to end valid with a further replica" 240 phase2_done
for unit in $phase2_units; do
    states=$(results_of "$unit")
    [ "$(grep -c . <<<"$states")" -eq 3 ] || fail "replicas of $unit: $(echo $states)"
    [ "$(grep -c ":1$" <<<"$states")" -eq 2 ] || fail "valid replicas of $unit: $(echo $states)"
    grep -qx "$c_host:2" <<<"$states" || fail "client C's (host $c_host) replica of $unit was not found invalid: $(echo $states)"
done
echo "App versions of the replicas (host, plan class, validation):"
# shellcheck disable=SC2086
replica_versions $phase2_units
# The changed square fails dlsmate-check against the work unit; the changed count
# only differs from the other replicas.
grep -q "init_result(\[RESULT#[0-9]* ${square_unit}_[0-9]*\]) failed" "$project/log_$host/script_validator.log" ||
    fail "the validator's log does not show the rejected replica of $square_unit"
echo "Comparing the catalogue with the standalone runs"
# shellcheck disable=SC2086
compare_with_reference $phase1_links $phase2_units
# What a researcher reads: the totals, and the report page with its pictures.
"$bin/dlsmate-catalogue" "$catalogue" research | sed 's/^/  /'
mkdir "$work/report"
"$bin/dlsmate-catalogue" "$catalogue" report "$work/report" || fail "the catalogue's report"
[ -s "$work/report/index.html" ] && [ -s "$work/report/graph.svg" ] || fail "the report lacks its page or graph"
echo "The project ran every unit, and rejected and replaced both corrupted replicas"

# ---- Phase 3: what the web server can reach, and a rewritten upload ------------------
echo "Phase 3: the web server's reach; a validated replica rewritten after its validation"
if [ "$(id -u)" -eq 0 ]; then
    as_web() { runuser -u www-data -- "$@" 2>/dev/null; }
    for key in "$project"/keys/*_private; do
        ! as_web test -r "$key" || fail "www-data can read $key"
    done
    as_web test -r "$project/keys/upload_public" || fail "www-data cannot read keys/upload_public"
    for path in "$project" "$project/bin" "$project/bin/dlsmate_assimilate" "$project/config.xml" "$project/keys" \
        "$dlsmate" "$dlsmate/queue" "$dlsmate/workunits" "$dlsmate/results" "$dlsmate/held" "$catalogue"; do
        ! as_web test -w "$path" || fail "www-data can write $path"
    done
    as_web test -w "$project/upload" || fail "www-data cannot write upload/"
    echo "  www-data reads no private key and writes neither bin/, config.xml nor dlsmate/"
fi
[ ! -e "$project/keys/code_sign_private" ] || fail "the code-signing private key is still in the project"
[ -f "$project.offline-keys/code_sign_private" ] || fail "no code-signing key in $project.offline-keys"
canonical=$(db "select r.name from result r join workunit w on w.canonical_resultid = r.id where w.name = '$square_unit'")
upload=$(find "$project/upload" -type f -name "${canonical}_*")
[ -f "$upload" ] || fail "no upload of $canonical"
[ "$(stat -c %a "$upload")" = 444 ] || fail "upload $upload has mode $(stat -c %a "$upload"), not 444"
if [ "$(id -u)" -eq 0 ]; then
    # The upload handler runs as www-data: a second upload of the file cannot open it.
    ! runuser -u www-data -- sh -c 'printf 9 >>"$1"' sh "$upload" 2>/dev/null || fail "www-data can write $upload"
fi
# The web server owns the file and can make it writable again: the kept copy and the
# catalogue must not follow.
chmod 644 "$upload"
printf 'rewritten after validation\r\n' >"$upload"
echo "  rewrote $(basename "$upload")"
# shellcheck disable=SC2086
compare_with_reference $phase1_links $phase2_units
echo "The catalogue and the kept results hold the validated bytes"
