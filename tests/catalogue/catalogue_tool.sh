#!/usr/bin/env bash
# dlsmate-catalogue as the assimilator and an operator run it, on the sample's
# result from the real worker:
#   record   add, totals, squares, research, cfs, spectra, graph; the catalogue's
#            CFs and mates equal dlsmate-cf's and dlsmate-mates' on the result
#   unsafe   names that would inject SQL or hold a newline are refused and the
#            tables stay as they were
#   locked   an operator's open read transaction does not make add fail, and add
#            waits for a writer's lock instead of failing
#   upgrade  init on a catalogue of the former shell script keeps its rows
#   import   a researcher's CF list makes a class known, no longer new
#   report   the exported files, and the HTML page in headless Chromium: its DOM
#            holds the totals, its screenshot is a PNG of the window's size
# Usage: catalogue_tool.sh SCENARIO WORKER TOOLS_DIR SOURCE_DIR
set -euo pipefail
scenario=$1
worker=$(realpath "$2")
tools=$(realpath "$3")
source=$(realpath "$4")
work=$(mktemp -d "${TMPDIR:-/tmp}/dlsmate-catalogue-XXXXXX")
holder=
cleanup() {
    [ -z "$holder" ] || kill "$holder" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
cd "$work"

fail() { echo "FAILED: $*" >&2; exit 1; }
catalogue() { "$tools/dlsmate-catalogue" cat.sqlite "$@"; }

# The sample's result and its summary, recorded as unit "sample".
mkdir run && cp "$source/samples/sample.wu" run/in
(cd run && "$worker" in out) || fail "worker on the sample"
summary=$("$tools/dlsmate-check" run/in run/out)
catalogue init
catalogue add --cpu-seconds 7200 sample run/in run/out "$summary" sample-c1 || fail "add sample"

case $scenario in
record)
    [ "$(catalogue totals)" = "space 65: 1 results of 1 units, 20 squares passed the filter, 1 with a mate" ] ||
        fail "totals: $(catalogue totals)"
    catalogue squares 65 >squares.txt
    # The catalogue's CF is dlsmate-cf's CF of the exported square and of the result itself.
    # dlsmate-cf ends every square with an empty line, the list has one between squares.
    "$tools/dlsmate-cf" squares.txt | grep -v '^#' | sed '${/^$/d}' >cf-of-export.txt
    "$tools/dlsmate-cf" run/out | grep -v '^#' | sed '${/^$/d}' >cf-of-result.txt
    catalogue cfs >cfs.txt
    cmp cfs.txt cf-of-export.txt || fail "catalogue CFs differ from dlsmate-cf on the exported squares"
    cmp cfs.txt cf-of-result.txt || fail "catalogue CFs differ from dlsmate-cf on the result"
    mates=$("$tools/dlsmate-mates" --count squares.txt)
    [ "$(sqlite3 cat.sqlite "select mates from class where origin = 'found'")" = "$mates" ] ||
        fail "mates: catalogue $(sqlite3 cat.sqlite "select mates from class"), dlsmate-mates $mates"
    # Its mate lies in its own class: one class, a loop.
    expected="results: 1
kept squares: 20
squares with a mate: 1
distinct CFs: 1 (1 found in results, 0 only as their mates; 1 new, 0 known)
CPU time: 7200.0 s (2.000 hours) of 1 of 1 results (BOINC's cpu_time of each canonical result); new CFs per CPU hour: 0.500
largest number of mates: 1
orthogonality graph: 1 edges, 1 components
triangles (three mutually orthogonal squares): 0"
    [ "$(catalogue research)" = "$expected" ] || fail "research: $(catalogue research)"
    [ "$(catalogue graph | grep -c -- ' -- ')" = 1 ] && grep -q '^  C1 -- C1;$' <<<"$(catalogue graph)" ||
        fail "graph: $(catalogue graph)"
    expected="Diagonal transversals  Classes
                  116        1

Orthogonal diagonal mates  Classes
                        1        1"
    [ "$(catalogue spectra)" = "$expected" ] || fail "spectra: $(catalogue spectra)"
    # Recording the unit again changes nothing.
    before=$(sqlite3 cat.sqlite "select * from square; select * from class; select * from edge")
    catalogue add --cpu-seconds 7200 sample run/in run/out "$summary" sample-c1 || fail "add again"
    [ "$(sqlite3 cat.sqlite "select * from square; select * from class; select * from edge")" = "$before" ] ||
        fail "a second add changed the tables"
    ;;
unsafe)
    before=$(sqlite3 cat.sqlite "select * from unit; select * from square")
    injected='x\047, 1, 0, 0); delete from unit; --'
    newline=$'sample\nsecond line'
    for name in "$injected" "$newline" "x'y" "a b" "-c1" "../x" "x/y" ""; do
        if catalogue add "$name" run/in run/out "$summary" 2>err.txt; then fail "add took the name $name"; fi
        grep -q "refusing the unit name" err.txt || fail "add $name: $(cat err.txt)"
        if catalogue error "$name" 4 2>err.txt; then fail "error took the name $name"; fi
        [ -z "$name" ] && continue # no continuation
        if catalogue add sample run/in run/out "$summary" "$name" 2>err.txt; then fail "add took the continuation $name"; fi
    done
    [ "$(sqlite3 cat.sqlite "select * from unit; select * from square")" = "$before" ] ||
        fail "the tables changed: $(sqlite3 cat.sqlite "select name from unit")"
    # A valid name with the injection's text in the summary is not a summary.
    if catalogue add other run/in run/out "out: valid records=1'); delete from unit; --" 2>err.txt; then
        fail "a forged summary was taken"
    fi
    [ "$(sqlite3 cat.sqlite "select count(*) from unit")" = 1 ] || fail "the unit table changed"
    ;;
locked)
    # An operator's read transaction, held open while the assimilator adds a unit.
    mkfifo to-reader
    sqlite3 cat.sqlite <to-reader >reader.txt &
    holder=$!
    exec 3>to-reader
    # .once writes the next query's rows to a file and closes it: a sign that is not buffered.
    printf '%s\n' "begin;" "select count(*) from unit;" ".once held.txt" "select 'held';" >&3
    for _ in $(seq 600); do grep -q held held.txt 2>/dev/null && break; sleep 0.1; done
    grep -q held held.txt || fail "the reader did not start"
    catalogue add sample-c1 run/in run/out "$summary" 2>err.txt || fail "add while a reader holds the catalogue: $(cat err.txt)"
    printf '%s\n' "commit;" "begin immediate;" "insert into known values ('x', 'writer', 'now');" \
        ".once writing.txt" "select 'writing';" >&3
    for _ in $(seq 600); do grep -q writing writing.txt 2>/dev/null && break; sleep 0.1; done
    grep -q writing writing.txt || fail "the writer did not start"
    # A writer's lock: add waits for it (the busy timeout) and then succeeds.
    catalogue add sample-c2 run/in run/out "$summary" 2>err.txt &
    adding=$!
    sleep 1
    printf '%s\n' "rollback;" ".quit" >&3
    exec 3>&-
    wait "$adding" || fail "add while a writer held the catalogue: $(cat err.txt)"
    wait "$holder" || true
    holder=
    [ "$(sqlite3 cat.sqlite "select group_concat(name, ' ') from (select name from unit order by name)")" = \
        "sample sample-c1 sample-c2" ] || fail "units: $(sqlite3 cat.sqlite "select name from unit")"
    [ "$(sqlite3 cat.sqlite "pragma journal_mode")" = wal ] || fail "journal mode $(sqlite3 cat.sqlite "pragma journal_mode")"
    ;;
upgrade)
    rm -f cat.sqlite*
    sqlite3 cat.sqlite <<'SQL'
create table unit (
    name text primary key, chain text not null, link integer not null,
    space integer, start_square text, end_square text, square_limit integer,
    stop text not null, stop_square text, records integer, passing integer,
    own_records integer, own_passing integer, continuation text, error_mask integer,
    assimilated text not null default current_timestamp);
create table square (
    unit text not null references unit(name), position integer not null,
    square text not null, shared integer not null, primary key (unit, position));
insert into unit (name, chain, link, space, stop, records, passing, own_records, own_passing)
    values ('old', 'old', 0, 65, 'limit', 0, 5, 0, 5);
SQL
    catalogue init || fail "init on a former catalogue"
    catalogue add sample run/in run/out "$summary" || fail "add after the upgrade"
    [ "$(catalogue totals)" = "space 65: 2 results of 2 units, 25 squares passed the filter, 1 with a mate" ] ||
        fail "totals after the upgrade: $(catalogue totals)"
    [ "$(sqlite3 cat.sqlite "select count(*) from square where cf is not null")" = 1 ] || fail "no CF recorded"
    ;;
import)
    # The researcher's list holds the sample's square itself, not its CF: any member will do.
    "$tools/dlsmate-catalogue" cat.sqlite import "$source/tests/data/sample-square.txt" >import.txt ||
        fail "import: $(cat import.txt)"
    [ "$(cat import.txt)" = "1 squares read, 1 classes new to the known list" ] || fail "import: $(cat import.txt)"
    grep -qx 'distinct CFs: 1 (1 found in results, 0 only as their mates; 0 new, 1 known)' <<<"$(catalogue research)" ||
        fail "research after the import: $(catalogue research)"
    [ -z "$(catalogue cfs --new)" ] || fail "cfs --new lists a known class"
    printf '0 1 2\n1 2 0\n' >bad.txt
    if catalogue import bad.txt 2>err.txt; then fail "import took a broken list"; fi
    grep -q "bad.txt line 1: the square has only 2 rows" err.txt || fail "import: $(cat err.txt)"
    ;;
report)
    mkdir site
    catalogue report site || fail "report"
    for file in index.html cfs.txt spectra.txt graph.dot graph.svg graph.png transversals.png mates.png; do
        [ -s "site/$file" ] || fail "report wrote no $file"
    done
    for png in graph.png transversals.png mates.png; do
        [ "$(head -c 8 "site/$png" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] || fail "$png is not a PNG"
    done
    grep -q '<svg' site/graph.svg && grep -q '>C1<' site/graph.svg || fail "graph.svg: no class C1"
    cmp site/cfs.txt <(catalogue cfs) || fail "cfs.txt"
    command -v chromium >/dev/null || fail "chromium is not installed (make deps installs it)"
    browser() {
        HOME=$work timeout 120 chromium --headless --no-sandbox --disable-gpu --disable-dev-shm-usage \
            --user-data-dir="$work/profile" --window-size=1000,1400 "$@" 2>>chromium.log
    }
    browser --dump-dom "file://$work/site/index.html" >dom.html || fail "chromium --dump-dom: $(tail -5 chromium.log)"
    for text in "squares with a mate: 1" "distinct CFs: 1 (1 found in results" "new CFs per CPU hour: 0.500" \
        "No three mutually orthogonal squares found." "116"; do
        grep -qF "$text" dom.html || fail "the page as Chromium shows it lacks \"$text\""
    done
    # The images are loaded: Chromium's DOM keeps their sources; a broken one is not detectable
    # here, so the screenshot is compared with one of an empty page of the same size.
    browser --screenshot="$work/page.png" "file://$work/site/index.html" || fail "chromium --screenshot"
    echo '<!DOCTYPE html><html><body></body></html>' >empty.html
    browser --screenshot="$work/empty.png" "file://$work/empty.html" || fail "chromium --screenshot of an empty page"
    size() { head -c 24 "$1" | tail -c 8 | od -An -tu1 | awk '{ print $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8 }'; }
    [ "$(head -c 8 page.png | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] || fail "the screenshot is not a PNG"
    [ "$(size page.png)" = "1000 1400" ] || fail "screenshot of $(size page.png), not 1000 1400"
    [ "$(stat -c %s page.png)" -gt $((4 * $(stat -c %s empty.png))) ] ||
        fail "the screenshot ($(stat -c %s page.png) bytes) looks as empty as an empty page's ($(stat -c %s empty.png) bytes)"
    ;;
*) fail "unknown scenario $scenario" ;;
esac
echo "catalogue $scenario: passed"
