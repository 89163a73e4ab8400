#!/usr/bin/env bash
# Creates a BOINC project that runs dlsmate, with BOINC's own make_project and
# the deploy kit's files, and stops short of starting it:
#
#   deploy/server/make-dlsmate-project.sh [options] <built BOINC tree> <project folder> <URL base>
#
#   <built BOINC tree>  the folder build-server.sh prints
#   <project folder>    where the project goes; must not exist yet
#   <URL base>          http://<host>[:<port>]/, the host name volunteers' clients reach;
#                       the project's master URL is <URL base><name>/
#
# options (a real project sets the database ones; the defaults suit a private MariaDB):
#   --name NAME          project's short name (default dlsmate)
#   --db-user USER       database user (default root), --db-passwd PASSWORD,
#   --db-host HOST       database host (default: the local socket)
#   --web-group GROUP    the group the web server runs as; the project is given to it to
#                        read, and only the folders Apache writes (upload/, the logs,
#                        html/cache/) to write (default: none, Apache runs as you)
#   --offline-keys DIR   where the code-signing private key goes once it has signed the
#                        app version (default: <project folder>.offline-keys); move it
#                        from there to an offline machine
#   --app-version DIR    the app version folder written by deploy/make-app-version.sh,
#                        <pack>/apps/dlsmate (required); it may hold app versions of
#                        plan classes (<platform>__<plan class>/, the GPU worker's)
#   --plan-classes FILE  a plan class file (<plan_classes>...); repeatable.  Their
#                        classes become the project's plan_class_spec.xml, which must
#                        define every plan class packed (default, when any is packed:
#                        deploy/gpu_plan_classes.xml)
#   --tools DIR          the built operator tools (build/tools; required)
#   --unsent N           units the work generator keeps unsent (default 20)
#   --max-links N        longest continuation chain it hands out (default: no limit)
#
# Afterwards: queue work units in <project>/dlsmate/queue/ and run <project>/bin/start.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
deploy=$(dirname "$here")
fail() { echo "$0: $*" >&2; exit 1; }

name=dlsmate db_user=root db_passwd='' db_host='' web_group='' app_version='' tools='' unsent=20 max_links=0
offline_keys=
plan_class_files=()
while [ $# -gt 0 ]; do
    case $1 in
    --name) name=$2; shift 2 ;;
    --db-user) db_user=$2; shift 2 ;;
    --db-passwd) db_passwd=$2; shift 2 ;;
    --db-host) db_host=$2; shift 2 ;;
    --web-group) web_group=$2; shift 2 ;;
    --offline-keys) offline_keys=$2; shift 2 ;;
    --app-version) app_version=$2; shift 2 ;;
    --plan-classes) plan_class_files+=("$(realpath "$2")"); shift 2 ;;
    --tools) tools=$2; shift 2 ;;
    --unsent) unsent=$2; shift 2 ;;
    --max-links) max_links=$2; shift 2 ;;
    -*) fail "unknown option $1" ;;
    *) break ;;
    esac
done
[ $# -eq 3 ] || fail "usage: $0 [options] <built BOINC tree> <project folder> <URL base>"
tree=$(cd "$1" && pwd)
project=$(realpath -m "$2")
url_base=${3%/}/
[ -x "$tree/tools/make_project" ] || fail "$tree is no BOINC source tree (no tools/make_project)"
[ -x "$tree/sched/cgi" ] || fail "$tree holds no built server (no sched/cgi): run build-server.sh"
[ -n "$app_version" ] && [ -d "$app_version" ] || fail "--app-version: no app version folder ${app_version:-given}"
app_version=$(cd "$app_version" && pwd)
# The plan classes of the packed app versions, each defined once in the plan class files.
packed_classes=$(find "$app_version" -mindepth 2 -maxdepth 2 -type d -name '*__*' | sed 's/.*__//' | sort -u)
if [ -n "$packed_classes" ] && [ ${#plan_class_files[@]} -eq 0 ]; then
    plan_class_files=("$deploy/gpu_plan_classes.xml")
fi
plan_classes=$(for file in "${plan_class_files[@]}"; do
    [ -f "$file" ] || fail "--plan-classes: no file $file"
    sed -n 's:.*<name>\s*\([^< ]*\)\s*</name>.*:\1:p' "$file"
done)
[ -z "$(sort <<<"$plan_classes" | uniq -d)" ] || fail "plan classes defined twice: $(sort <<<"$plan_classes" | uniq -d | tr '\n' ' ')"
for class in $packed_classes; do
    grep -qx "$class" <<<"$plan_classes" || fail "the app version of plan class $class has no definition in ${plan_class_files[*]:-any plan class file}"
done
for tool in dlsmate-split dlsmate-next dlsmate-check; do
    [ -x "$tools/$tool" ] || fail "--tools: no $tool in ${tools:-(none given)}"
done
[[ $unsent =~ ^[1-9][0-9]*$ ]] || fail "--unsent takes a positive number"
[[ $max_links =~ ^[0-9]+$ ]] || fail "--max-links takes a number"
[ ! -e "$project" ] || fail "$project exists already"
offline_keys=$(realpath -m "${offline_keys:-$project.offline-keys}")
[ ! -e "$offline_keys/code_sign_private" ] || fail "$offline_keys/code_sign_private exists already"

# BOINC's Python tools start with "#!/usr/bin/env python"; Debian 12 has python3 only
# (and its python3-mysqldb is for /usr/bin/python3).
pybin=$(mktemp -d)
trap 'rm -rf "$pybin"' EXIT
ln -s /usr/bin/python3 "$pybin/python"
export PATH=$pybin:$PATH
export USER=${USER:-$(id -un)}

# bin/start runs the daemons whose <host> is this short host name.
host=$(hostname -s)
db_options=(--db_user "$db_user")
[ -z "$db_passwd" ] || db_options+=(--db_passwd "$db_passwd")
[ -z "$db_host" ] || db_options+=(--db_host "$db_host")
echo "Making the BOINC project $name in $project for $url_base"
(cd "$tree/tools" && ./make_project --srcdir "$tree" --project_root "$project" --url_base "$url_base" \
    --project_host "$host" "${db_options[@]}" --no_query "$name" "$name") >"$project.make_project.log" 2>&1 ||
    { tail -n 30 "$project.make_project.log" >&2; fail "make_project failed (log: $project.make_project.log)"; }
project=$(cd "$project" && pwd)
cd "$project"

# make_project writes a scheduler link without its URL; the client tries it first.
scheduler=$(sed -n 's:.*<scheduler>\(.*\)</scheduler>.*:\1:p' html/user/schedulers.txt | head -n 1)
[ -n "$scheduler" ] || fail "no scheduler URL in html/user/schedulers.txt"
printf '<scheduler>%s</scheduler>\n<link rel="boinc_scheduler" href="%s">\n' "$scheduler" "$scheduler" \
    >html/user/schedulers.txt

# The application, its app version (signed by update_versions) and its templates.
app_entry="    <app>\n        <name>dlsmate</name>\n        <user_friendly_name>dlsmate: orthogonal diagonal Latin squares of order 10</user_friendly_name>\n    </app>"
sed -i "s|</boinc>|$app_entry\n</boinc>|" project.xml
bin/xadd >xadd.log 2>&1 || { cat xadd.log >&2; fail "bin/xadd failed"; }
mkdir -p apps
cp -r "$app_version" apps/
# update_versions asks two yes/no questions.
{ yes || true; } | bin/update_versions >update_versions.log 2>&1 ||
    { tail -n 20 update_versions.log >&2; fail "bin/update_versions failed"; }
cp "$deploy/templates/dlsmate_in" "$deploy/templates/dlsmate_out" templates/
# The plan classes, in the file the scheduler reads for every request.
if [ ${#plan_class_files[@]} -gt 0 ]; then
    {
        echo "<!-- Plan classes of ${plan_class_files[*]##*/}, by make-dlsmate-project.sh -->"
        echo "<plan_classes>"
        for file in "${plan_class_files[@]}"; do sed -n '/<plan_class>/,/<\/plan_class>/p' "$file"; done
        echo "</plan_classes>"
    } >plan_class_spec.xml
fi

# The code-signing key has signed the app version; whoever holds it can make every
# volunteer's client run a program of theirs, so it leaves the server.  A later app
# version is signed on the offline machine (BOINC's sign_executable) or with the
# key brought back for the moment of update_versions.
(umask 077 && mkdir -p "$offline_keys")
mv keys/code_sign_private "$offline_keys/"
chmod 600 "$offline_keys/code_sign_private"

# The server side of dlsmate: the tools and scripts in bin/, its folders in dlsmate/.
install -m 755 "$tools/dlsmate-split" "$tools/dlsmate-next" "$tools/dlsmate-check" "$tools/dlsmate-catalogue" bin/
install -m 755 "$deploy/dlsmate_work_generator" "$deploy/dlsmate_validate" "$deploy/dlsmate_compare" \
    "$deploy/dlsmate_assimilate" bin/
install -m 644 "$deploy/dlsmate_project.sh" bin/
mkdir -p dlsmate/queue dlsmate/workunits dlsmate/results dlsmate/held dlsmate/refused
bin/dlsmate-catalogue dlsmate/catalogue.sqlite init

# Two replicas on two different hosts, validated by dlsmate-check and assimilated into
# the catalogue; the work generator keeps the queue's units flowing.
generator="dlsmate_work_generator --unsent $unsent"
[ "$max_links" -eq 0 ] || generator+=" --max-links $max_links"
daemon() { printf '        <daemon>\n            <cmd>%s</cmd>\n        </daemon>\n' "$1"; }
daemons=$(daemon "script_validator --app dlsmate --init_script dlsmate_validate --compare_script dlsmate_compare"
    daemon "script_assimilator --app dlsmate --script dlsmate_assimilate"
    daemon "$generator")
python3 - "$daemons" <<'EOF_PY'
import sys
path = "config.xml"
text = open(path).read()
text = text.replace("    </daemons>", sys.argv[1] + "\n    </daemons>", 1)
# An upload is made read-only once complete, so that a client cannot write it
# again after it was validated.  make_project turns upload certificates off: any
# client could then upload any file name, another host's result included.  On,
# each output file's description is signed with upload_private when the unit is
# created, and the upload handler takes only signed names, up to their max_nbytes.
for option in ("dont_generate_upload_certificates", "ignore_upload_certificates"):
    text = text.replace("<%s>1</%s>" % (option, option), "<%s>0</%s>" % (option, option))
text = text.replace("    </config>",
                    "        <one_result_per_host_per_wu>1</one_result_per_host_per_wu>\n"
                    "        <fuh_set_completed_permission>0444</fuh_set_completed_permission>\n"
                    "    </config>", 1)
open(path, "w").write(text)
EOF_PY
grep -q '<cmd>script_validator' config.xml && grep -q one_result_per_host_per_wu config.xml &&
    grep -q '<fuh_set_completed_permission>0444<' config.xml && ! grep -q '_upload_certificates>1<' config.xml ||
    fail "could not add the daemons and the upload settings to config.xml"

# Private keys for the project's user alone (make_project writes them 0644 under
# umask 022); the public ones stay readable, the upload handler reads upload_public.
chmod 755 keys
find keys -type f -name '*_private' -exec chmod 600 {} +
find keys -type f -name '*_public' -exec chmod 644 {} +

# Nothing of the project is writable by anyone but its user, save what the web
# server writes.  make_project leaves the folders Apache uses (uploads, logs,
# caches) 2770 to root's group: the web server's group reads the project and
# writes those folders only, never bin/ (the programs the daemons run),
# config.xml (their command lines), keys/ or dlsmate/.
chmod -R go-w "$project"
if [ -n "$web_group" ]; then
    find "$project" -path "$project/keys" -prune -o -exec chgrp "$web_group" {} +
    find "$project" -path "$project/keys" -prune -o -exec chmod g+rX {} +
    find keys -type f -name '*_private' -exec chmod 600 {} +
    for folder in upload log_* html/cache; do
        [ ! -d "$folder" ] || find "$folder" -exec chmod g+w {} +
    done
fi
echo "Project $name made in $project; master URL $url_base$name/"
echo "The code-signing private key is in $offline_keys/: move it to an offline machine."
