#!/usr/bin/env bash
# The deploy kit's work generator and assimilator on hostile input, in a project
# folder of stand-ins: BOINC's create_work and stage_file, the mysql client and
# the catalogue are small scripts here that record what they were asked; the
# checking tools and the worker are the real ones.
#
#   glue_test.sh WORKER TOOLS_DIR SOURCE_DIR
set -euo pipefail
worker=$(realpath "$1")
tools=$(realpath "$2")
source_dir=$(realpath "$3")
root=$(mktemp -d "${TMPDIR:-/tmp}/dlsmate-glue-test-XXXXXX")
trap 'rm -rf "$root"' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

password=s3cret-pw-$$
project=$root/project
mkdir -p "$project"/bin "$project"/templates "$project"/download "$project"/dlsmate/{queue,workunits,results,held} \
    "$root/fakebin"
install -m 755 "$source_dir"/deploy/dlsmate_work_generator "$source_dir"/deploy/dlsmate_assimilate "$project/bin/"
install -m 644 "$source_dir/deploy/dlsmate_project.sh" "$project/bin/"
install -m 755 "$tools/dlsmate-next" "$project/bin/"
cp "$source_dir/deploy/templates/dlsmate_out" "$project/templates/"
printf '<boinc>\n<config>\n<db_user>dlsmate</db_user>\n<db_passwd>%s</db_passwd>\n<db_name>dlsmate</db_name>\n</config>\n</boinc>\n' \
    "$password" >"$project/config.xml"
touch "$root/created" "$root/names" "$root/staged" "$root/catalogue.log"

# mysql: records its arguments and MYSQL_PWD; answers the generator's and the
# assimilator's queries from the files created and names (line N: work unit N).
cat >"$root/fakebin/mysql" <<EOF
#!/usr/bin/env bash
printf '%s\n' "\$*" >>"$root/mysql.argv"
printf '%s\n' "\${MYSQL_PWD-}" >>"$root/mysql.env"
query=\${@: -1}
case \$query in
*"join app"*) echo 0 ;;
*"from workunit where name = "*) name=\${query#*name = \'}; grep -cxF "\${name%\'}" "$root/created" || true ;;
*"from workunit where id = "*) sed -n "\${query##* }p" "$root/names" ;;
*"select r.cpu_time from result r join workunit w on r.id = w.canonical_resultid where w.id = 1") echo 12.5 ;;
*) echo "unexpected query: \$query" >&2; exit 1 ;;
esac
EOF
# stage_file follows links, as BOINC's does (PHP's copy).
cat >"$project/bin/stage_file" <<EOF
#!/usr/bin/env bash
[ "\$1" = --copy ] || exit 1
printf '%s\n' "\$2" >>"$root/staged"
cp -L "\$2" "$project/download/\$(basename "\$2")"
EOF
# create_work refuses a name it has, as BOINC's database does (unique(name)); with
# the file kill-after-create there, it kills the generator that called it once it
# has created the unit.
cat >"$project/bin/create_work" <<EOF
#!/usr/bin/env bash
while [ "\$1" != --wu_name ]; do shift; done
if grep -qxF "\$2" "$root/created"; then echo "create_work: \$2 exists" >&2; exit 1; fi
printf '%s\n' "\$2" >>"$root/created"
if [ -e "$root/kill-after-create" ]; then rm "$root/kill-after-create"; kill -KILL \$PPID; fi
EOF
# The catalogue keeps a copy of each result it is given.
cat >"$project/bin/dlsmate-catalogue" <<EOF
#!/usr/bin/env bash
printf '%s\n' "\${*:2}" >>"$root/catalogue.log"
[ "\$2" = add ] || exit 0
[ "\$3" != --cpu-seconds ] || set -- "\$1" "\$2" "\${@:5}"
cp "\$5" "$root/catalogued-\$3"
EOF
# dlsmate-check, and then the upload named in REWRITE_UPLOAD rewritten, as a client
# or the web server could do right after the check.
cat >"$project/bin/dlsmate-check" <<EOF
#!/usr/bin/env bash
status=0
"$tools/dlsmate-check" "\$@" || status=\$?
[ -z "\${REWRITE_UPLOAD:-}" ] || printf 'rewritten\r\n' >"\$REWRITE_UPLOAD"
exit \$status
EOF
chmod 755 "$root/fakebin/mysql" "$project"/bin/{stage_file,create_work,dlsmate-catalogue,dlsmate-check}
export PATH=$root/fakebin:$PATH

# Runs the work generator until the queue holds nothing it takes, then asks it to
# stop and returns its exit status.  A generator that dies early is seen at once.
run_generator() {
    rm -f "$project/stop_daemons"
    "$project/bin/dlsmate_work_generator" --sleep 1 >>"$root/generator.log" 2>&1 &
    local pid=$! status=0
    while kill -0 "$pid" 2>/dev/null && [ -n "$(find "$project/dlsmate/queue" -mindepth 1 -print -quit)" ]; do
        sleep 0.2
    done
    touch "$project/stop_daemons"
    wait "$pid" || status=$?
    return "$status"
}

# ---- The work generator: what the queue may hold ------------------------------------
echo "A queue holding a link out of the project, a folder and odd names besides a unit"
echo "secret of the operator" >"$root/secret.txt"
ln -s "$root/secret.txt" "$project/dlsmate/queue/a-link.wu"
mkdir "$project/dlsmate/queue/b-folder.wu"
cp "$source_dir/samples/sample.wu" "$project/dlsmate/queue/c-with
newline.wu"
cp "$source_dir/samples/sample.wu" "$project/dlsmate/queue/d with space.wu"
cp "$source_dir/samples/sample.wu" "$project/dlsmate/queue/u-000001.wu"
run_generator || fail "the work generator ended with status $? (log: $(cat "$root/generator.log"))"
[ "$(cat "$root/created")" = u-000001 ] || fail "units created: $(cat "$root/created")"
[ "$(cat "$root/staged")" = dlsmate/workunits/u-000001.wu ] || fail "files staged: $(cat "$root/staged")"
! grep -rq "secret of the operator" "$project/download" "$project/dlsmate/workunits" ||
    fail "the link's target was staged for download"
[ "$(find "$project/dlsmate/refused" -mindepth 1 -maxdepth 1 | wc -l)" -eq 4 ] ||
    fail "refused: $(ls -A "$project/dlsmate/refused")"
[ -z "$(ls -A "$project/dlsmate/queue")" ] || fail "left in the queue: $(ls -A "$project/dlsmate/queue")"
cmp "$project/dlsmate/workunits/u-000001.wu" "$source_dir/samples/sample.wu" || fail "the unit's copy differs"
grep -q "refused a-link.wu: not a regular file" "$root/generator.log" || fail "no log line for the link"
grep -qF "refused \$'c-with\\nnewline.wu': not a name the project makes" "$root/generator.log" ||
    fail "no log line for the name with a newline: $(cat "$root/generator.log")"

echo "The database password never on the mysql client's command line"
[ -s "$root/mysql.argv" ] || fail "mysql was not run"
! grep -qF "$password" "$root/mysql.argv" || fail "the password is on mysql's command line: $(grep -F "$password" "$root/mysql.argv" | head -n 1)"
[ "$(sort -u "$root/mysql.env")" = "$password" ] || fail "MYSQL_PWD: $(sort -u "$root/mysql.env" | tr '\n' ' ')"

echo "The work generator killed right after create_work goes on when started again"
cp "$source_dir/samples/sample.wu" "$project/dlsmate/queue/u-000002.wu"
touch "$root/kill-after-create"
status=0
run_generator || status=$?
[ "$status" -eq 137 ] || fail "the generator was not killed (status $status)"
[ -f "$project/dlsmate/queue/u-000002.wu" ] || fail "the unit left the queue before the kill"
run_generator || fail "the restarted generator ended with status $? (log: $(tail -n 3 "$root/generator.log"))"
[ "$(grep -cx u-000002 "$root/created")" -eq 1 ] || fail "u-000002 created $(grep -cx u-000002 "$root/created") times"
[ ! -e "$project/dlsmate/queue/u-000002.wu" ] || fail "u-000002 is still queued"
grep -q "u-000002 was created already; taken off the queue" "$root/generator.log" || fail "no log line for u-000002"

# ---- The assimilator -----------------------------------------------------------------
(mkdir "$root/run" && cd "$root/run" && cp "$source_dir/samples/sample.wu" in && "$worker" in out >/dev/null 2>&1) ||
    fail "the worker on the sample"
honest=$root/run/out
upload_dir=$root/upload
mkdir "$upload_dir"
assimilate() { "$project/bin/dlsmate_assimilate" "$@" >>"$root/assimilator.log" 2>&1; }

echo "The assimilator keeps the bytes it checked, whatever is written to the upload after"
printf 'u-000001\n' >"$root/names"
cp "$honest" "$upload_dir/u-000001_0_r1_0"
REWRITE_UPLOAD=$upload_dir/u-000001_0_r1_0 assimilate 1 "$upload_dir/u-000001_0_r1_0" ||
    fail "assimilating u-000001: status $? ($(tail -n 3 "$root/assimilator.log"))"
[ "$(cat "$upload_dir/u-000001_0_r1_0")" = $'rewritten\r' ] || fail "the upload was not rewritten during the check"
cmp "$honest" "$project/dlsmate/results/u-000001.out" || fail "the kept result is not the checked one"
cmp "$honest" "$root/catalogued-u-000001" || fail "the catalogue was given other bytes than those checked"
grep -qx "add --cpu-seconds 12.5 u-000001 $project/dlsmate/workunits/u-000001.wu $project/dlsmate/results/u-000001.out $project/dlsmate/results/u-000001.out: valid records=1 passing=20 stop=limit own_records=1 own_passing=20 u-000001-c1" \
    "$root/catalogue.log" || fail "catalogue calls: $(cat "$root/catalogue.log")"
[ -f "$project/dlsmate/queue/u-000001-c1.wu" ] || fail "no continuation queued"
[ -z "$(find "$project/dlsmate/results" -name '.*')" ] || fail "a copy was left behind"

echo "A canonical result the assimilator cannot take marks its unit as an error; the script succeeds"
: >"$root/catalogue.log"
cp "$project/dlsmate/workunits/u-000001.wu" "$project/dlsmate/workunits/u-000003.wu"
# Its end square is not all nines: a run of it always ends with a closing block.
sed '$ s/9$/8/' "$project/dlsmate/workunits/u-000001.wu" >"$project/dlsmate/workunits/u-000004.wu"
cp "$project/dlsmate/workunits/u-000001.wu" "$project/dlsmate/workunits/u-000005.wu"
printf 'u-000001\nu-000003\nu-000004\nu-000005\n' >"$root/names"
printf 'garbage\r\n' >"$upload_dir/u-000003_0_r1_0"
: >"$upload_dir/u-000004_0_r1_0" # empty: taken at its word without --strict
ln -s "$honest" "$upload_dir/u-000005_0_r1_0"
for id in 2 3 4; do
    assimilate "$id" "$upload_dir/$(sed -n "${id}p" "$root/names")_0_r1_0" ||
        fail "assimilating unit $id: status $? ($(tail -n 3 "$root/assimilator.log"))"
done
[ "$(cat "$root/catalogue.log")" = $'error u-000003 1024\nerror u-000004 1024\nerror u-000005 1024' ] ||
    fail "catalogue calls: $(cat "$root/catalogue.log")"
for unit in u-000003 u-000004 u-000005; do
    [ ! -e "$project/dlsmate/results/$unit.out" ] || fail "a result of $unit was kept"
    [ ! -e "$project/dlsmate/queue/$unit-c1.wu" ] || fail "a continuation of $unit was queued"
done
grep -q "u-000003: canonical result refused, unit marked as an error (mask 1024): " "$root/assimilator.log" ||
    fail "no log line for u-000003: $(cat "$root/assimilator.log")"
[ -z "$(find "$project/dlsmate/results" -name '.*')" ] || fail "a copy was left behind"
echo "The work generator and the assimilator held against every hostile input"
