#!/usr/bin/env bash
# tools/install-packages.sh against stand-ins for dpkg-query, apt-get, systemctl,
# update-rc.d and sudo: the policy that forbids starting services is in place
# while apt runs and is gone (or the old one back) afterwards, what the
# installation enabled is disabled again, and a failing apt stops the script
# with apt's output and a non-zero status.
#   install_packages.sh SOURCE_DIR
set -euo pipefail
source=$(realpath "$1")
work=$(mktemp -d "${TMPDIR:-/tmp}/dlsmate-install-packages-test-XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

stubs=$work/stubs state=$work/state
mkdir -p "$stubs" "$state" "$work/root/etc/rc2.d" "$work/sbin"
cat >"$stubs/dpkg-query" <<'STUB'
#!/bin/sh
grep -qx "$3" "$STATE/installed" && printf 'install ok installed' || exit 1
STUB
cat >"$stubs/apt-get" <<'STUB'
#!/bin/sh
echo "apt-get $*" >>"$STATE/apt.log"
[ "$1" = install ] || exit 0
[ "$(cat "$DLSMATE_POLICY_RC_D")" = "$(printf '#!/bin/sh\nexit 101')" ] && [ -x "$DLSMATE_POLICY_RC_D" ] &&
    echo "policy in place" >>"$STATE/apt.log"
[ "$DEBIAN_FRONTEND" = noninteractive ] && echo "noninteractive" >>"$STATE/apt.log"
if [ -e "$STATE/broken" ]; then echo "E: Unable to locate package $3"; exit 100; fi
echo "fake.service enabled enabled" >>"$STATE/enabled"
ln -s ../init.d/fake "$DLSMATE_RC_ROOT/etc/rc2.d/S01fake"
echo "Setting up $3"
STUB
cat >"$stubs/systemctl" <<'STUB'
#!/bin/sh
[ "$1" = --root=/ ] && shift
case $1 in
list-unit-files) cat "$STATE/enabled" ;;
list-units) ;;
disable) shift; for unit; do grep -v "^$unit " "$STATE/enabled" >"$STATE/enabled.new"; mv "$STATE/enabled.new" "$STATE/enabled";
         echo "disabled $unit" >>"$STATE/apt.log"; done ;;
*) exit 1 ;;
esac
STUB
cat >"$stubs/update-rc.d" <<'STUB'
#!/bin/sh
[ "$2" = disable ] && mv "$DLSMATE_RC_ROOT/etc/rc2.d/S01$1" "$DLSMATE_RC_ROOT/etc/rc2.d/K01$1"
echo "update-rc.d $*" >>"$STATE/apt.log"
STUB
printf '#!/bin/sh\nexec "$@"\n' >"$stubs/sudo"
chmod +x "$stubs"/*
echo "ssh.service enabled enabled" >"$state/enabled"
echo cmake >"$state/installed"

run() {
    PATH=$stubs:$PATH STATE=$state DLSMATE_POLICY_RC_D=$work/sbin/policy-rc.d DLSMATE_RC_ROOT=$work/root \
        bash "$source/tools/install-packages.sh" "$@"
}

# Everything installed: nothing runs.
out=$(run cmake 2>&1) || fail "status $? with nothing to install"
[ -z "$out" ] || fail "output with nothing to install: $out"
[ ! -e "$state/apt.log" ] || fail "apt ran with nothing to install"

# One package missing, no policy before.
out=$(run cmake boinc-client 2>&1) || fail "status $?: $out"
grep -qx 'policy in place' "$state/apt.log" || fail "no policy while apt ran: $(cat "$state/apt.log")"
grep -qx 'noninteractive' "$state/apt.log" || fail "apt asked questions"
grep -qx 'apt-get install -y boinc-client' "$state/apt.log" || fail "not only the missing package: $(cat "$state/apt.log")"
[ ! -e "$work/sbin/policy-rc.d" ] || fail "our policy left behind"
[ "$(cat "$state/enabled")" = "ssh.service enabled enabled" ] || fail "enabled now: $(cat "$state/enabled")"
[ -L "$work/root/etc/rc2.d/K01fake" ] && [ ! -e "$work/root/etc/rc2.d/S01fake" ] || fail "init script still enabled"
grep -q 'Disabling the systemd units the installation enabled: fake.service' <<<"$out" || fail "not said: $out"
grep -q 'Disabling the init scripts the installation enabled: fake' <<<"$out" || fail "not said: $out"

# A policy of the machine's own is put back as it was.
rm -f "$state/apt.log" "$work/root/etc/rc2.d/K01fake"
printf '#!/bin/sh\nexit 0\n' >"$work/sbin/policy-rc.d"
chmod 750 "$work/sbin/policy-rc.d"
run boinc-client >/dev/null 2>&1 || fail "status $? with a policy of its own"
grep -qx 'policy in place' "$state/apt.log" || fail "the old policy stayed while apt ran"
[ "$(cat "$work/sbin/policy-rc.d")" = "$(printf '#!/bin/sh\nexit 0')" ] || fail "the old policy is not back"
[ "$(stat -c %a "$work/sbin/policy-rc.d")" = 750 ] || fail "the old policy lost its mode"
[ "$(ls "$work/sbin")" = policy-rc.d ] || fail "left in sbin: $(ls "$work/sbin")"
rm "$work/sbin/policy-rc.d"

# apt fails: its output, a non-zero status, nothing claimed, no policy left.
rm -f "$state/apt.log" "$work/root/etc/rc2.d/S01fake"
touch "$state/broken"
status=0
out=$(run --log "$work/apt-output.log" no-such-package 2>&1) || status=$?
[ "$status" -ne 0 ] || fail "status 0 after apt failed"
grep -q 'E: Unable to locate package no-such-package' <<<"$out" || fail "apt's message not shown: $out"
grep -q "failed; the whole output is in $work/apt-output.log" <<<"$out" || fail "log not named: $out"
! grep -q Disabling <<<"$out" || fail "went on after apt failed: $out"
[ ! -e "$work/sbin/policy-rc.d" ] || fail "our policy left behind after a failure"
echo "install-packages: passed"
