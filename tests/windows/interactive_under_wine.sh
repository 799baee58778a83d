#!/usr/bin/env bash
# The interactive dialogue of tavrin.exe, played in a tmux pane on Wine's console:
# editing keys, rejected answers asked again in place, the output compared with the Linux
# command line's, and Ctrl+C saving the window position into tavrin.ini.
# Usage: interactive_under_wine.sh WINDOWS_EXE LINUX_TOOL WINE_LOADER  (WINEPREFIX set up)
set -euo pipefail
windows_exe=$(realpath "$1")
linux_tool=$(realpath "$2")
wine_loader=$(command -v "$3")
root=$(cd "$(dirname "$0")/../.." && pwd)

work=$(mktemp -d "${TMPDIR:-/tmp}/tavrin-wine-dialogue.XXXXXX")
socket="tavrin-wine-$$"
tmux_() { tmux -L "$socket" "$@"; }
cleanup() {
  tmux_ kill-server >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

failures=0
fail() { echo "FAIL (dialogue): $*"; failures=$((failures + 1)); }

# The exe is copied into the folder, so that its tavrin.ini is this test's.
cp "$windows_exe" "$work/tavrin.exe"
cp "$root"/examples/*.s2p "$work/"

start_dialogue() {
  tmux_ kill-server >/dev/null 2>&1 || true
  sleep 0.5
  rm -f "$work/exit_status"
  tmux_ new-session -d -s dialogue -x 80 -y 24 \
    "cd '$work' && '$wine_loader' tavrin.exe; echo \$? > exit_status; sleep 600"
  wait_for_row 1 "Enter filename without .s2p"
}

row() { tmux_ capture-pane -p -t dialogue | sed -n "$1p" | sed 's/ *$//'; }

wait_for_row() {  # row number, expected text
  for _ in $(seq 1 100); do
    [ "$(row "$1")" = "$2" ] && return 0
    sleep 0.1
  done
  fail "row $1 is '$(row "$1")', expected '$2'"
  return 0
}

wait_for_exit() {
  for _ in $(seq 1 100); do
    [ -s "$work/exit_status" ] && return 0
    sleep 0.1
  done
  fail "the dialogue did not end"
}

# Keys are sent one group at a time: Wine reads an Escape followed at once by a letter as
# Alt+letter. Home and End go as the sequences Wine's console understands.
keys() { tmux_ send-keys -t dialogue "$@"; sleep 0.3; }
home() { tmux_ send-keys -t dialogue -l $'\e[H'; sleep 0.3; }
end_key() { tmux_ send-keys -t dialogue -l $'\e[F'; sleep 0.3; }

echo "-- dialogue in a tmux pane on Wine's console"

# A whole run with every kind of rejected answer and the editing keys.
start_dialogue
wait_for_row 3 "Forward:"
keys "nosuch" Enter
wait_for_row 3 "Forward:"                     # missing file: wiped and asked again
keys "amplri"; keys Left Left; keys "ifier_"  # amplifier_ri
home; keys "X"; end_key; keys "Y"             # Xamplifier_riY
wait_for_row 3 "Forward: Xamplifier_riY"
home; keys DC; end_key; keys BSpace           # Delete at the start, Backspace at the end
wait_for_row 3 "Forward: amplifier_ri"
keys Enter
wait_for_row 4 "Reverse:"
keys Enter                                    # empty: the forward name, single-file mode
wait_for_row 4 "Reverse: amplifier_ri"
wait_for_row 5 "Output:"
keys "amplifier_ri" Enter                     # an input's name is refused
wait_for_row 5 "Output:"
keys "zzz"; keys Escape; sleep 0.5            # Escape wipes what was typed
wait_for_row 5 "Output:"
keys "a" Tab "b"
wait_for_row 5 "Output: a       b"            # Tab: blanks to the next multiple of 8
keys Escape; sleep 0.5
keys "out" Enter
wait_for_row 6 "Renormalized Z ="
keys "0" Enter
wait_for_row 6 "Renormalized Z ="
keys "75 ohm" Enter
wait_for_exit
[ "$(cat "$work/exit_status" 2>/dev/null)" = 0 ] || fail "exit status $(cat "$work/exit_status")"
for expected in "1:Enter filename without .s2p" "2:" "3:Forward: amplifier_ri" \
                "4:Reverse: amplifier_ri" "5:Output: out" "6:Renormalized Z = 75 ohm"; do
  [ "$(row "${expected%%:*}")" = "${expected#*:}" ] ||
    fail "final row ${expected%%:*} is '$(row "${expected%%:*}")'"
done
[ ! -e "$work/zzz.s2p" ] && [ ! -e "$work/ab.s2p" ] || fail "a wiped answer created a file"
(cd "$work" && "$linux_tool" amplifier_ri amplifier_ri reference 75)
cmp -s "$work/out.s2p" "$work/reference.s2p" || fail "the dialogue's output differs from the command line's"
[ -f "$work/tavrin.ini" ] && [ ! -s "$work/tavrin.ini" ] ||
  fail "a complete run must create tavrin.ini empty and leave it so"

# Two-file mode through the dialogue.
start_dialogue
keys "filter_fwd" Enter; keys "filter_rev" Enter; keys "out2" Enter; keys "25" Enter
wait_for_exit
(cd "$work" && "$linux_tool" filter_fwd filter_rev reference2 25)
cmp -s "$work/out2.s2p" "$work/reference2.s2p" || fail "two-file dialogue output differs"

# Ctrl+C during the dialogue writes the position word, and only its 4 bytes. Wine's console
# on a terminal has no window, so the position saved is the one the window was put at.
ctrl_c_case() {  # label, settings bytes before (printf format, or "none"), expected od output
  local label=$1 before=$2 expected=$3
  rm -f "$work/tavrin.ini"
  [ "$before" = none ] || printf "$before" >"$work/tavrin.ini"
  start_dialogue
  keys "amplifier_ri" Enter
  wait_for_row 4 "Reverse:"
  keys C-c
  wait_for_exit
  local saved
  saved=$(od -An -tx1 "$work/tavrin.ini" 2>/dev/null | tr -s ' ' | sed 's/^ //;s/ $//')
  [ "$saved" = "$expected" ] || fail "$label: tavrin.ini holds '$saved', expected '$expected'"
}
ctrl_c_case "no settings file" none "00 03 80 01"
ctrl_c_case "a kept position" '\xf8\xff\x64\x00\x41\x42' "f8 ff 64 00 41 42"
ctrl_c_case "a negative word" '\x00\x00\x00\x80\x41' "00 03 80 01 41"
ctrl_c_case "a short file" '\x05' "05 00 00 00"

if [ "$failures" -ne 0 ]; then
  echo "dialogue under Wine: $failures failure(s)"
  exit 1
fi
echo "ok   dialogue under Wine: editing keys, re-asking, output, Ctrl+C position saves"
