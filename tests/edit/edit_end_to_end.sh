#!/usr/bin/env bash
# The track editor as a person uses it: `demo --edit COPY` in a window of the X server this
# runs under (xvfb-run), keys sent by xdotool.
#   Space, F2, Right, 0 . 5, Enter, Ctrl+S   exactly one key line of the copy changes or is
#                                            added, with the value 0.5
#   Ctrl+Z, Ctrl+S                           the original bytes again
#   Escape, Escape                           the grid gives the keyboard back, then the
#                                            program ends with status 0
# Optional SHOT: a screenshot of the window with the panel after the first save.
#   edit_end_to_end.sh DEMO ASSETS_DIR [SHOT]
set -u
demo=$1 assets=$2 shot=${3:-}
if [ -z "${DISPLAY:-}" ]; then echo "SKIP: no X server (run under xvfb-run)"; exit 77; fi
work=$(mktemp -d)
pid=
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
mkdir "$work/assets"
cp "$assets/timeline.txt" "$assets/texts.txt" "$work/assets/"
original=$work/original.txt
cp "$work/assets/timeline.txt" "$original"

# In a sanitizer build the leak checker is off here: the window loads Mesa's GL driver, which
# keeps two blocks when it is unloaded at exit, and by then the checker can no longer name the
# library to leave them out. The edit mode's own leaks are the in-process tests' to find.
ASAN_OPTIONS="${ASAN_OPTIONS:-}:detect_leaks=0" SDL_AUDIODRIVER=dummy "$demo" --edit "$work/assets" >"$work/out.txt" 2>&1 &
pid=$!
window=
for _ in $(seq 1 300); do
    # Mapped: only a window on the screen can take the keyboard's focus.
    window=$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | head -1)
    [ -n "$window" ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
if [ -z "$window" ]; then
    cat "$work/out.txt"
    echo "FAIL: no window"; exit 1
fi
# Without a window manager there is nothing to activate: the focus is set directly.
xdotool windowactivate --sync "$window" >/dev/null 2>&1 || xdotool windowfocus --sync "$window"

# Each key once the program has taken the one before: the show runs at the screen's rate, so
# one key per frame is plenty; a file is checked once it changed (or after a minute, for a slow
# sanitizer build).
press() { xdotool key --window "$window" --delay 100 "$@"; }
saved_differs() {
    for _ in $(seq 1 600); do
        cmp -s "$work/assets/timeline.txt" "$1" || return 0
        sleep 0.1
    done
    return 1
}
press space F2 Right 0 period 5 Return ctrl+s
if ! saved_differs "$original"; then echo "FAIL: Ctrl+S wrote nothing"; exit 1; fi
[ -n "$shot" ] && import -window "$window" "$shot"
cp "$work/assets/timeline.txt" "$work/edited.txt"
changes=$(diff "$original" "$work/edited.txt" | grep -c '^[<>]')
added=$(diff "$original" "$work/edited.txt" | grep '^>' | head -1)
if [ "$(wc -l <"$original")" -eq "$(wc -l <"$work/edited.txt")" ]; then
    want=2  # one line replaced
else
    want=1  # one line added
fi
if [ "$changes" -ne "$want" ] || ! grep -qE '^> [0-9:.]+[[:space:]]+0\.5([[:space:]]|$)' <<<"$added"; then
    diff "$original" "$work/edited.txt"
    echo "FAIL: not exactly one key line with 0.5"; exit 1
fi
echo "the edit: $added"

press ctrl+z ctrl+s
if ! saved_differs "$work/edited.txt"; then echo "FAIL: the undo was not saved"; exit 1; fi
if ! cmp "$original" "$work/assets/timeline.txt"; then echo "FAIL: not the original bytes"; exit 1; fi
if ! kill -0 "$pid" 2>/dev/null; then echo "FAIL: the program ended early"; exit 1; fi

press Escape
# The window goes as the second Escape goes down: its release finds no window.
press Escape 2>/dev/null
status=0
for _ in $(seq 1 600); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
if kill -0 "$pid" 2>/dev/null; then echo "FAIL: still running after Escape, Escape"; exit 1; fi
wait "$pid" || status=$?
pid=
cat "$work/out.txt"
if [ "$status" -ne 0 ]; then echo "FAIL: exit status $status"; exit 1; fi
echo "passed"
