#!/usr/bin/env bash
# The web page: builds it into build/web/site, serves it on localhost, tests it in headless
# Chromium, or benches it against the native build.
#
#   scripts/web.sh build          the site: page, script, WebAssembly and data, nothing else
#   scripts/web.sh serve [PORT]   serves the site on http://localhost:PORT/ (default 8000)
#   scripts/web.sh test           builds, then runs the browser tests, served and, from the
#                                 unpacked web zip (scripts/package.sh web), opened from the disk
#   scripts/web.sh bench          builds, then the per-scene bench, WebAssembly against native
#                                 (WEB_BENCH_SCALE=S: the page alone at scale S)
#   scripts/web.sh still --row R --out FILE [--keys K] [--scale S]
#                                 the page's still frame at row R as a PNG file, taken once the
#                                 page has marked it drawn (builds the site if there is none)
set -euo pipefail
caller=$(pwd)  # where a still's --out is relative to
cd "$(dirname "$0")/.."
root=$(pwd)
site="$root/build/web/site"
testdir="$root/build/web-test"
# Debian's Emscripten looks for acorn among Node's global modules.
export NODE_PATH=/usr/share/nodejs

build() {
    scripts/setup.sh emscripten node-acorn python3
    scripts/web-deps.sh
    # The data comes from the native generator, as for the demo itself.
    [ -f build/default/build.ninja ] || cmake --preset default >/dev/null
    cmake --build --preset default --target data
    cmake --preset web >/dev/null
    cmake --build --preset web

    rm -rf "$site"
    mkdir -p "$site"
    cp web/index.html web/page.js web/page.css "$site/"
    cp build/web/bin/demo.js build/web/bin/demo.wasm "$site/"
    cp -r build/default/bin/data "$site/data"
    # What the page loads, listed with sizes for its progress bar, and again inside scripts
    # for a page opened from the disk.
    (cd "$site" && find demo.wasm data -type f | LC_ALL=C sort | xargs python3 "$root/scripts/web-embed.py" .)
    echo "web: the site is in ${site#"$root"/} ($(du -sh "$site" | cut -f1))"
}

serve() {
    local port=${1:-8000}
    [ -f "$site/index.html" ] || build
    echo "web: http://localhost:$port/ (Ctrl+C stops)"
    exec python3 -m http.server "$port" --bind 127.0.0.1 --directory "$site"
}

# Node packages of the browser tests: puppeteer-core drives Debian's Chromium (it never
# downloads a browser), pngjs reads the pictures.
test_packages() {
    scripts/setup.sh chromium nodejs
    # Debian's nodejs comes without npm; other builds of Node.js bring their own.
    command -v npm >/dev/null || scripts/setup.sh npm
    mkdir -p "$testdir"
    if ! cmp -s tests/web/package.json "$testdir/package.json" || [ ! -d "$testdir/node_modules" ]; then
        cp tests/web/package.json "$testdir/package.json"
        (cd "$testdir" && PUPPETEER_SKIP_DOWNLOAD=1 npm install --no-audit --no-fund --loglevel=error)
    fi
}

browser_run() {
    cmake --build --preset default --target capture >/dev/null
    test_packages
    (cd "$caller" && PUPPETEER_SKIP_DOWNLOAD=1 NODE_PATH="$testdir/node_modules" \
        node "$root/tests/web/web_test.cjs" --site "$site" --work "$testdir" \
        --capture "$root/build/default/bin/capture" "$@")
}

# The release's web zip (scripts/package.sh web), unpacked for the tests that open the page
# from the disk. Prints the folder.
unpacked_zip() {
    scripts/setup.sh unzip >&2
    scripts/package.sh web >&2
    rm -rf "$testdir/unpacked"
    mkdir -p "$testdir/unpacked"
    (cd "$testdir/unpacked" && unzip -q "$root/dist/demo110-web.zip")
    echo "$testdir/unpacked"
}

case "${1:-}" in
build) build ;;
serve) shift; serve "$@" ;;
test)
    build
    disk=$(unpacked_zip)
    browser_run --tests --disk "$disk"
    ;;
bench) build; browser_run --bench ;;
still)
    shift
    [ -f "$site/index.html" ] || build
    browser_run --still "$@"
    ;;
*)
    echo "usage: scripts/web.sh build | serve [PORT] | test | bench |" \
        "still --row R --out FILE [--keys K] [--scale S]" >&2
    exit 2
    ;;
esac
