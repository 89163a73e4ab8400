#!/usr/bin/env bash
# Installs the Debian packages named on the command line that are not installed yet
# (apt-get, as root or through sudo), without leaving any system service running or
# enabled that the installation brought: packages such as boinc-client, mariadb-server
# and apache2 start and enable a service of their own on a machine with an init
# system, and nothing here needs one (the tests start private instances).
#
#   tools/install-packages.sh [--no-install-recommends] PACKAGE...
#
# A package name may carry an architecture (wine32:i386); the architecture is added
# to dpkg first when it is missing.
set -euo pipefail

apt_options=()
if [ "${1:-}" = --no-install-recommends ]; then
    apt_options+=(--no-install-recommends)
    shift
fi

missing=()
for package in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=
[ "$(id -u)" -eq 0 ] || sudo=sudo

for package in "${missing[@]}"; do
    case "$package" in
    *:*)
        arch=${package#*:}
        if ! { dpkg --print-architecture; dpkg --print-foreign-architectures; } | grep -qx "$arch"; then
            echo "Adding the dpkg architecture $arch"
            $sudo dpkg --add-architecture "$arch"
        fi
        ;;
    esac
done

# policy-rc.d answering 101 forbids every maintainer script to start a service.
# Container images often carry one already; then it stays as it is.
policy=/usr/sbin/policy-rc.d
own_policy=
if [ ! -e "$policy" ]; then
    printf '#!/bin/sh\nexit 101\n' | $sudo tee "$policy" >/dev/null
    $sudo chmod 755 "$policy"
    own_policy=yes
fi
remove_own_policy() { if [ -n "$own_policy" ]; then $sudo rm -f "$policy"; fi; }
trap remove_own_policy EXIT

enabled_units() {
    if [ -d /run/systemd/system ] && command -v systemctl >/dev/null; then
        systemctl list-unit-files --state=enabled --no-legend 2>/dev/null | awk '{print $1}' | sort
    fi
}
enabled_before=$(enabled_units)

echo "Installing: ${missing[*]}"
$sudo apt-get update
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y "${apt_options[@]}" "${missing[@]}"

# Units the installation enabled are disabled again (and stopped, should one have
# started in spite of the policy).
enabled_after=$(enabled_units)
new_units=$(comm -13 <(printf '%s\n' "$enabled_before") <(printf '%s\n' "$enabled_after") | grep . || true)
if [ -n "$new_units" ]; then
    echo "Disabling the services the installation enabled:" $new_units
    # shellcheck disable=SC2086
    $sudo systemctl disable --now $new_units
fi
