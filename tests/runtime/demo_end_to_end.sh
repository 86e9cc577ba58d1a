#!/usr/bin/env bash
# Runs the real demo program headless from a copy of its folder.
#   demo_end_to_end.sh DEMO DATA_DIR full     plays to the end on its own and exits 0
#   demo_end_to_end.sh DEMO DATA_DIR nomusic  reports the missing music file and exits 0
set -u
demo=$1 data=$2 mode=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$demo" "$work/demo"
cp -r "$data" "$work/data"

# No graphical session and no audio device: the demo must fall back to no picture and the
# silent real-time clock.
unset DISPLAY WAYLAND_DISPLAY
export SDL_AUDIODRIVER=no-such-driver

case $mode in
full)
    start=$(date +%s)
    timeout 400 "$work/demo" >"$work/out.txt" 2>&1
    status=$?
    elapsed=$(($(date +%s) - start))
    cat "$work/out.txt"
    if [ "$status" -ne 0 ]; then echo "FAIL: exit status $status"; exit 1; fi
    # 1480 rows are 100.9 s of music; the show must neither stop early nor hang on.
    if [ "$elapsed" -lt 99 ] || [ "$elapsed" -gt 200 ]; then
        echo "FAIL: the show took $elapsed s"; exit 1
    fi
    echo "played to the end in $elapsed s"
    ;;
nomusic)
    rm "$work/data/demo110.mp3"
    output=$(timeout 120 "$work/demo" 2>&1)
    status=$?
    echo "$output"
    if [ "$status" -ne 0 ]; then echo "FAIL: exit status $status"; exit 1; fi
    if ! grep -qE '^error \([0-9-]+\) while creating stream$' <<<"$output"; then
        echo "FAIL: no stream error message"; exit 1
    fi
    ;;
*) echo "unknown mode $mode"; exit 2 ;;
esac
