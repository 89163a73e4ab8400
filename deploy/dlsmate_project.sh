# shellcheck shell=bash
# Sourced by dlsmate's scripts in a BOINC project's bin/ folder: where the
# project and dlsmate's folders are, and a query on the project's database.
#
#   <project>/dlsmate/queue/      work units waiting to be created (*.wu)
#   <project>/dlsmate/workunits/  every unit created, named after its BOINC work unit
#   <project>/dlsmate/held/       continuations beyond the work generator's --max-links
#   <project>/dlsmate/results/    the canonical result of every unit assimilated
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
db() {
    local options=(--batch --skip-column-names --user="$(config_value db_user)")
    [ -z "${MYSQL_UNIX_PORT:-}" ] || options+=(--socket="$MYSQL_UNIX_PORT")
    local passwd host
    passwd=$(config_value db_passwd) host=$(config_value db_host)
    [ -z "$passwd" ] || options+=(--password="$passwd")
    [ -z "$host" ] || options+=(--host="$host")
    mysql "${options[@]}" "$(config_value db_name)" -e "$1"
}

# The name of a work unit from its id.
workunit_name() {
    [[ $1 =~ ^[0-9]+$ ]] || { echo "not a work unit id: $1" >&2; return 1; }
    local name
    name=$(db "select name from workunit where id = $1")
    [ -n "$name" ] || { echo "no work unit $1 in the database" >&2; return 1; }
    echo "$name"
}

log() { echo "$(date -u '+%F %T') $*"; }
