#!/usr/bin/env bash
# Stands up a throw-away BOINC project for dlsmate on this machine, runs a command
# while it is up, and takes everything down again:
#
#   deploy/server/throwaway-project.sh [options] <folder> <command> [<argument>...]
#
#   <folder>   an empty folder for the project, its database, the web server's files
#   <command>  runs in the project folder with DLSMATE_PROJECT (the project folder),
#              DLSMATE_URL (its master URL) and MYSQL_UNIX_PORT set; its exit status
#              is the script's
#
# options:
#   --boinc-source TARBALL  BOINC's source (default: $DLSMATE_BOINC_SOURCE)
#   --boinc-build DIR       where the BOINC server is built and kept between runs
#                           (default: <folder>/boinc)
#   --worker FILE           the worker to hand out, packed with deploy/make-app-version.sh
#   --gpu-worker FILE       with --worker: the GPU worker (dlsmate-opencl), packed beside
#                           it for every plan class of the plan class files
#   --plan-classes FILE     a plan class file (repeatable; default with --gpu-worker:
#                           deploy/gpu_plan_classes.xml), for make-dlsmate-project.sh
#   --app-version DIR       or an app version folder packed already, <pack>/apps/dlsmate
#   --tools DIR             the built operator tools (required)
#   --unsent N, --max-links N   for the work generator (see make-dlsmate-project.sh)
#
# It builds the server (build-server.sh), starts a private MariaDB (its own data
# folder and socket, no network) and a private Apache on a free port of 127.0.0.1,
# makes the project with make-dlsmate-project.sh and starts its daemons
# (bin/start).  On exit, whatever happened, it stops the daemons, Apache and
# MariaDB by their pids and removes the feeder's shared-memory segment.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
deploy=$(dirname "$here")
fail() { echo "$0: $*" >&2; exit 1; }
source "$here/services.sh"

source_tarball=${DLSMATE_BOINC_SOURCE:-} boinc_build='' worker='' gpu_worker='' app_version='' tools='' project_options=()
plan_class_files=()
while [ $# -gt 0 ]; do
    case $1 in
    --boinc-source) source_tarball=$2; shift 2 ;;
    --boinc-build) boinc_build=$2; shift 2 ;;
    --worker) worker=$2; shift 2 ;;
    --gpu-worker) gpu_worker=$2; shift 2 ;;
    --plan-classes) plan_class_files+=("$(realpath "$2")"); project_options+=("$1" "$(realpath "$2")"); shift 2 ;;
    --app-version) app_version=$2; shift 2 ;;
    --tools) tools=$2; shift 2 ;;
    --unsent | --max-links) project_options+=("$1" "$2"); shift 2 ;;
    -*) fail "unknown option $1" ;;
    *) break ;;
    esac
done
[ $# -ge 2 ] || fail "usage: $0 [options] <folder> <command> [<argument>...]"
folder=$1
shift
[ -n "$source_tarball" ] || fail "no BOINC source: set DLSMATE_BOINC_SOURCE or give --boinc-source"
[ -n "$tools" ] || fail "--tools is required"
if [ -n "$worker" ] && [ -n "$app_version" ] || [ -z "$worker$app_version" ]; then
    fail "give one of --worker and --app-version"
fi
[ -z "$gpu_worker" ] || [ -n "$worker" ] || fail "--gpu-worker goes with --worker"
if [ -n "$gpu_worker" ] && [ ${#plan_class_files[@]} -eq 0 ]; then
    plan_class_files=("$deploy/gpu_plan_classes.xml")
fi
mkdir -p "$folder"
folder=$(cd "$folder" && pwd)
[ -z "$(ls -A "$folder")" ] || fail "$folder is not empty"
boinc_build=${boinc_build:-$folder/boinc}
tools=$(cd "$tools" && pwd)

project=$folder/project
daemon_pids=()
shmem_key=

take_down() {
    local status=$?
    set +e
    if [ -x "$project/bin/stop" ]; then
        local pid_file
        for pid_file in "$project"/pid_*/*.pid; do
            [ -f "$pid_file" ] && daemon_pids+=("$(cat "$pid_file")")
        done
        echo "Stopping the project's daemons"
        (cd "$project" && bin/stop) >/dev/null 2>&1
        local pid deadline=$((SECONDS + 30))
        for pid in "${daemon_pids[@]}"; do
            while kill -0 "$pid" 2>/dev/null && [ $SECONDS -lt $deadline ]; do sleep 0.2; done
            if kill -0 "$pid" 2>/dev/null; then
                echo "daemon pid $pid did not stop in 30 s; killing it" >&2
                kill -KILL "$pid" 2>/dev/null
            fi
        done
    fi
    stop_started
    if [ -n "$shmem_key" ]; then
        ipcrm -M "$shmem_key" 2>/dev/null
    fi
    exit "$status"
}
trap take_down EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# BOINC's Python tools (bin/start, bin/stop) start with "#!/usr/bin/env python";
# Debian 12 has python3 only.
mkdir -p "$folder/python"
ln -s /usr/bin/python3 "$folder/python/python"
export PATH=$folder/python:$PATH

tree=$("$here/build-server.sh" "$source_tarball" "$boinc_build" | tail -n 1)
if [ -n "$worker" ]; then
    "$deploy/make-app-version.sh" "$worker" "$folder/pack" >/dev/null
    if [ -n "$gpu_worker" ]; then
        for file in "${plan_class_files[@]}"; do
            for class in $(sed -n 's:.*<name>\s*\([^< ]*\)\s*</name>.*:\1:p' "$file"); do
                "$deploy/make-app-version.sh" "$gpu_worker" "$folder/pack" "$class" "$file" >/dev/null
            done
        done
    fi
    app_version=$folder/pack/apps/dlsmate
fi
app_version=$(cd "$app_version" && pwd)
# Apache serves the project as www-data when started as root: it must reach it.
chmod 755 "$folder"
if [ "$(id -u)" -eq 0 ] && ! runuser -u www-data -- test -x "$folder"; then
    fail "www-data cannot reach $folder: a folder above it is closed to others"
fi
start_mariadb "$folder/mariadb"
port=$(free_port)
url_base=http://127.0.0.1:$port/
web_group=()
[ "$(id -u)" -ne 0 ] || web_group=(--web-group www-data)
"$here/make-dlsmate-project.sh" "${web_group[@]}" "${project_options[@]}" \
    --app-version "$app_version" --tools "$tools" "$tree" "$project" "$url_base"
shmem_key=$(sed -n 's:.*<shmem_key>\(.*\)</shmem_key>.*:\1:p' "$project/config.xml")
start_apache "$folder/apache" "$port" "$project/dlsmate.httpd.conf"
echo "Starting the project's daemons"
(cd "$project" && bin/start) >"$folder/start.log" 2>&1 || { cat "$folder/start.log" >&2; fail "bin/start failed"; }

export DLSMATE_PROJECT=$project DLSMATE_URL=${url_base}dlsmate/
cd "$project"
"$@"
