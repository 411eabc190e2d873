#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Saves killed at each system call that writes: old, other's or new entries, tool behaviours old or new. Usage: LANYARD SHIM SHIM
set -uo pipefail
command -v strace >/dev/null || { echo "crash points: strace is not installed (Debian package strace)"; exit 1; }
work=$(mktemp -d) && chmod 0755 "$work"; trap 'chmod -R u+rwx "$work"; rm -rf "$work"' EXIT
mkdir "$work/bin" && cp "$1" "$(dirname "$1")"/liblanyard.so.* "$2" "$3" "$work/bin/" || exit 1
lanyard=$work/bin/lanyard other_writer=$work/bin/${2##*/} no_fallocate=$work/bin/${3##*/}; export LD_LIBRARY_PATH=$work/bin
replacing=write,fsync,fchown,fchmod,rename,unlinkat in_place=pwrite64,fallocate,fsync,ftruncate as_user=()
[[ $(id -u) == 0 ]] && as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
# Deleting Viewer shrinks the list; its old tail then starts inside the long last line.
printf '%s' $'; Format: Group Label,Program label,Program Path,Command line\r\nTools,Editor,/usr/bin/ed,-p,0\r\nTools,Viewer,/usr/bin/less,--quit-if-one-screen --ignore-case --LONG-PROMPT --RAW-CONTROL-CHARS --chop-long-lines,0\r\nNet,Mail,/opt/mail-reader-of-the-department/bin/mutt-with-the-department-settings,-y,-1\r\n' >"$work/fixture"
theirs=$'Games,Chess,/usr/games/chess,,0\r\n'

killed() { rc=$(bash -c 'strace -f -qq -o /dev/null -e inject="$1" -- "${@:2}" >/dev/null 2>&1; echo $?' - "$@" 2>/dev/null); }

# scenario NAME FOLDER_MODE MERGE CHANGED LANYARD_ARGUMENTS...
scenario() {
    local name=$1 mode=$2 merge=$3 changed=$4 calls=$replacing tried=0 failed=0 call n rc; shift 4
    local dir=$work/$name list=$work/$name/tools.lst command=("$lanyard" --file "$work/$name/tools.lst" "$@")
    setup() {
        chmod 0755 "$dir" && rm -f "$dir"/.tools.lst.* && cp "$work/fixture" "$list" && touch "$dir/.tools.lst.Ab12Cd" &&
            chmod 0666 "$list" && { chown 65534:65534 "$list" 2>/dev/null; chmod "$mode" "$dir"; } }
    temporaries() { ls -A "$dir" | grep -c '^\.tools\.lst\.[A-Za-z0-9]\{6\}$'; }
    [[ $merge == merge ]] && command=(env LD_PRELOAD="$other_writer" LANYARD_OTHER_WRITER_FILE="$list" LANYARD_OTHER_WRITER_LINE="$theirs" "${command[@]}")
    [[ $mode == 0555 ]] && calls=$in_place command=("${as_user[@]}" "${command[@]}")
    mkdir "$dir" && setup && "$lanyard" --file "$list" list >"$dir.old" && cp "$dir.old" "$dir.theirs" &&
        { [[ $merge != merge ]] || { printf '%s' "$theirs" >>"$list" && "$lanyard" --file "$list" list >"$dir.theirs"; }; } ||
        { echo "the fixture does not load"; return 1; }
    setup && "${command[@]}" && "$lanyard" --file "$list" list >"$dir.new" || { echo "the save fails without a kill"; return 1; }
    [[ $mode == 0555 || $(temporaries) == 0 ]] || { echo "a temporary is left"; return 1; }
    cmp -s "$dir.theirs" "$dir.new" || ! cmp -s <(grep -v "$changed" "$dir.theirs") <(grep -v "$changed" "$dir.new") && { echo "the save does not change $changed alone"; return 1; }
    [[ $merge != merge ]] || grep -q Chess "$dir.new" || { echo "the other program's entry is not in the merged list"; return 1; }
    for call in ${calls//,/ }; do
        for ((n = 1; ; n++)); do
            setup || return 1
            killed "$call:signal=KILL:when=$n" "${command[@]}"
            [[ $rc == 137 ]] || break # no Nth call of it: the save ran to its end
            tried=$((tried + 1)); "$lanyard" --file "$list" list >"$dir.now" 2>&1 && { cmp -s "$dir.now" "$dir.old" || cmp -s "$dir.now" "$dir.theirs" || cmp -s "$dir.now" "$dir.new"; } ||
                { failed=$((failed + 1)); echo "$call #$n: $(head -c 300 "$dir.now")"; }
        done; done
    echo "$tried crash points, $failed failed"; [[ $name != replace ]] && return $((failed > 0))
    setup && rm "$dir/.tools.lst.Ab12Cd" && killed rename:signal=KILL "${command[@]}"
    [[ $rc == 137 && $(temporaries) == 1 ]] || { echo "a save killed before its rename left no temporary"; return 1; }
    "${command[@]}" && [[ $(temporaries) == 0 ]] && cmp -s <("$lanyard" --file "$list" list) "$dir.new" || { echo "the next save did not remove it"; return 1; }
    setup && ! strace -f -qq -o /dev/null -e inject=rename:error=EIO -- "${command[@]}" 2>"$dir.err" && grep -q "cannot replace" "$dir.err" &&
        cmp -s "$list" "$work/fixture" && [[ $(temporaries) == 0 ]] || { echo "a failed rename: $(cat "$dir.err")"; return 1; }
    return $((failed > 0))
}

# without_fallocate NAME VARIABLE REFUSAL ENTRIES ARGUMENTS... (REFUSAL -: saved, ENTRIES listed); an add grows 23 bytes
without_fallocate() {
    local name=$1 dir=$work/$1 variable=$2 refusal=$3 entries=$4 err status; shift 4
    mkdir "$dir" && printf '%s' "$written" >"$dir/tools.lst" && chmod 0666 "$dir/tools.lst" &&
        { chown 65534:65534 "$dir/tools.lst" 2>/dev/null; chmod 0555 "$dir"; } || return 1
    err=$("${as_user[@]}" env LD_PRELOAD="$no_fallocate" "$variable" "$lanyard" --file "$dir/tools.lst" "$@" 2>&1 >/dev/null)
    status=$?; if [[ $refusal == - ]]; then
        [[ $status == 0 && $("$lanyard" --file "$dir/tools.lst" list | cut -f2 | paste -sd ' ') == "$entries" ]] || echo "$name: not saved: $err"; else
        [[ $status != 0 && $err == *"$refusal"* ]] && cmp -s <(printf '%s' "$written") "$dir/tools.lst" || echo "$name: not refused: $err"; fi
}
# A rename by lanyard rewrites the tool behaviours beside the list too: killed anywhere, the file is old or new.
behaviours() {
    local dir=$work/behaviours call n failed=0 command=("$lanyard" --file "$work/behaviours/tools.lst" edit Tools Editor Tools Ed)
    setup() { cp "$work/fixture" "$dir/tools.lst" && printf '[Tools/Editor]\noutput=Pane\n\n[Net/Mail]\ninput=Document\n' >"$dir/tools.lst.behaviour"; }
    mkdir "$dir" && setup && cp "$dir/tools.lst.behaviour" "$dir/old" && "${command[@]}" && cp "$dir/tools.lst.behaviour" "$dir/new" &&
        grep -q 'Tools/Ed]' "$dir/new" && ! cmp -s "$dir/old" "$dir/new" || { echo "the rename does not take the behaviour along"; return 1; }
    for call in ${replacing//,/ }; do
        for ((n = 1; ; n++)); do
            setup && killed "$call:signal=KILL:when=$n" "${command[@]}"; [[ $rc == 137 ]] || break
            cmp -s "$dir/tools.lst.behaviour" "$dir/old" || cmp -s "$dir/tools.lst.behaviour" "$dir/new" || { failed=1; echo "$call #$n: $(head -c 200 "$dir/tools.lst.behaviour")"; }
        done; done; return $failed
}
written=$'; Created by: liblanyard on 01-12-2026\r\n; Format: Group Label,Program label,Program Path,Command line\r\nTools,Old,/bin/old,,0\r\nTools,X,/bin/x,,0\r\n'
pids=() status=0; run() { scenario "$@" >"$work/$1.report" 2>&1 & pids+=($!); }
run replace 0755 - New add Tools New /bin/new
run in-place-growing 0555 - New add Tools New /bin/new --protected
run in-place-shrinking 0555 - Viewer delete Tools Viewer
run merge-replace 0755 merge New add Tools New /bin/new
behaviours >"$work/behaviours.report" 2>&1 & pids+=($!)
add=(add Tools New /bin/new); {
    without_fallocate growing-with-room A=1 - "Old X New" "${add[@]}"
    without_fallocate growing-without-room LANYARD_TEST_FREE_BYTES=0 "no room to write" - "${add[@]}"
    without_fallocate growing-into-the-room-there-is LANYARD_TEST_FREE_BYTES=23 - "Old X New" "${add[@]}"
    without_fallocate growing-one-byte-short-of-room LANYARD_TEST_FREE_BYTES=22 "no room to write" - "${add[@]}"
    without_fallocate written-a-few-bytes-a-call LANYARD_TEST_SHORT_WRITES=7 - "Old X New" "${add[@]}"
    without_fallocate shrinking-without-room LANYARD_TEST_FREE_BYTES=0 - "X" delete Tools Old
    without_fallocate write-fails LANYARD_TEST_WRITE_ERROR=5 "cannot write" - "${add[@]}"
} >"$work/without-fallocate.report" 2>&1; [[ -s $work/without-fallocate.report ]] && status=1
for pid in "${pids[@]}"; do wait "$pid" || status=1; done
for name in replace in-place-growing in-place-shrinking merge-replace behaviours without-fallocate; do sed "s/^/$name: /" "$work/$name.report"; done; exit $status
