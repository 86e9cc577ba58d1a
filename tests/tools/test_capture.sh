#!/usr/bin/env bash
# The real capture tool, driven as a user would, its files checked with ffprobe.
#   test_capture.sh CAPTURE DATA_DIR clip      1920x1080 H.264 High + AAC of bars 5-6, BT.709
#                                              tags, the right frame count and length, drawn
#                                              at 1440x1080; at --scale 1 the picture doubled
#   test_capture.sh CAPTURE DATA_DIR ringout   from bar 46 to the end: as long as the music,
#                                              the last frame black
#   test_capture.sh CAPTURE DATA_DIR whole     the whole show at 1920x1080, as long as the music,
#                                              at level 4.2 and at least 6 Mbit/s, as video
#                                              sites and party screens ask
# Every video's sound is AAC-LC stereo at 48 kHz and at least 192 kbit/s.
#   test_capture.sh CAPTURE DATA_DIR sigterm   SIGTERM half-way: status 143, no file, no temporary
#   test_capture.sh CAPTURE DATA_DIR frames    --frames counts, refusal without --force
#   test_capture.sh CAPTURE DATA_DIR scale     every kind of file at --scale, bad scales refused
#   test_capture.sh CAPTURE DATA_DIR ffmpeg    a failing ffmpeg: "ffmpeg failed", status 2
#   test_capture.sh CAPTURE DATA_DIR range     rows outside the show refused, --from alone runs
#                                              to the end, progress counts drawn frames only
set -u
capture=$1 data=$2 mode=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1

fail() { echo "FAIL: $*"; exit 1; }

probe() { # probe FILE STREAM ENTRY
    ffprobe -v error -select_streams "$2" -show_entries "stream=$3" -of csv=p=0 "$1"
}

# Only the final file may be left in the folder.
only() {
    local left
    left=$(ls -A)
    [ "$left" = "$1" ] || fail "folder holds: $(echo $left)"
}

# WIDTHxHEIGHT from a PNG's header.
png_size() {
    od -An -tu1 -j16 -N8 "$1" | awk '{ print $1 * 16777216 + $2 * 65536 + $3 * 256 + $4 "x" \
        $5 * 16777216 + $6 * 65536 + $7 * 256 + $8 }'
}

# Bright pixels in the first frame of a video, as "BORDER PICTURE": those outside and those
# inside the rectangle LEFT TOP WIDTH HEIGHT; the 4 pixels either side of its edge, where the
# chroma of 4:2:0 bleeds across, count as neither.
#   bright_pixels FILE FRAME_WIDTH LEFT TOP WIDTH HEIGHT
bright_pixels() {
    ffmpeg -v error -i "$1" -frames:v 1 -f rawvideo -pix_fmt gray - |
        od -An -tu1 -v -w"$2" | awk -v l="$3" -v t="$4" -v w="$5" -v h="$6" '
        { inside = NR > t + 4 && NR <= t + h - 4; near = NR > t - 4 && NR <= t + h + 4
          for (i = 1; i <= NF; i++) {
              if ($i <= 17) continue
              if (inside && i > l + 4 && i <= l + w - 4) picture++
              else if (!near || i <= l - 4 || i > l + w + 4) border++
          } }
        END { print border + 0, picture + 0 }'
}

# The progress lines of err.txt count WHAT's N drawn frames, up to all of them:
#   drawn_only WHAT N
drawn_only() {
    grep -q "^$1: $2/$2 frames (100%)" err.txt || { cat err.txt; fail "$1: no line for all $2"; }
    if grep "^$1: [0-9]*/" err.txt | grep -qv "^$1: [0-9]*/$2 frames"; then
        cat err.txt
        fail "$1 counts frames it did not draw"
    fi
}

# Seconds within a tolerance: near A B TOLERANCE
near() { awk -v a="$1" -v b="$2" -v t="$3" 'BEGIN { d = a - b; exit !(d <= t && -d <= t) }'; }

check_video() { # check_video FILE WIDTH HEIGHT
    [ "$(probe "$1" v:0 codec_name)" = h264 ] || fail "video codec $(probe "$1" v:0 codec_name)"
    [ "$(probe "$1" v:0 width,height)" = "$2,$3" ] || fail "size $(probe "$1" v:0 width,height)"
    [ "$(probe "$1" v:0 pix_fmt)" = yuv420p ] || fail "pixel format $(probe "$1" v:0 pix_fmt)"
    local colour
    colour=$(probe "$1" v:0 color_range,color_space,color_transfer,color_primaries)
    [ "$colour" = "tv,bt709,bt709,bt709" ] || fail "colour tags $colour"
    local sound
    sound=$(probe "$1" a:0 codec_name,profile,sample_rate,channels)
    [ "$sound" = "aac,LC,48000,2" ] || fail "sound: $sound, not aac,LC,48000,2"
    [ "$(probe "$1" a:0 bit_rate)" -ge 192000 ] || fail "sound at $(probe "$1" a:0 bit_rate) bit/s"
}

# H.264 at level 4.2 or below: level_idc 42.
level_at_most_42() {
    [ "$(probe "$1" v:0 level)" -le 42 ] || fail "level $(probe "$1" v:0 level), not 42 or below"
}

case $mode in
clip)
    # Bars 5 and 6 are rows 128 to 192: at 30 frames/s frames 262 to 392, 131 frames, 4.367 s.
    # (superfast keeps the tools of the High profile, which ultrafast leaves out.)
    "$capture" --data "$data" --video v.mp4 --size 1920x1080 --from 5:1 --to=7:1 --fps 30 \
        --preset superfast 2>err.txt || { cat err.txt; fail "capture failed"; }
    # The 262 frames before bar 5 are neither drawn, counted nor timed.
    drawn_only video 131
    grep -q "^video: 131 frames in " err.txt || { cat err.txt; fail "no rate of 131 frames"; }
    rm err.txt
    only v.mp4
    check_video v.mp4 1920 1080
    [ "$(probe v.mp4 v:0 profile)" = High ] || fail "profile $(probe v.mp4 v:0 profile)"
    level_at_most_42 v.mp4
    frames=$(ffprobe -v error -count_frames -select_streams v:0 -show_entries \
        stream=nb_read_frames -of csv=p=0 v.mp4)
    [ "$frames" = 131 ] || fail "$frames frames, not 131"
    audio=$(probe v.mp4 a:0 duration)
    near "$audio" 4.367 0.05 || fail "the music lasts $audio s, not 4.367"
    # Drawn at the largest scale that fits, 2.25: 1440x1080 between black borders of 240.
    set -- $(bright_pixels v.mp4 1920 240 0 1440 1080)
    [ "$1" -eq 0 ] || fail "$1 bright pixels in the black border"
    [ "$2" -gt 1000 ] || fail "the picture is dark ($2 bright pixels)"
    # All of the picture is drawn, not a corner: its right half is not dark.
    set -- $(bright_pixels v.mp4 1920 960 0 720 1080)
    [ "$2" -gt 1000 ] || fail "the picture's right half is dark ($2 bright pixels)"
    # At --scale 1 the 640x480 picture is doubled and centred: borders of 320 and 60.
    "$capture" --data "$data" --video v1.mp4 --scale 1 --size 1920x1080 --from 5:1 --to 5:2 \
        --fps 10 --preset ultrafast 2>/dev/null || fail "capture at --scale 1 failed"
    check_video v1.mp4 1920 1080
    set -- $(bright_pixels v1.mp4 1920 320 60 1280 960)
    [ "$1" -eq 0 ] || fail "$1 bright pixels in the black border at --scale 1"
    [ "$2" -gt 1000 ] || fail "the picture at --scale 1 is dark ($2 bright pixels)"
    rm v1.mp4
    echo "1920x1080 clip: 131 frames, music $audio s"
    ;;
ringout | whole)
    # Decoded, as the demo plays it: the container's duration counts the encoder's padding.
    music_length=$(ffmpeg -v error -i "$data/demo110.mp3" -f s16le -ac 2 -ar 44100 - | wc -c |
        awk '{ print $1 / 4 / 44100 }')
    if [ "$mode" = ringout ]; then
        # Row 1440 at 15 frames/s: frame 1473, 98.2 s.
        seconds=$(awk -v m="$music_length" 'BEGIN { print m - 1473 / 15 }')
        args=(--from 46:1 --fps 15)
    else
        seconds=$music_length
        # The encoder's speed setting and the frame rate change nothing that is checked here:
        # the level follows from the size, the rate and the peaks, the bitrate is an average
        # asked for (0.08 bits a pixel), and at 30 frames/s a frame is 0.033 s, within the
        # 0.05 s the lengths must agree to; half the frames of 60 halve the suite's longest test.
        args=(--size 1920x1080 --preset ultrafast --fps 30)
    fi
    start=$(date +%s)
    "$capture" --data "$data" --video v.mp4 "${args[@]}" || fail "capture failed"
    echo "captured in $(($(date +%s) - start)) s"
    only v.mp4
    check_video v.mp4 "$([ "$mode" = whole ] && echo 1920 || echo 640)" \
        "$([ "$mode" = whole ] && echo 1080 || echo 480)"
    video=$(probe v.mp4 v:0 duration)
    audio=$(probe v.mp4 a:0 duration)
    tolerance=$([ "$mode" = whole ] && echo 0.05 || echo 0.1)
    near "$video" "$seconds" "$tolerance" || fail "the video lasts $video s, not $seconds"
    near "$audio" "$seconds" 0.05 || fail "the music lasts $audio s, not $seconds"
    if [ "$mode" = whole ]; then
        level_at_most_42 v.mp4
        rate=$(probe v.mp4 v:0 bit_rate)
        # 0.08 bits a pixel at 1920x1080 and 30 frames/s: 5 Mbit/s, of which 60 % at least.
        [ "$rate" -ge 3000000 ] || fail "the video averages $rate bit/s, below 3 Mbit/s"
        echo "level $(probe v.mp4 v:0 level), $rate bit/s, sound $(probe v.mp4 a:0 bit_rate) bit/s"
    fi
    # Faded out: the last frame is black (limited range: 16).
    ffmpeg -v error -sseof -0.5 -i v.mp4 -update 1 -f image2 -pix_fmt gray last.pgm
    brightest=$(tail -c 307200 last.pgm | od -An -tu1 -v | tr -s ' ' '\n' | sort -n | tail -1)
    [ "$brightest" -le 17 ] || fail "the last frame is not black (up to $brightest)"
    echo "video $video s, music $audio s, expected $seconds s"
    ;;
sigterm)
    "$capture" --data "$data" --video v.mp4 --fps 30 2>err.txt &
    pid=$!
    # Stop it once it has written a tenth of the frames and ffmpeg has made its file (waited
    # for, up to five minutes on a slow machine).
    for _ in $(seq 3000); do
        grep -q "(10%)" err.txt && ls -A | grep -q part && break
        sleep 0.1
    done
    ls -A | grep -q part || { cat err.txt; fail "no temporary file while running"; }
    kill -TERM "$pid"
    wait "$pid"
    status=$?
    cat err.txt
    [ "$status" -eq 143 ] || fail "exit status $status, not 143"
    rm err.txt
    # An ffmpeg left running would still write: none may outlive the tool (its command line
    # names the temporary file, which carries the tool's process id).
    if grep -qsa "[.]part-$pid[.]" /proc/[0-9]*/cmdline; then fail "ffmpeg outlived the tool"; fi
    only ""
    echo "stopped with 143, nothing left"
    ;;
frames)
    # Bar 1 at 10 frames/s: rows 0 to 32, frames 0 to 21.
    "$capture" --data "$data" --frames out --fps 10 --to 2:1 || fail "capture failed"
    [ "$(ls -A out | wc -l)" -eq 22 ] || fail "$(ls -A out | wc -l) files, not 22"
    [ -f out/frame00021.png ] || fail "no frame00021.png"
    # A folder with frames is refused, nothing touched.
    touch out/frame99999.png
    output=$("$capture" --data "$data" --frames out --fps 10 --to 1:2 2>&1)
    status=$?
    [ "$status" -eq 2 ] || fail "exit status $status, not 2"
    echo "$output" | grep -q "already holds 23 frameNNNNN.png files" || fail "said: $output"
    [ "$(ls -A out | wc -l)" -eq 23 ] || fail "the refused run changed the folder"
    # --force replaces them: rows 1440 to 1448 (46:1 to 46:2) are frames 982 to 987.
    "$capture" --data "$data" --frames out --force --fps=10 --from 1440 --to 46:2 ||
        fail "capture --force failed"
    [ "$(ls -A out | wc -l)" -eq 6 ] || fail "$(ls -A out | wc -l) files, not 6"
    [ -f out/frame00005.png ] || fail "no frame00005.png"
    # Stopped while several frames are being encoded at once: what was renamed stays whole,
    # no temporary frame is left.
    "$capture" --data "$data" --frames out2 --threads 3 --fps 60 2>err.txt &
    pid=$!
    for _ in $(seq 3000); do
        [ "$(ls out2 2>/dev/null | grep -c '^frame')" -ge 30 ] && break
        sleep 0.1
    done
    [ "$(ls out2 2>/dev/null | grep -c '^frame')" -ge 30 ] ||
        { kill -TERM "$pid"; fail "30 frames were not written in five minutes"; }
    kill -TERM "$pid"
    wait "$pid"
    status=$?
    [ "$status" -eq 143 ] || { cat err.txt; fail "exit status $status, not 143"; }
    if ls -A out2 | grep -q part; then fail "temporary frames left: $(ls -A out2 | grep part)"; fi
    for png in out2/frame*.png; do
        # Every PNG ends with its IEND chunk and that chunk's CRC.
        [ "$(tail -c 8 "$png" | od -An -tx1 | tr -d ' \n')" = 49454e44ae426082 ] ||
            fail "$png is not whole"
    done
    # Frames drawn several at once are those of one thread, byte for byte: the discs that fall
    # and respawn in bars 2 to 5 (the frames before are only advanced) and the flower after.
    "$capture" --data "$data" --frames one --threads 1 --fps 15 --from 2:1 --to 6:2 2>/dev/null &&
        "$capture" --data "$data" --frames three --threads 3 --fps 15 --from 2:1 --to 6:2 2>/dev/null ||
        fail "capture of bars 2 to 6 failed"
    [ "$(ls one | wc -l)" -eq 139 ] || fail "$(ls one | wc -l) frames, not 139"
    for png in one/*.png; do
        cmp -s "$png" "three/${png#one/}" || fail "${png#one/} differs with three threads"
    done
    # Rendering alone writes nothing and ends with the rate of the range it rendered.
    before=$(ls -A | wc -l)
    "$capture" --data "$data" --render-only --fps 10 --from 1440 --to 46:2 2>err.txt ||
        fail "render-only failed"
    grep -q "^render: 6 frames in .* frames/s, .*x real time$" err.txt || { cat err.txt; fail "no rate"; }
    [ "$(ls -A | wc -l)" -eq "$before" ] || fail "render-only wrote something"
    echo "22 frames, refused, then 6 frames; stopped with $(ls out2 | wc -l) whole frames"
    ;;
scale)
    # One frame, as PNG and as raw floats (four a pixel), at a scale of the 640x480 picture.
    "$capture" --data "$data" --row 600 --png a.png --scale 2 || fail "--png at --scale 2 failed"
    [ "$(png_size a.png)" = 1280x960 ] || fail "--scale 2 PNG is $(png_size a.png)"
    "$capture" --data "$data" --row 600 --raw=a.f32 --scale=1.5 || fail "--raw at 1.5 failed"
    [ "$(stat -c %s a.f32)" -eq $((960 * 720 * 16)) ] || fail "raw file of $(stat -c %s a.f32) bytes"
    # Frames from the frame farm, the contact sheet (thumbnails a quarter of the frame each
    # way, two on the sheet) and the bench's first line.
    "$capture" --data "$data" --frames out --scale 1.5 --threads 2 --fps 10 --from 17:1 \
        --to 17:2 2>/dev/null || fail "--frames at --scale 1.5 failed"
    for png in out/*.png; do
        [ "$(png_size "$png")" = 960x720 ] || fail "$png is $(png_size "$png")"
    done
    "$capture" --data "$data" --contact-sheet sheet.png --scale 2 --from 17:1 --to 21:1 \
        2>/dev/null || fail "--contact-sheet at --scale 2 failed"
    [ "$(png_size sheet.png)" = 1920x240 ] || fail "the sheet is $(png_size sheet.png)"
    line=$("$capture" --data "$data" --bench --scale 2.25 --threads 1 --fps 10 --from 17:1 \
        --to 17:2 2>/dev/null | head -1)
    [ "$line" = "1440x1080 (scale 2.25), 1 thread" ] || fail "the bench begins \"$line\""
    # Scales not offered, and a video frame smaller than the picture: one line, status 2,
    # nothing written.
    rm -r a.png a.f32 out sheet.png
    for args in "--row 600 --png a.png --scale 2.33" "--row 600 --png a.png --scale 0.5" \
        "--row 600 --png a.png --scale 5" "--row 600 --png a.png --scale auto" \
        "--row 600 --png a.png --scale=" "--video v.mp4 --scale 3 --size 1920x1080"; do
        output=$("$capture" --data "$data" $args 2>&1)
        status=$?
        [ "$status" -eq 2 ] || fail "$args: exit status $status, not 2"
        [ "$(echo "$output" | wc -l)" -eq 1 ] || fail "$args: said more than a line: $output"
        case $args in
        *--size*) expected="is smaller than the picture's 1920x1440 at --scale 3" ;;
        *) expected="--scale takes 1 to 4.5 in steps of 0.05" ;;
        esac
        case $output in *"$expected"*) ;; *) fail "$args: said $output" ;; esac
    done
    only ""
    echo "PNG, raw, frames, sheet and bench at their scales; bad scales refused"
    ;;
ffmpeg)
    mkdir bin
    printf '#!/bin/sh\necho "first line" >&2\necho "no encoder here" >&2\nexit 1\n' >bin/ffmpeg
    chmod +x bin/ffmpeg
    output=$(PATH="$work/bin:$PATH" "$capture" --data "$data" --video v.mp4 --to 1:2 2>&1)
    status=$?
    echo "$output"
    [ "$status" -eq 2 ] || fail "exit status $status, not 2"
    echo "$output" | grep -q "^capture: ffmpeg failed (.*exit status 1: no encoder here)$" ||
        fail "no ffmpeg failure message"
    only bin
    ;;
range)
    # Rows outside the show: one line naming the range, status 2, nothing written.
    for args in "--row -1 --png a.png" "--row 1480 --raw a.f32" "--frames out --from 47:2" \
        "--bench --from=-0.5" "--render-only --to 1480.5" "--contact-sheet s.png --to 48:1"; do
        output=$("$capture" --data "$data" $args 2>&1)
        status=$?
        [ "$status" -eq 2 ] || fail "$args: exit status $status, not 2"
        [ "$(echo "$output" | wc -l)" -eq 1 ] || fail "$args: said more than a line: $output"
        case $args in
        *--to*) expected="takes a row from 0 to 1480 (the show's end), not" ;;
        *) expected="takes a row from 0 to 1480 (the show's end, excluded), not" ;;
        esac
        case $output in *"$expected"*) ;; *) fail "$args: said $output" ;; esac
    done
    only ""
    # --from alone runs to the show's end in every mode that takes a range. Rows 1464 (46:4)
    # to 1480 at 10 frames/s are frames 999 to 1009: 11 drawn, and only they are counted.

    "$capture" --data "$data" --frames out --fps 10 --from 46:4 2>err.txt ||
        fail "--frames failed"
    [ "$(ls out | wc -l)" -eq 11 ] && [ -f out/frame00010.png ] ||
        fail "$(ls out | wc -l) frames, not 11"
    drawn_only frames 11
    [ "$(tail -1 err.txt | cut -d' ' -f1-4)" = "frames: 11 frames in" ] ||
        fail "rate: $(tail -1 err.txt)"
    "$capture" --data "$data" --render-only --fps 10 --from 46:4 2>err.txt ||
        fail "--render-only failed"
    drawn_only render 11
    "$capture" --data "$data" --bench --fps 10 --from 46:4 --threads 1 >out.txt 2>err.txt ||
        fail "--bench failed"
    drawn_only bench 11
    [ "$(awk '$1 == "empty" { print $2 }' out.txt)" = 11 ] || fail "bench: $(cat out.txt)"
    # Bars 40 to 46, a picture each: 7 on the sheet, two rows of thumbnails.
    "$capture" --data "$data" --contact-sheet s.png --fps 10 --from 40:1 --sheet-bars 1 \
        2>err.txt || fail "--contact-sheet failed"
    [ "$(png_size s.png)" = 960x240 ] || fail "the sheet is $(png_size s.png)"
    drawn_only "contact sheet" 7
    echo "rows outside refused; --from alone reaches the end; only drawn frames counted"
    ;;
*)
    fail "unknown mode $mode"
    ;;
esac
echo PASS
