#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# A save killed at any system call that writes: for every save path (a replacing save, one in
# place that grows or shrinks the list, and a merging save, which finds that another program
# wrote the list after it was loaded), `lanyard` is killed at each such call in turn and the
# list must then load and hold its old entries or its new ones (or, for a merge, the other
# program's).
#
#   crashpoints.sh LANYARD OTHER_WRITER_SHIM REPO_ROOT
#
# The killing is done by crashpoints, from the shared tools beside the checkout (../shared), or
# from LANYARD_SHARED_TOOLS for a copy of the tree made elsewhere (a mutation run's, say).
set -uo pipefail
lanyard=$1 other_writer=$2
tool=${LANYARD_SHARED_TOOLS:-$3/../shared/tools}/crashpoints
[[ -x $tool ]] || { echo "crash-point test: $tool is missing (the shared tools are expected beside the checkout)"; exit 1; }
command -v strace >/dev/null || { echo "crash-point test: strace is not installed (Debian package strace)"; exit 1; }

work=$(mktemp -d)
trap 'chmod -R u+rwx "$work"; rm -rf "$work"' EXIT
chmod 0755 "$work"
# Only the calls that change files (the many opens and closes of starting up come before any),
# and of those only the ones that each kind of save makes, to keep the time down.
replacing=write,fsync,fchown,fchmod,rename,unlinkat
in_place=pwrite64,fallocate,fsync,ftruncate
# In a folder that takes no new file, the writer must not be root, whom permissions do not bind.
as_user=()
[[ $(id -u) == 0 ]] && as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)

old_list=$'; Format: Group Label,Program label,Program Path,Command line\r\n'
old_list+=$'Tools,Editor,/usr/bin/ed,-p,0\r\nTools,Viewer,/usr/bin/less,--quit-if-one-screen --ignore-case --LONG-PROMPT --RAW-CONTROL-CHARS --chop-long-lines,0\r\nNet,Mail,/opt/mail-reader-of-the-department/bin/mutt-with-the-department-settings,-y,-1\r\n'
# Deleting Viewer shrinks the list; its old tail then starts inside the long last line, where a
# cut leaves a line that would read as an entry.
printf '%s' "$old_list" >"$work/fixture"

theirs=$'Games,Chess,/usr/games/chess,,0\r\n'
# case_ NAME FOLDER_MODE MERGE CHANGED LANYARD_ARGUMENTS...
case_() {
    local name=$1 mode=$2 merge=$3 changed=$4; shift 4
    local dir=$work/$name list=$work/$name/tools.lst
    mkdir -p "$dir"
    # With the temporary of a save killed before, which this one removes.
    local setup="chmod 0755 '$dir' && rm -f '$dir'/.tools.lst.* && cp '$work/fixture' '$list' && touch '$dir/.tools.lst.Ab12Cd' && chmod 0666 '$list' && chown 65534:65534 '$list' 2>/dev/null; chmod $mode '$dir'"
    local calls=$replacing
    [[ $mode == 0555 ]] && calls=$in_place
    local listing="'$lanyard' --file '$list' list"
    local command=("$lanyard" --file "$list" "$@")
    # The other program writes when this one asks for the lock to save: after its load.
    [[ $merge == merge ]] && command=(env LD_PRELOAD="$other_writer" LANYARD_OTHER_WRITER_FILE="$list" LANYARD_OTHER_WRITER_LINE="$theirs" "${command[@]}")
    [[ $mode == 0555 ]] && command=("${as_user[@]}" "${command[@]}")
    # The states a kill may leave: the old list, the other program's, ours.
    bash -c "$setup" && bash -c "$listing" >"$work/$name.old" && cp "$work/$name.old" "$work/$name.theirs" &&
        { [[ $merge != merge ]] || { printf '%s' "$theirs" >>"$list" && bash -c "$listing" >"$work/$name.theirs"; }; } ||
        { echo "the fixture does not load"; return 1; }
    bash -c "$setup" && "${command[@]}" && bash -c "$listing" >"$work/$name.new" ||
        { echo "the save fails without a kill"; return 1; }
    # The entry named CHANGED changed, and nothing else.
    if cmp -s "$work/$name.theirs" "$work/$name.new" ||
        ! cmp -s <(grep -v "$changed" "$work/$name.theirs") <(grep -v "$changed" "$work/$name.new"); then
        echo "the save does not change $changed alone"; return 1
    fi
    if [[ $merge == merge ]] && ! grep -q Chess "$work/$name.new"; then
        echo "the other program's entry is not in the merged list: the save did not merge"; return 1
    fi
    local check="$listing >'$work/$name.now' 2>&1 && for state in old theirs new; do cmp -s '$work/$name.now' '$work/$name.'\$state && exit 0; done; cat '$work/$name.now'; exit 1"
    "$tool" -s "$calls" -n 6 -p "$setup" -c "$check" -- "${command[@]}"
}

start=$SECONDS
# Each save path in a folder of its own, all at once.
pids=()
run() { case_ "$@" >"$work/$1.report" 2>&1 & pids+=($!); }
run replace 0755 - New add Tools New /bin/new
run in-place-growing 0555 - New add Tools New /bin/new --protected
run in-place-shrinking 0555 - Viewer delete Tools Viewer
run merge-replace 0755 merge New add Tools New /bin/new
status=0
for pid in "${pids[@]}"; do wait "$pid" || status=1; done
total=0
for name in replace in-place-growing in-place-shrinking merge-replace; do
    sed "s/^/$name: /" "$work/$name.report"
    tried=$(sed -n 's/^crashpoints: \([0-9]*\) points tried.*/\1/p' "$work/$name.report")
    total=$((total + ${tried:-0}))
done
echo "crash-point test: $total crash points tried in $((SECONDS - start)) s"
exit $status
