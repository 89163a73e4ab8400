# shellcheck shell=bash
# Private MariaDB and Apache instances for a throw-away BOINC project, sourced by
# throwaway-project.sh.  Each server gets its own folder, runs on 127.0.0.1 only
# (MariaDB on a socket of its own, no network at all), and is stopped by its pid.
#
#   start_mariadb FOLDER            exports MYSQL_UNIX_PORT (BOINC's C++ and Python
#                                   parts use it, and the scripts' mysql client) and
#                                   PHP_INI_SCAN_DIR (PHP's command line: BOINC's bin/xadd,
#                                   bin/update_versions)
#   start_apache FOLDER PORT INCLUDE...
#   stop_started                    stops what the two started, newest first
#
# Both need only Debian's mariadb-server, apache2 and libapache2-mod-php.

started_pids=()
started_names=()

# wait_for WHAT SECONDS COMMAND...: runs COMMAND every half second until it succeeds.
wait_for() {
    local what=$1 seconds=$2
    shift 2
    echo "Waiting up to ${seconds} s for $what"
    local deadline=$((SECONDS + seconds))
    until "$@" >/dev/null 2>&1; do
        if [ $SECONDS -ge $deadline ]; then
            echo "Gave up waiting for $what after ${seconds} s" >&2
            return 1
        fi
        sleep 0.5
    done
}

remember_started() {
    started_names+=("$1")
    started_pids+=("$2")
}

# Stops every server started here, newest first: SIGTERM, then SIGKILL after 30 s.
stop_started() {
    local i pid name
    for ((i = ${#started_pids[@]} - 1; i >= 0; i--)); do
        pid=${started_pids[i]} name=${started_names[i]}
        kill -0 "$pid" 2>/dev/null || continue
        echo "Stopping $name (pid $pid)"
        kill -TERM "$pid" 2>/dev/null || true
        local deadline=$((SECONDS + 30))
        while kill -0 "$pid" 2>/dev/null && [ $SECONDS -lt $deadline ]; do sleep 0.2; done
        if kill -0 "$pid" 2>/dev/null; then
            echo "$name (pid $pid) did not stop in 30 s; killing it" >&2
            kill -KILL "$pid" 2>/dev/null || true
        fi
        wait "$pid" 2>/dev/null || true
    done
    started_pids=() started_names=()
}

# A TCP port on 127.0.0.1 that nothing listens on now.
free_port() {
    python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

start_mariadb() {
    local folder=$1
    mkdir -p "$folder"
    local user=() log=$folder/mariadb.log
    # mariadbd refuses to run as root unless told to.
    [ "$(id -u)" -ne 0 ] || user=(--user=root)
    echo "Creating a MariaDB data folder in $folder/data"
    mariadb-install-db --no-defaults --datadir="$folder/data" --auth-root-authentication-method=normal \
        --skip-test-db "${user[@]}" >"$folder/install.log" 2>&1 ||
        { tail -n 20 "$folder/install.log" >&2; echo "mariadb-install-db failed" >&2; return 1; }
    export MYSQL_UNIX_PORT=$folder/mysqld.sock
    mkdir -p "$folder/php"
    echo "mysqli.default_socket = $MYSQL_UNIX_PORT" >"$folder/php/mariadb-socket.ini"
    # The leading colon keeps PHP's own folder of settings first.
    export PHP_INI_SCAN_DIR=:$folder/php
    mariadbd --no-defaults --datadir="$folder/data" --socket="$MYSQL_UNIX_PORT" --skip-networking \
        --pid-file="$folder/mysqld.pid" --log-error="$log" "${user[@]}" >>"$log" 2>&1 &
    remember_started MariaDB $!
    wait_for "MariaDB on $MYSQL_UNIX_PORT" 60 mariadb-admin --no-defaults --socket="$MYSQL_UNIX_PORT" -u root ping ||
        { tail -n 20 "$log" >&2; return 1; }
}

start_apache() {
    local folder=$1 port=$2
    shift 2
    mkdir -p "$folder"
    local modules=/usr/lib/apache2/modules conf=$folder/httpd.conf php
    php=$(find "$modules" -name 'libphp*.so' | head -n 1)
    [ -n "$php" ] || { echo "no PHP module in $modules (package libapache2-mod-php)" >&2; return 1; }
    {
        echo "ServerRoot $folder"
        echo "ServerName 127.0.0.1"
        echo "Listen 127.0.0.1:$port"
        echo "PidFile $folder/httpd.pid"
        echo "DefaultRuntimeDir $folder"
        echo "ErrorLog $folder/error.log"
        echo "LogFormat \"%h %t \\\"%r\\\" %>s %b\" common"
        echo "CustomLog $folder/access.log common"
        for module in mpm_prefork authz_core authz_host authz_user authn_core authn_file auth_basic \
            alias mime dir env cgi; do
            echo "LoadModule ${module}_module $modules/mod_$module.so"
        done
        echo "LoadModule php_module $php"
        # Started as root, Apache serves as www-data; the project must be readable by it.
        [ "$(id -u)" -ne 0 ] || printf 'User www-data\nGroup www-data\n'
        echo "TypesConfig /etc/mime.types"
        echo "DirectoryIndex index.php index.html"
        echo "<FilesMatch \"\\.php\$\">"
        echo "    SetHandler application/x-httpd-php"
        echo "</FilesMatch>"
        # BOINC's scheduler (a CGI program) and its PHP pages reach the private MariaDB.
        echo "SetEnv MYSQL_UNIX_PORT $MYSQL_UNIX_PORT"
        echo "php_admin_value mysqli.default_socket $MYSQL_UNIX_PORT"
        local include
        for include in "$@"; do echo "Include $include"; done
    } >"$conf"
    apache2 -t -f "$conf" >"$folder/configtest.log" 2>&1 ||
        { cat "$folder/configtest.log" >&2; return 1; }
    # In the foreground, the pid recorded here is the server's own; its children
    # end with it.
    # Apache signals its whole process group when it stops: a session of its own.
    setsid apache2 -f "$conf" -DFOREGROUND &
    remember_started Apache $!
    wait_for "Apache on 127.0.0.1:$port" 60 curl -s -o /dev/null "http://127.0.0.1:$port/" ||
        { tail -n 20 "$folder/error.log" >&2; return 1; }
}
