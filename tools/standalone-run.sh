# Sourced by the scripts that run the worker standalone, as a BOINC client
# without a slot would start it: in a folder of its own, on a work unit copied
# to `in`, with the arguments `in out`.
#
#   run_standalone FOLDER UNIT COMMAND...
#
# makes FOLDER (if it is not there yet), copies UNIT to FOLDER/in and runs
# COMMAND in out in FOLDER, where the result file `out` and the BOINC library's
# stderr.txt are left.  Returns the command's exit status.
run_standalone() {
    local folder=$1 unit=$2
    shift 2
    mkdir -p "$folder" && cp "$unit" "$folder/in" && (cd "$folder" && "$@" in out)
}
