# shellcheck shell=bash
# Sourced by dlsmate's scripts in a BOINC project's bin/ folder: where the
# project and dlsmate's folders are, and a query on the project's database.
#
#   <project>/dlsmate/queue/      work units waiting to be created (*.wu)
#   <project>/dlsmate/workunits/  every unit created, named after its BOINC work unit
#   <project>/dlsmate/held/       continuations beyond the work generator's --max-links
#   <project>/dlsmate/results/    the canonical result of every unit assimilated
#   <project>/dlsmate/refused/    what the work generator found in the queue and would not take
#   <project>/dlsmate/catalogue.sqlite

bin=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
project=$(dirname "$bin")
dlsmate=$project/dlsmate
# shellcheck disable=SC2034 # for the scripts that source this file
catalogue=$dlsmate/catalogue.sqlite

# The value of a setting in the project's config.xml.
config_value() {
    sed -n "s:.*<$1>\(.*\)</$1>.*:\1:p" "$project/config.xml" | awk 'NR == 1'
}

# db QUERY: the rows, tab-separated, without a header.  MYSQL_UNIX_PORT, when set,
# names the server's socket (the mysql client's option files would override it).
# The password goes to the client in MYSQL_PWD, which only the project's own user
# can read (/proc/PID/environ), never on its command line, which every user can.
db() {
    local options=(--batch --skip-column-names --user="$(config_value db_user)")
    [ -z "${MYSQL_UNIX_PORT:-}" ] || options+=(--socket="$MYSQL_UNIX_PORT")
    local passwd host
    passwd=$(config_value db_passwd) host=$(config_value db_host)
    [ -z "$host" ] || options+=(--host="$host")
    if [ -n "$passwd" ]; then
        MYSQL_PWD=$passwd mysql "${options[@]}" "$(config_value db_name)" -e "$1"
    else
        mysql "${options[@]}" "$(config_value db_name)" -e "$1"
    fi
}

# Whether a work unit's name is one the project makes: letters, digits, "-", "_"
# and "." (not first), at most 100 characters.  Only such names reach a query,
# a path or the catalogue.
valid_unit_name() {
    [[ $1 =~ ^[A-Za-z0-9][A-Za-z0-9_.-]{0,99}$ ]]
}

# The name of a work unit from its id.
workunit_name() {
    [[ $1 =~ ^[0-9]+$ ]] || { echo "not a work unit id: $1" >&2; return 1; }
    local name
    name=$(db "select name from workunit where id = $1")
    [ -n "$name" ] || { echo "no work unit $1 in the database" >&2; return 1; }
    valid_unit_name "$name" || { printf 'work unit %s has a name the project never makes: %q\n' "$1" "$name" >&2; return 3; }
    echo "$name"
}

log() { echo "$(date -u '+%F %T') $*"; }
