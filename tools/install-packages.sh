#!/usr/bin/env bash
# Installs the Debian packages named on the command line that are not installed yet
# (apt-get, as root or through sudo), without leaving any system service running or
# enabled that the installation brought: packages such as boinc-client, mariadb-server
# and apache2 start and enable a service of their own on a machine with an init
# system, and nothing here needs one (the tests start private instances).
#
#   tools/install-packages.sh [--no-install-recommends] [--log FILE] PACKAGE...
#
# --log FILE sends apt's output to FILE (appended) instead of the terminal; it is
# shown when the installation fails.  A package name may carry an architecture
# (wine32:i386); the architecture is added to dpkg first when it is missing.
#
# While apt runs, a policy-rc.d answering 101 forbids every maintainer script to
# start a service (invoke-rc.d and deb-systemd-invoke ask it).  Enabling is not
# covered by that policy, so afterwards every systemd unit and every SysV start
# link that the installation enabled is disabled again, and any service that is
# running now and was not before is stopped.
set -euo pipefail

apt_options=()
log=
while [ $# -gt 0 ]; do
    case $1 in
    --no-install-recommends) apt_options+=(--no-install-recommends); shift ;;
    --log)
        [ $# -ge 2 ] || { echo "$0: --log needs a file" >&2; exit 2; }
        log=$2
        shift 2
        ;;
    -*) echo "$0: unknown option $1" >&2; exit 2 ;;
    *) break ;;
    esac
done

missing=()
for package in "$@"; do
    # grep reads the whole output: a grep -q that stops early could fail the
    # pipeline under pipefail with the writer's SIGPIPE.
    if ! grep -q 'install ok installed' <<<"$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null)"; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || {
        echo "$0: installing ${missing[*]} needs root, and sudo is not installed" >&2
        exit 1
    }
    sudo=(sudo)
fi

# apt's output, to the terminal or to the log.
quietly() {
    if [ -z "$log" ]; then
        "$@"
    elif ! "$@" >>"$log" 2>&1; then
        tail -n 40 "$log" >&2
        echo "$0: '$*' failed; the whole output is in $log" >&2
        return 1
    fi
}

for package in "${missing[@]}"; do
    case "$package" in
    *:*)
        arch=${package#*:}
        if ! grep -qx "$arch" <<<"$(dpkg --print-architecture; dpkg --print-foreign-architectures)"; then
            echo "Adding the dpkg architecture $arch"
            "${sudo[@]}" dpkg --add-architecture "$arch"
        fi
        ;;
    esac
done

# Our policy replaces any policy-rc.d that is there (which might allow starts)
# for the time of the installation; the old one is put back afterwards.
# (The two locations can be moved for the script's own test.)
policy=${DLSMATE_POLICY_RC_D:-/usr/sbin/policy-rc.d}
rc_root=${DLSMATE_RC_ROOT:-}
saved_policy=
if [ -e "$policy" ]; then
    saved_policy=$("${sudo[@]}" mktemp "$policy.saved.XXXXXX")
    "${sudo[@]}" cp -p "$policy" "$saved_policy"
fi
restore_policy() {
    if [ -n "$saved_policy" ]; then
        "${sudo[@]}" mv -f "$saved_policy" "$policy"
    else
        "${sudo[@]}" rm -f "$policy"
    fi
}
trap restore_policy EXIT
printf '#!/bin/sh\nexit 101\n' | "${sudo[@]}" tee "$policy.new" >/dev/null
"${sudo[@]}" chmod 755 "$policy.new"
"${sudo[@]}" mv -f "$policy.new" "$policy"

# systemctl works on the unit files without a running systemd (--root=/), so units
# enabled in a container or a chroot are found too.
systemd_running() { [ -d /run/systemd/system ]; }
enabled_units() {
    if command -v systemctl >/dev/null; then
        local root=()
        systemd_running || root=(--root=/)
        systemctl "${root[@]}" list-unit-files --state=enabled --no-legend 2>/dev/null | awk '{print $1}' | sort
    fi
}
running_services() {
    if systemd_running && command -v systemctl >/dev/null; then
        systemctl list-units --type=service --state=running --no-legend --plain 2>/dev/null | awk '{print $1}' | sort
    fi
}
start_links() {
    find "$rc_root/etc/rc2.d" "$rc_root/etc/rc3.d" "$rc_root/etc/rc4.d" "$rc_root/etc/rc5.d" \
        -name 'S[0-9][0-9]*' 2>/dev/null | sort || true
}
new_lines() { comm -13 <(printf '%s\n' "$1") <(printf '%s\n' "$2") | grep . || true; }

enabled_before=$(enabled_units)
running_before=$(running_services)
links_before=$(start_links)

if [ -n "$log" ]; then
    echo "Installing: ${missing[*]} (the output of apt goes to $log)"
else
    echo "Installing: ${missing[*]}"
fi
quietly "${sudo[@]}" apt-get update
quietly "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y "${apt_options[@]}" "${missing[@]}"

new_units=$(new_lines "$enabled_before" "$(enabled_units)")
if [ -n "$new_units" ]; then
    echo "Disabling the systemd units the installation enabled:" $new_units
    root=()
    systemd_running || root=(--root=/)
    # shellcheck disable=SC2086
    "${sudo[@]}" systemctl "${root[@]}" disable $new_units
fi
new_services=$(new_lines "$running_before" "$(running_services)")
if [ -n "$new_services" ]; then
    echo "Stopping the services that started during the installation:" $new_services
    # shellcheck disable=SC2086
    "${sudo[@]}" systemctl stop $new_services
fi
new_links=$(new_lines "$links_before" "$(start_links)")
if [ -n "$new_links" ]; then
    # /etc/rc2.d/S01boinc-client belongs to the init script boinc-client.
    scripts=$(printf '%s\n' "$new_links" | sed 's:.*/S[0-9][0-9]::' | sort -u)
    echo "Disabling the init scripts the installation enabled:" $scripts
    for script in $scripts; do
        "${sudo[@]}" update-rc.d "$script" disable >/dev/null
    done
fi
