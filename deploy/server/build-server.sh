#!/usr/bin/env bash
# Builds the BOINC server (scheduler, daemons, tools) from a BOINC source tarball:
#
#   deploy/server/build-server.sh <boinc source tarball> <folder>
#
# The source is unpacked and built in <folder>/boinc-<version>, the tree that
# BOINC's tools/make_project takes its files from; the script prints that
# path as its last line.  A finished build is kept: run again with the same
# tarball, the script only prints the path.  Known to work with BOINC 7.20.5
# on Debian 12 (GCC 12); tar finds the compression (.tar.xz, .tar.gz) itself.
set -euo pipefail

if [ $# -ne 2 ]; then
    echo "usage: $0 <boinc source tarball> <folder>" >&2
    exit 2
fi
tarball=$1
folder=$2
fail() { echo "$0: $*" >&2; exit 1; }
[ -f "$tarball" ] || fail "no BOINC source tarball at $tarball"

mkdir -p "$folder"
folder=$(cd "$folder" && pwd)
checksum=$(sha256sum "$tarball" | cut -d' ' -f1)
# awk reads the whole listing: tar must not die of a closed pipe under pipefail.
top=$(tar -tf "$tarball" | awk -F/ 'NR == 1 { print $1 }')
[ -n "$top" ] || fail "$tarball is empty"
tree=$folder/$top
stamp=$folder/$top.built
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$checksum" ] && [ -x "$tree/sched/cgi" ]; then
    echo "BOINC server already built from $tarball"
    echo "$tree"
    exit 0
fi

rm -rf "$tree" "$stamp"
echo "Unpacking $tarball into $folder"
tar -xf "$tarball" -C "$folder"
cd "$tree"
jobs=${JOBS:-2}
log=$folder/$top.build.log
echo "Building the BOINC server in $tree (log: $log)"
{
    ./_autosetup
    # GCC 12 needs <ctime> in about ten server files of 7.20.5 that use time().
    ./configure --enable-server --disable-client --disable-manager --disable-fcgi \
        --disable-shared CXXFLAGS="-O2 -include ctime" CFLAGS="-O2"
    # The scheduler's build needs svn_version.h from the top level; a top-level
    # parallel make races inside lib/, so the library comes first, then each folder.
    make svn_version.h
    make -j"$jobs" -C lib libboinc.la
    make -j"$jobs" -C lib
    make -j"$jobs" -C sched
    make -j"$jobs" -C tools
} >"$log" 2>&1 || { tail -n 30 "$log" >&2; fail "the BOINC server build failed (log: $log)"; }
echo "$checksum" >"$stamp"
echo "$tree"
