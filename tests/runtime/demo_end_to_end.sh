#!/usr/bin/env bash
# Runs the real demo program headless from a copy of its folder.
#   demo_end_to_end.sh DEMO DATA_DIR full      --headless: plays to the end on its own, exit 0
#   demo_end_to_end.sh DEMO DATA_DIR cutmusic  music cut to a few seconds: still ends at row
#                                              1480, on the timer, exit 0
#   demo_end_to_end.sh DEMO DATA_DIR nomusic   reports the missing music file, exit 1
#   demo_end_to_end.sh DEMO DATA_DIR badmusic  reports a music file that does not decode, exit 1
#   demo_end_to_end.sh DEMO DATA_DIR nowindow  without --headless and without a window system:
#                                              says so and exits 1 at once
set -u
demo=$1 data=$2 mode=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$demo" "$work/demo"
cp -r "$data" "$work/data"

# No graphical session and no audio device: with --headless the demo plays without a picture
# on the silent real-time clock.
unset DISPLAY WAYLAND_DISPLAY
export SDL_AUDIODRIVER=no-such-driver

# The start-up refuses the music: status 1, the stream error with code CODE (a regular
# expression) and a line naming the music file with WHY.
expect_music_failure() {
    local code=$1 why=$2 output status=0
    output=$(timeout 120 "$work/demo" --headless 2>&1) || status=$?
    echo "$output"
    if [ "$status" -ne 1 ]; then echo "FAIL: exit status $status, expected 1"; exit 1; fi
    if ! grep -qE "^error \($code\) while creating stream\$" <<<"$output"; then
        echo "FAIL: no stream error ($code)"; exit 1
    fi
    if ! grep -qF "$work/data/demo110.mp3: $why" <<<"$output"; then
        echo "FAIL: no line naming the music file"; exit 1
    fi
}

case $mode in
full | cutmusic)
    if [ "$mode" = cutmusic ]; then
        head -c 200000 "$data/demo110.mp3" >"$work/data/demo110.mp3"
    fi
    start=$(date +%s)
    timeout 400 "$work/demo" --headless >"$work/out.txt" 2>&1
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
    expect_music_failure '[0-9-]+' "cannot be opened"
    ;;
badmusic)
    head -c 100000 /dev/urandom | tr -d '\377' >"$work/data/demo110.mp3"
    expect_music_failure 41 "is not a music file that can be decoded"
    ;;
nowindow)
    output=$(timeout 60 "$work/demo" 2>&1)
    status=$?
    echo "$output"
    if [ "$status" -ne 1 ]; then echo "FAIL: exit status $status, expected 1"; exit 1; fi
    if ! grep -q -- "--headless" <<<"$output"; then echo "FAIL: no hint at --headless"; exit 1; fi
    ;;
*) echo "unknown mode $mode"; exit 2 ;;
esac
