# Debian source packages, fetched from the configured Debian archive and checked: sourced by
# the scripts that build libraries from Debian's sources (windows-deps.sh, web-deps.sh,
# linux-deps.sh). The caller sets `deps` (its cache folder; sources land in
# $deps/sources/<package>) and `tag` (the name its messages start with).

# apt needs deb-src entries to find source packages. Any that are missing are derived from
# the binary entries already configured (same archives, same suites), so the sources match
# the release the machine runs.
ensure_deb_src() {
    # (Not piped into grep -q: under pipefail the early exit would read as a failure.)
    local known
    known=$(apt-cache showsrc mpg123 2>/dev/null || true)
    case "$known" in *Package:*) return ;; esac
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    local name=/etc/apt/sources.list.d/demo-deb-src
    local tmp
    tmp=$(mktemp -d)
    # deb822 files: every enabled Debian stanza whose Types has "deb" gets a deb-src twin.
    for file in /etc/apt/sources.list.d/*.sources; do
        [ -e "$file" ] && [ "$file" != "$name.sources" ] || continue
        awk 'BEGIN { RS = ""; ORS = "\n\n" }
             /(^|\n)Types:([^\n]*[ \t])?deb([ \t][^\n]*)?(\n|$)/ && /URIs:[^\n]*debian/ &&
             !/(^|\n)Enabled:[ \t]*no/ {
                 sub(/Types:[^\n]*/, "Types: deb-src"); print }' "$file" >>"$tmp/sources"
    done
    # One-line Debian entries.
    for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -e "$file" ] && [ "$file" != "$name.list" ] || continue
        sed -n '/debian/s/^[[:space:]]*deb[[:space:]]/deb-src /p' "$file" >>"$tmp/list"
    done
    local made=0
    if [ -s "$tmp/sources" ]; then $sudo install -m 644 "$tmp/sources" "$name.sources"; made=1; fi
    if [ -s "$tmp/list" ]; then $sudo install -m 644 "$tmp/list" "$name.list"; made=1; fi
    rm -rf "$tmp"
    if [ "$made" = 0 ]; then
        echo "$tag: no Debian archive configured in /etc/apt to take sources from" >&2
        exit 1
    fi
    echo "$tag: enabled source entries ($name.*)"
    $sudo apt-get update -qq
}

# The SHA-256 that a .dsc gives for one of its files.
dsc_sha256() {
    awk -v name="$2" '/^Checksums-Sha256:/ { on = 1; next } /^[^ ]/ { on = 0 }
                      on && $3 == name { print $1 }' "$1"
}

# Downloads the source package into $deps/sources/<package>, newest version first; a version
# whose description or tarballs the mirror does not have is passed over for the next one.
# Prints the .dsc's path.
fetch_source() {
    local package=$1
    local dir="$deps/sources/$package"
    mkdir -p "$dir"
    ensure_deb_src >&2
    local versions
    versions=$(apt-cache showsrc "$package" | awk '/^Version:/ { print $2 }' | sort -rV | uniq)
    [ -n "$versions" ] || { echo "$tag: no source package $package" >&2; return 1; }
    local version dsc
    for version in $versions; do
        dsc="$dir/${package}_${version#*:}.dsc"
        if [ ! -s "$dsc" ]; then
            # Missing signatures (.asc) make apt report failure; what counts is checked below.
            (cd "$dir" && apt-get source --download-only -qq "$package=$version" >/dev/null 2>&1) || true
        fi
        [ -s "$dsc" ] || continue
        if verify_dsc "$dsc"; then
            echo "$dsc"
            return 0
        fi
    done
    echo "$tag: no complete, verified source of $package on the mirror" >&2
    return 1
}

# Every tarball the .dsc names must be there with its checksum; signatures may be missing.
verify_dsc() {
    local dsc=$1 dir name expected actual
    dir=$(dirname "$dsc")
    local names
    names=$(awk '/^Checksums-Sha256:/ { on = 1; next } /^[^ ]/ { on = 0 } on { print $3 }' "$dsc")
    [ -n "$names" ] || return 1
    for name in $names; do
        case "$name" in *.asc) continue ;; esac
        [ -s "$dir/$name" ] || { echo "$tag: $name missing" >&2; return 1; }
        expected=$(dsc_sha256 "$dsc" "$name")
        actual=$(sha256sum "$dir/$name" | cut -d' ' -f1)
        if [ "$expected" != "$actual" ]; then
            echo "$tag: $name: SHA-256 $actual, expected $expected" >&2
            return 1
        fi
    done
    echo "$tag: $(basename "$dsc"): tarballs match their SHA-256" >&2
}

# Unpacks with Debian's patches applied (the checksums were checked by verify_dsc).
unpack_source() {
    local dsc=$1 into=$2
    rm -rf "$into"
    dpkg-source --no-check -x "$dsc" "$into" >/dev/null
}

# A verified download of an earlier run, or a fresh one. Prints the .dsc's path.
source_dsc() {
    local package=$1 existing dsc=""
    for existing in "$deps/sources/$package"/*.dsc; do
        [ -e "$existing" ] && verify_dsc "$existing" 2>/dev/null && dsc=$existing
    done
    [ -n "$dsc" ] || dsc=$(fetch_source "$package") || return 1
    echo "$dsc"
}

# Builds one source package into $prefix once per version: unpacks it under $deps/work and
# hands the source folder to `build_source PACKAGE SOURCE_DIR`, which the caller defines. The
# caller also sets `prefix`.
build_package() {
    local package=$1 dsc=$2 version
    version=$(awk '/^Version:/ { print $2; exit }' "$dsc")
    local stamp="$prefix/.built-$package-$version"
    if [ -e "$stamp" ]; then
        echo "$tag: $package $version already built"
        return
    fi
    echo "$tag: building $package $version"
    local source="$deps/work/$package"
    mkdir -p "$deps/work"
    unpack_source "$dsc" "$source"
    build_source "$package" "$source"
    rm -f "$prefix"/.built-"$package"-*
    touch "$stamp"
    rm -rf "$source" "$deps/work/$package-build"
}

# zlib's library is only its C files: they are compiled directly into $prefix/lib/libz.a (zlib's
# own CMake file also makes a shared library and test programs, which a static build must not
# find). Arguments: the source folder, the C compiler, the archiver and the compiler flags.
build_zlib_archive() {
    local source=$1 cc=$2 ar=$3 flags=$4 file
    local objects="$deps/work/zlib-objects"
    rm -rf "$objects"
    mkdir -p "$objects" "$prefix/lib" "$prefix/include"
    for file in adler32 compress crc32 deflate gzclose gzlib gzread gzwrite infback inffast \
        inflate inftrees trees uncompr zutil; do
        # shellcheck disable=SC2086 # the flags are words
        "$cc" $flags -DHAVE_UNISTD_H -c "$source/$file.c" -o "$objects/$file.o"
    done
    rm -f "$prefix/lib/libz.a"
    "$ar" rcs "$prefix/lib/libz.a" "$objects"/*.o
    cp "$source/zlib.h" "$source/zconf.h" "$prefix/include/"
    rm -rf "$objects"
}
