#!/usr/bin/env bash
# Cross-builds the Windows demo and its tests with MinGW-w64 and runs them under Wine on a
# virtual X screen (1920x1080): the Windows test programs, then the demo itself, once to its
# own end at row 1480 (with a screenshot on the way) from the release zip unpacked into an
# empty folder (scripts/package.sh windows), and once ended by Escape.
#
# Installs what it needs when missing, builds the libraries once (scripts/windows-deps.sh),
# and takes the data directory from the native build (build/default, made if needed).
# Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
started=$(date +%s)

# Wine without its recommended packages: the X, OpenGL (for Direct3D) and software GL driver
# libraries are listed here.
scripts/setup.sh g++-mingw-w64-x86-64-posix libz-mingw-w64-dev dpkg-dev wine wine64 zip unzip \
    xvfb xauth imagemagick libgl1 libgl1-mesa-dri libxrandr2 libxi6 libxcursor1 libxinerama1 \
    libxcomposite1 libxfixes3 libxrender1 libxxf86vm1

echo "== Windows libraries"
scripts/windows-deps.sh

echo "== data directory (native asset generator)"
native=${DEMO_NATIVE_BUILD:-build/default}
if [ "$native" = build/default ]; then
    [ -f build/default/build.ninja ] || cmake --preset default >/dev/null
    cmake --build --preset default --target data >/dev/null
fi
[ -f "$native/bin/data/demo110.mp3" ] || { echo "no data directory in $native/bin" >&2; exit 1; }

echo "== cross build"
cmake --preset windows >/dev/null
cmake --build --preset windows
bin="$root/build/windows/bin"
rm -rf "$bin/data"
cp -r "$native/bin/data" "$bin/data"

# Statically linked: only DLLs that every Windows has.
allowed=" d3d9.dll gdi32.dll kernel32.dll msvcrt.dll shlwapi.dll user32.dll winmm.dll "
for exe in "$bin"/*.exe; do
    for dll in $(x86_64-w64-mingw32-objdump -p "$exe" | awk '/DLL Name:/ { print tolower($3) }'); do
        case "$allowed" in
            *" $dll "*) ;;
            *) echo "$(basename "$exe") needs $dll, which Windows does not ship" >&2; exit 1 ;;
        esac
    done
done
echo "every program needs only: $allowed"

echo "== Windows tests under Wine"
export WINEPREFIX="$root/build/windows/wineprefix"
export WINEDEBUG=-all
# No .NET or HTML engine: their installers would want the network.
export WINEDLLOVERRIDES="mscoree,mshtml="
rm -rf "$WINEPREFIX"

run_under_x() {
    set -euo pipefail
    local bin=$1 shots=$2 unpacked=$3
    local failures=0 passed=0 failed=0

    wineboot -i >/dev/null 2>&1
    # Without a window manager Wine waits two seconds for each hidden managed window to be
    # withdrawn; unmanaged windows need no such wait.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    wineserver -w

    # Wine's ALSA driver reports the missing sound card line by line; the programs' own
    # one-line notice ("no audio output ...") says the same.
    quiet() { grep -v '^ALSA lib' || true; }

    for program in test_windows test_lanes test_display test_render test_scenes test_assets test_runtime; do
        [ -e "$bin/$program.exe" ] || continue
        echo "-- $program"
        local log="$shots/$program.log"
        local status=0
        (cd "$bin" && wine "$program.exe" --gtest_brief=1) >"$log" 2>&1 || status=$?
        quiet <"$log"
        local p f
        p=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) tests\?\..*/\1/p' "$log" | tail -1)
        f=$(sed -n 's/^\[  FAILED  \] \([0-9]*\) tests\?, listed below.*/\1/p' "$log" | tail -1)
        passed=$((passed + ${p:-0}))
        failed=$((failed + ${f:-0}))
        if [ "$status" -ne 0 ]; then
            echo "$program failed (exit $status)"
            failures=$((failures + 1))
            [ -n "$f" ] || failed=$((failed + 1))  # a crash counts as a failure
        fi
    done

    echo "-- demo from the release zip, to its own end"
    local begin end status=0
    # Timed from the start of the program: the music cannot be heard to its end sooner.
    begin=$(date +%s)
    (cd "$unpacked" && wine demo.exe) >"$shots/demo-full.log" 2>&1 &
    local demo=$!
    if wine "$bin/demo_driver.exe" wait 120; then
        # A picture that is not black, at some moment of the show: screenshots every two
        # seconds while it plays, whatever the pace the machine lets it run at.
        local mean=0 bright=no shot=0
        while kill -0 "$demo" 2>/dev/null; do
            shot=$((shot + 1))
            if import -window root "$shots/demo-shot.png" 2>/dev/null; then
                mean=$(convert "$shots/demo-shot.png" -colorspace Gray -format '%[fx:mean]' info:)
                if awk -v m="$mean" 'BEGIN { exit !(m > 0.02) }'; then
                    bright=yes
                    mv "$shots/demo-shot.png" "$shots/demo-bright.png"
                    break
                fi
            fi
            sleep 2
        done
        if [ "$bright" = yes ]; then
            echo "screenshot $shot: $shots/demo-bright.png, mean brightness $mean"
            passed=$((passed + 1))
        else
            echo "the demo showed a black screen in all $shot screenshots"
            failed=$((failed + 1))
        fi
        wait "$demo" || status=$?
        end=$(date +%s)
        quiet <"$shots/demo-full.log"
        # 1480 rows at 44/3 rows per second: 100.9 s of music (whole seconds: at least 100).
        echo "demo ended $((end - begin)) s after it was started, with exit code $status"
        if [ "$status" -eq 0 ] && [ $((end - begin)) -ge 100 ] && [ $((end - begin)) -le 220 ]; then
            passed=$((passed + 1))
        else
            echo "the demo did not end by itself at row 1480"
            failed=$((failed + 1))
        fi
    else
        kill "$demo" 2>/dev/null || true
        wait "$demo" || true
        quiet <"$shots/demo-full.log"
        failed=$((failed + 2))
    fi

    echo "-- demo, ended by Escape"
    status=0
    (cd "$bin" && wine demo.exe) >"$shots/demo-escape.log" 2>&1 &
    demo=$!
    if wine "$bin/demo_driver.exe" wait 120; then
        begin=$(date +%s)
        # Pressed until the window goes (a press during the start-up may come before the demo
        # reads keys); the show itself would end only after 101 s.
        if wine "$bin/demo_driver.exe" escape 60; then
            wait "$demo" || status=$?
            end=$(date +%s)
            echo "demo ended $((end - begin)) s after the first Escape with exit code $status"
            if [ "$status" -eq 0 ]; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
        else
            echo "the demo did not end on Escape"
            kill "$demo" 2>/dev/null || true
            failed=$((failed + 1))
        fi
    else
        kill "$demo" 2>/dev/null || true
        failed=$((failed + 1))
    fi
    wait "$demo" 2>/dev/null || true
    quiet <"$shots/demo-escape.log"
    wineserver -k 2>/dev/null || true

    echo "Windows: $passed passed, $failed failed"
    [ "$failures" -eq 0 ] && [ "$failed" -eq 0 ]
}

shots="$root/build/windows/results"
rm -rf "$shots"
mkdir -p "$shots"

echo "== release zip"
scripts/package.sh windows
unpacked="$root/build/windows/unpacked"
rm -rf "$unpacked"
mkdir -p "$unpacked"
(cd "$unpacked" && unzip -q "$root/dist/demo110-windows.zip")
[ -f "$unpacked/demo.exe" ] && [ -f "$unpacked/data/demo110.mp3" ] && [ -f "$unpacked/demo110.txt" ] &&
    [ -f "$unpacked/demo110.png" ] ||
    { echo "the zip lacks demo.exe, data/, demo110.txt or demo110.png" >&2; exit 1; }
status=0
# xvfb-run goes through sh, which drops exported bash functions: the function travels as text.
xvfb-run -a -s "-screen 0 1920x1080x24" \
    bash -c "$(declare -f run_under_x)"'; run_under_x "$@"' run_under_x "$bin" "$shots" "$unpacked" ||
    status=$?
echo "windows-test: $(($(date +%s) - started)) s"
exit "$status"
