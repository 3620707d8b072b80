#!/usr/bin/env bash
# The Debian package, end to end: built with CPack in a build directory of its own, its
# contents and control fields checked, lintian run on it (any error or warning fails), the
# desktop entry and AppStream metainfo validated, then installed for real with apt-get,
# Korbelt checked to be no file type's default opener, the installed programs and download-manager scripts
# run on damaged files, and removed again without leaving a file behind.
#
# Installing and removing a package needs root (or sudo); it is meant for a machine that is
# thrown away afterwards, as CI's is: it runs only with CI or KORBELT_PACKAGE_TEST set, and
# leaves alone a machine where korbelt is installed already. PACKAGE_BUILD_DIR chooses the build directory (default build-deb).
set -euo pipefail

cd "$(dirname "$0")/../.."
SOURCE_DIR=$(pwd)
BUILD_DIR=${PACKAGE_BUILD_DIR:-build-deb}
PACKAGES=(cmake ninja-build g++ qt6-base-dev libssl-dev zlib1g-dev fonts-dejavu-core dpkg-dev
          desktop-file-utils appstream file par2 lintian libglib2.0-bin shared-mime-info xdg-utils)
# The id the desktop entry and the metainfo are named by, where CMake has it.
APP_ID=$(sed -n 's/^set(KORBELT_APP_ID \([^ )]*\))$/\1/p' CMakeLists.txt)
[ -n "$APP_ID" ] || { echo "FAIL: no KORBELT_APP_ID in CMakeLists.txt" >&2; exit 1; }
CONTRIB=/usr/share/korbelt/contrib
# shellcheck source=tools/packages.sh
source tools/packages.sh

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

pass() {
    echo "ok: $*"
}

installed() {
    dpkg-query -W -f='${Status}' korbelt 2>/dev/null | grep -q "install ok installed"
}

# Whatever happens, the machine is left without the package.
purge_package() {
    if dpkg-query -W korbelt >/dev/null 2>&1; then
        as_root env DEBIAN_FRONTEND=noninteractive apt-get purge -y korbelt >/dev/null
    fi
}

# Installing and removing a system package is not for a contributor's own machine.
if [ -z "${CI:-}" ] && [ -z "${KORBELT_PACKAGE_TEST:-}" ]; then
    echo "skipped: the package test installs and removes the korbelt package; it runs in CI" \
        "(CI set) or with KORBELT_PACKAGE_TEST=1 tools/dev.sh test"
    exit 77
fi
if [ "$(id -u)" -ne 0 ] && ! command -v sudo >/dev/null 2>&1; then
    echo "skipped: installing the package needs root or sudo"
    exit 77
fi

# A Korbelt that someone installed on purpose is not this test's to replace and remove.
if [ -z "${CI:-}" ] && dpkg-query -W korbelt >/dev/null 2>&1; then
    fail "korbelt is installed here; remove it first, or let CI run this test"
fi

WORK=$(mktemp -d)
cleanup() {
    purge_package || true
    rm -rf "$WORK"
}
trap cleanup EXIT

# Every program run below gets a home of its own: no settings of this machine's user.
export HOME=$WORK/home XDG_CONFIG_HOME=$WORK/home/.config
mkdir -p "$HOME"

# --- build the package -------------------------------------------------------------------
install_missing "${PACKAGES[@]}"
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORBELT_BUILD_TESTS=OFF
cmake --build "$BUILD_DIR"
rm -f "$BUILD_DIR"/korbelt_*.deb
(cd "$BUILD_DIR" && cpack -G DEB)
DEB=$(ls "$SOURCE_DIR/$BUILD_DIR"/korbelt_*.deb)
[ "$(basename "$DEB")" = "korbelt_1.3.2_amd64.deb" ] || fail "package file is $(basename "$DEB")"
MULTIARCH=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
SAMPLE=$SOURCE_DIR/$BUILD_DIR/bin/korbelt-sample
BUILT_CLI=$SOURCE_DIR/$BUILD_DIR/bin/korbelt-cli

# --- what is in it -----------------------------------------------------------------------
field() { dpkg-deb -f "$DEB" "$1"; }
[ "$(field Package)" = korbelt ] || fail "Package: $(field Package)"
[ "$(field Version)" = 1.3.2 ] || fail "Version: $(field Version)"
[ "$(field Section)" = utils ] || fail "Section: $(field Section)"
[[ "$(field Maintainer)" =~ ^[^\<]+\ \<[^@\>]+@[^\>]+\>$ ]] || fail "Maintainer: $(field Maintainer)"
[ "$(field Description | sed -n 1p)" = "repair downloaded files that carry extra bytes" ] ||
    fail "Description: $(field Description | sed -n 1p)"
for dependency in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6; do
    [[ ", $(field Depends)," == *", $dependency ("* ]] || fail "Depends lacks $dependency: $(field Depends)"
done
# The download managers need par2, Korbelt's checksums do not.
[ "$(field Suggests)" = par2 ] || fail "Suggests: $(field Suggests)"
[[ ", $(field Depends)," != *" par2"* ]] || fail "Depends names par2: $(field Depends)"
grep -qF "\"homepage\": \"$(field Homepage)\"," contrib/nzbget/Korbelt/manifest.json ||
    fail "the NZBGet manifest names another home page than the package's $(field Homepage)"
pass "control fields"

# lintian, Debian's own checks of a package: not one error or warning.
lintian --fail-on none "$DEB" >"$WORK/lintian" 2>&1 || fail "lintian did not run: $(cat "$WORK/lintian")"
if grep -E '^[EW]: ' "$WORK/lintian"; then fail "lintian reports the errors and warnings above"; fi
pass "lintian: no error, no warning"

cat >"$WORK/expected-files" <<EOF
./usr/bin/Korbelt
./usr/bin/korbelt -> Korbelt
./usr/bin/korbelt-cli
./usr/lib/$MULTIARCH/korbelt/libkorbscan.so
./usr/share/applications/$APP_ID.desktop
./usr/share/doc/korbelt/README.md
./usr/share/doc/korbelt/changelog.gz
./usr/share/doc/korbelt/copyright
./usr/share/doc/korbelt/docs/scripting.md
./usr/share/doc/korbelt/docs/user-guide.md
./usr/share/icons/hicolor/128x128/apps/korbelt.png
./usr/share/icons/hicolor/16x16/apps/korbelt.png
./usr/share/icons/hicolor/256x256/apps/korbelt.png
./usr/share/icons/hicolor/32x32/apps/korbelt.png
./usr/share/icons/hicolor/48x48/apps/korbelt.png
./usr/share/icons/hicolor/scalable/apps/korbelt.svg
./usr/share/korbelt/contrib/nzbget/Korbelt/main.sh
./usr/share/korbelt/contrib/nzbget/Korbelt/manifest.json
./usr/share/korbelt/contrib/sabnzbd/korbelt.sh
./usr/share/man/man1/Korbelt.1.gz
./usr/share/man/man1/korbelt-cli.1.gz
./usr/share/man/man1/korbelt.1.gz -> Korbelt.1.gz
./usr/share/metainfo/$APP_ID.metainfo.xml
EOF
dpkg-deb -c "$DEB" >"$WORK/listing"
# Files and links only (directories end in a slash); the sixth column on is the name.
awk '$1 !~ /^d/ { $1 = $2 = $3 = $4 = $5 = ""; sub(/^ +/, ""); print }' "$WORK/listing" |
    LC_ALL=C sort >"$WORK/files"
diff -u "$WORK/expected-files" "$WORK/files" || fail "the package holds other files than these"
grep -q '^-rwxr-xr-x .* ./usr/share/korbelt/contrib/nzbget/Korbelt/main.sh$' "$WORK/listing" ||
    fail "the NZBGet script is not executable"
grep -q "^-rw-r--r-- .* ./usr/lib/$MULTIARCH/korbelt/libkorbscan.so\$" "$WORK/listing" ||
    fail "libkorbscan.so is not installed read-only for all"
pass "package contents"

# --- desktop entry and metainfo, as packaged ---------------------------------------------
dpkg-deb -x "$DEB" "$WORK/root"
desktop-file-validate "$WORK/root/usr/share/applications/$APP_ID.desktop"
grep -qx 'Exec=Korbelt %F' "$WORK/root/usr/share/applications/$APP_ID.desktop" ||
    fail "the desktop entry does not hand files to the window"
appstreamcli validate --no-net "$WORK/root/usr/share/metainfo/$APP_ID.metainfo.xml"
# The entry, the metainfo and the icon together, as a software centre reads them.
appstreamcli validate-tree --no-net "$WORK/root"
# The changelog is of the package's version, the licence the MIT licence of the source.
[ "$(dpkg-parsechangelog -l "$WORK/root/usr/share/doc/korbelt/changelog.gz" -S Version)" = 1.3.2 ] ||
    fail "the changelog's latest entry is not 1.3.2"
grep -qx 'License: Expat' "$WORK/root/usr/share/doc/korbelt/copyright" ||
    fail "the copyright file names no Expat (MIT) licence"
grep -qx '  <project_license>MIT</project_license>' "$WORK/root/usr/share/metainfo/$APP_ID.metainfo.xml" ||
    fail "the metainfo names no MIT licence"
for size in 16 32 48 128 256; do
    [[ "$(file "$WORK/root/usr/share/icons/hicolor/${size}x${size}/apps/korbelt.png")" == \
        *"PNG image data, $size x $size,"* ]] || fail "the ${size} pixel icon is not $size x $size"
done
pass "desktop entry, metainfo and icons"

# --- install for real --------------------------------------------------------------------
as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y "$DEB"
installed || fail "korbelt is not installed"
dpkg -L korbelt | LC_ALL=C sort >"$WORK/installed-paths"
[ "$(command -v korbelt-cli)" = /usr/bin/korbelt-cli ] || fail "korbelt-cli is $(command -v korbelt-cli)"
[ "$(korbelt-cli --version)" = "korbelt-cli 1.3.2" ] || fail "korbelt-cli --version: $(korbelt-cli --version)"
[ "$(readlink /usr/bin/korbelt)" = Korbelt ] || fail "korbelt does not lead to Korbelt"
for page in Korbelt korbelt korbelt-cli; do
    zcat "/usr/share/man/man1/$page.1.gz" | grep -q '^\.SH NAME' || fail "no manual page for $page"
done
pass "installed, korbelt-cli --version, a manual page for each program"

# Korbelt is no file type's default opener, also where nothing else opens the type (no video
# player, no archive manager here), neither for GLib's file managers (gio) nor for xdg-open;
# it claims no type, and "Open With" offers it among all the applications.
for type in video/x-msvideo video/mpeg video/x-matroska video/mp4 application/vnd.rar \
            application/zip application/x-7z-compressed application/octet-stream; do
    gio mime "$type" >"$WORK/gio-mime" 2>&1 || true
    if grep -qF "$APP_ID" "$WORK/gio-mime"; then fail "gio: $(cat "$WORK/gio-mime")"; fi
    default=$(xdg-mime query default "$type" 2>&1 || true)
    [[ "$default" != *"$APP_ID"* ]] || fail "xdg-mime query default $type: $default"
done
grep -qF "$APP_ID" /usr/share/applications/mimeinfo.cache 2>/dev/null &&
    fail "the MIME cache of the desktop entries names Korbelt"
grep -Eq '^(NoDisplay|Hidden)=true' "/usr/share/applications/$APP_ID.desktop" &&
    fail "the desktop entry is hidden from the lists of applications"
# And the check would see a claim: the same entry associated with AVI by the user is found.
mkdir -p "$XDG_CONFIG_HOME"
printf '[Added Associations]\nvideo/x-msvideo=%s.desktop;\n' "$APP_ID" >"$XDG_CONFIG_HOME/mimeapps.list"
# (Asked again after a moment where it does not: once in a full CI run, gio listed no
# application right after the package was installed, and did at the next try.)
seen=false
for attempt in 1 2 3; do
    if gio mime video/x-msvideo 2>&1 | grep -qF "$APP_ID"; then seen=true; break; fi
    sleep 2
done
$seen || fail "gio does not see the installed desktop entry: $(gio mime video/x-msvideo 2>&1)"
rm "$XDG_CONFIG_HOME/mimeapps.list"
pass "Korbelt is no file type's default, and in the list of applications"

# The installed page and the installed program's help list the same options.
zcat /usr/share/man/man1/korbelt-cli.1.gz >"$WORK/korbelt-cli.1"
cmake -DPROGRAM=/usr/bin/korbelt-cli -DPAGE="$WORK/korbelt-cli.1" -P "$SOURCE_DIR/cmake/CheckManPage.cmake"
pass "manual page agrees with --help"

# --- the installed korbelt-cli repairs a damaged file ------------------------------------
mkdir -p "$WORK/one" "$WORK/reference" "$WORK/pristine"
"$SAMPLE" "$WORK/pristine/damaged.avi"
cp "$WORK/pristine/damaged.avi" "$WORK/one/damaged.avi"
cp "$WORK/pristine/damaged.avi" "$WORK/reference/damaged.avi"
"$BUILT_CLI" "$WORK/reference/damaged.avi" >/dev/null
(cd / && LD_DEBUG=libs korbelt-cli "$WORK/one/damaged.avi") >"$WORK/one.out" 2>"$WORK/one.err" ||
    fail "the installed korbelt-cli failed: $(cat "$WORK/one.out" "$WORK/one.err")"
# Not beside the program, so found through the RUNPATH $ORIGIN/../lib/MULTIARCH/korbelt.
grep -Eq "calling init: /usr/bin/\.\./lib/$MULTIARCH/korbelt/libkorbscan\.so$" "$WORK/one.err" ||
    fail "the installed korbelt-cli did not load /usr/lib/$MULTIARCH/korbelt/libkorbscan.so"
grep -qx "  91 bytes removed, .*" "$WORK/one.out" || fail "no removal reported: $(cat "$WORK/one.out")"
cmp "$WORK/one/damaged.avi" "$WORK/reference/damaged.avi" || fail "repaired bytes differ"
cmp "$WORK/one/damaged.avi.bak" "$WORK/pristine/damaged.avi" || fail "the backup is not the original"
[ "$(stat -c %s "$WORK/one/damaged.avi")" = 65445 ] || fail "repaired size $(stat -c %s "$WORK/one/damaged.avi")"
[ ! -e "$WORK/one/damaged.avi.\$\$\$" ] || fail "a temporary file was left"
pass "installed korbelt-cli repaired a damaged file"

# --- the installed window starts and stays up until it is ended --------------------------
for launcher in Korbelt korbelt; do
    status=0
    QT_QPA_PLATFORM=offscreen timeout 5 "$launcher" "$WORK/one/damaged.avi" >"$WORK/window.log" 2>&1 ||
        status=$?
    [ "$status" = 124 ] || fail "$launcher ended by itself with $status: $(cat "$WORK/window.log")"
done
pass "the window starts offscreen under both names"

# --- the download managers' scripts ------------------------------------------------------
# A download folder as a manager leaves it: two damaged videos and a clean text file.
make_download() {
    local folder=$1
    rm -rf "$folder"
    mkdir -p "$folder"
    cp "$WORK/pristine/damaged.avi" "$folder/episode 1.avi"
    cp "$WORK/pristine/damaged.avi" "$folder/episode 2.avi"
    printf 'release notes\r\n' >"$folder/notes.nfo"
}

# The folder as the repair leaves it: both videos repaired with their originals kept, the
# text file untouched and without a backup, nothing temporary.
check_repaired() {
    local folder=$1
    for name in "episode 1.avi" "episode 2.avi"; do
        cmp "$folder/$name" "$WORK/reference/damaged.avi" || fail "$folder/$name not repaired"
        cmp "$folder/$name.bak" "$WORK/pristine/damaged.avi" || fail "$folder/$name.bak is not the original"
    done
    [ "$(cat "$folder/notes.nfo")" = $'release notes\r' ] || fail "notes.nfo changed"
    [ "$(ls -A "$folder" | LC_ALL=C sort | tr '\n' '|')" = \
        "episode 1.avi|episode 1.avi.bak|episode 2.avi|episode 2.avi.bak|notes.nfo|" ] ||
        fail "unexpected files in $folder: $(ls -A "$folder")"
}

# The folder untouched: the videos still damaged, no backups.
check_untouched() {
    local folder=$1
    for name in "episode 1.avi" "episode 2.avi"; do
        cmp "$folder/$name" "$WORK/pristine/damaged.avi" || fail "$folder/$name was changed"
    done
    [ "$(ls -A "$folder" | wc -l)" = 3 ] || fail "files appeared in $folder: $(ls -A "$folder")"
}

# Runs a script the way its manager does: a bare environment of its own, no terminal, no
# input, and a time limit that a script waiting for an answer would hit.
run_script() {
    local out=$1
    shift
    local status=0
    timeout 60 env -i PATH=/usr/local/bin:/usr/bin:/bin HOME="$HOME" \
        XDG_CONFIG_HOME="$XDG_CONFIG_HOME" "$@" </dev/null >"$out" 2>&1 || status=$?
    if grep -q '\[y/N\]' "$out"; then
        fail "a script asked a question: $(cat "$out")"
    fi
    return "$status"
}

expect_status() {
    local want=$1 got=$2 what=$3 out=$4
    [ "$got" = "$want" ] || fail "$what ended with $got, not $want: $(cat "$out")"
}

# The last line of a script's output, which says what came of the run.
expect_last_line() {
    local out=$1 want=$2
    [ "$(tail -1 "$out")" = "$want" ] || fail "last line: $(tail -1 "$out"), not: $want"
}

# The whole output of a script that did not get as far as running korbelt-cli.
expect_only_line() {
    local out=$1 want=$2
    [ "$(cat "$out")" = "$want" ] || fail "output: $(cat "$out"), not: $want"
}

# A par2 set made of the download as it was posted, beside it; with recovery blocks, or an
# index alone.
add_par2() {
    local folder=$1 recovery=$2
    mkdir -p "$WORK/posted"
    cp "$WORK/reference/damaged.avi" "$WORK/posted/episode 1.avi"
    cp "$WORK/reference/damaged.avi" "$WORK/posted/episode 2.avi"
    (cd "$WORK/posted" && par2 create -q -q $recovery show.par2 "episode 1.avi" "episode 2.avi")
    cp "$WORK/posted"/*.par2 "$folder/"
    rm -rf "$WORK/posted"
}

# The folder with both videos as posted and nothing else of Korbelt's: no backups.
check_as_posted() {
    local folder=$1
    for name in "episode 1.avi" "episode 2.avi"; do
        cmp "$folder/$name" "$WORK/reference/damaged.avi" || fail "$folder/$name is not as posted"
        [ ! -e "$folder/$name.bak" ] || fail "$folder/$name.bak was kept"
    done
}

# NZBGet 21: a queue script on the event NZB_DOWNLOADED, before NZBGet's own par-check.
NZBGET=$CONTRIB/nzbget/Korbelt/main.sh
DOWNLOAD="$WORK/nzbget/Show.S01E01 [720p]"
nzbget() {
    local folder=$1 event=$2 out=$3
    shift 3
    run_script "$out" "$@" NZBNA_DIRECTORY="$folder" NZBNA_EVENT="$event" \
        NZBNA_NZBNAME="Show.S01E01" NZBNA_CATEGORY=tv NZBNA_NZBID=7 NZBOP_VERSION=21.0 \
        NZBOP_SCRIPTDIR="$CONTRIB/nzbget" "$NZBGET"
}
out=$WORK/nzbget.out
grep -qx '### NZBGET QUEUE SCRIPT  *###' "$NZBGET" && grep -qx '### QUEUE EVENTS: NZB_DOWNLOADED' "$NZBGET" ||
    fail "the NZBGet script has no queue-script header"

make_download "$DOWNLOAD"
add_par2 "$DOWNLOAD" -c0
status=0 && nzbget "$DOWNLOAD/" NZB_DOWNLOADED "$out" || status=$?
expect_status 0 "$status" "NZBGet script on a damaged download with its par2 index" "$out"
check_as_posted "$DOWNLOAD"
expect_last_line "$out" "[INFO] Korbelt: repaired 2 file(s), 2 proven by their checksums"
grep -qxF "[INFO]   verified: matches '$DOWNLOAD/show.par2'" "$out" || fail "no verification logged: $(cat "$out")"
if grep -v '^\[\(INFO\|WARNING\|ERROR\)\] ' "$out"; then fail "log lines without a level"; fi
pass "NZBGet: damaged download repaired and proven, backups dropped, 0"

status=0 && nzbget "$DOWNLOAD" NZB_DOWNLOADED "$out" || status=$?
expect_status 0 "$status" "NZBGet script on the download again" "$out"
check_as_posted "$DOWNLOAD"
grep -qxF "[INFO]   intact: matches '$DOWNLOAD/show.par2'" "$out" || fail "not found intact: $(cat "$out")"
expect_last_line "$out" "[INFO] Korbelt: repaired 0 file(s), 0 proven by their checksums"
pass "NZBGet: an intact download is not touched, 0"

make_download "$DOWNLOAD"
add_par2 "$DOWNLOAD" -c0
status=0 && nzbget "$DOWNLOAD" NZB_DOWNLOADED "$out" NZBPO_DROPVERIFIEDBACKUPS=no || status=$?
expect_status 0 "$status" "NZBGet script keeping the backups" "$out"
cmp "$DOWNLOAD/episode 1.avi.bak" "$WORK/pristine/damaged.avi" || fail "the backup was not kept"
pass "NZBGet: DropVerifiedBackups=no keeps the originals, 0"

make_download "$DOWNLOAD"
status=0 && nzbget "$DOWNLOAD" NZB_DOWNLOADED "$out" || status=$?
expect_status 0 "$status" "NZBGet script on a download without checksums" "$out"
check_repaired "$DOWNLOAD"
expect_last_line "$out" "[INFO] Korbelt: repaired 2 file(s), 0 proven by their checksums"
pass "NZBGet: without checksums repaired as before, backups kept, 0"

rm -rf "$DOWNLOAD" && mkdir -p "$DOWNLOAD"
printf 'clean\n' >"$DOWNLOAD/"$'x\n  9 bytes removed, 9 bytes read, 0 bytes written.'
status=0 && nzbget "$DOWNLOAD" NZB_DOWNLOADED "$out" || status=$?
expect_last_line "$out" "[INFO] Korbelt: repaired 0 file(s), 0 proven by their checksums"
pass "NZBGet: a name that imitates a summary line counts as nothing"

make_download "$DOWNLOAD"
for event in NZB_ADDED FILE_DOWNLOADED NZB_DELETED; do
    status=0 && nzbget "$DOWNLOAD" "$event" "$out" || status=$?
    expect_status 0 "$status" "NZBGet script on $event" "$out"
    expect_only_line "$out" ""
done
check_untouched "$DOWNLOAD"
pass "NZBGet: other events leave the download alone, 0"

mkdir -p "$DOWNLOAD/episode 1.avi.bak/keep"
status=0 && nzbget "$DOWNLOAD" NZB_DOWNLOADED "$out" || status=$?
expect_status 1 "$status" "NZBGet script with a file it cannot repair" "$out"
cmp "$DOWNLOAD/episode 1.avi" "$WORK/pristine/damaged.avi" || fail "the unrepairable file was changed"
cmp "$DOWNLOAD/episode 2.avi" "$WORK/reference/damaged.avi" || fail "the other file was not repaired"
grep -q '^\[WARNING\] korbelt-cli: ' "$out" || fail "no warning logged: $(cat "$out")"
expect_last_line "$out" \
    "[ERROR] Korbelt: not every file could be repaired and proven (korbelt-cli exit status 1)"
pass "NZBGet: a file that cannot be repaired, 1"

status=0 && run_script "$out" NZBNA_EVENT=NZB_DOWNLOADED "$NZBGET" || status=$?
expect_status 1 "$status" "NZBGet script without a directory" "$out"
expect_only_line "$out" "[ERROR] Korbelt: the download's directory (none) does not exist"
status=0 && nzbget "$WORK/nowhere" NZB_DOWNLOADED "$out" || status=$?
expect_status 1 "$status" "NZBGet script on a missing directory" "$out"
expect_only_line "$out" "[ERROR] Korbelt: the download's directory $WORK/nowhere does not exist"
make_download "$DOWNLOAD"
status=0 && nzbget "$DOWNLOAD" NZB_DOWNLOADED "$out" NZBPO_KORBELTCLI=/opt/none/korbelt-cli ||
    status=$?
expect_status 1 "$status" "NZBGet script without korbelt-cli" "$out"
expect_only_line "$out" \
    "[ERROR] Korbelt: cannot run /opt/none/korbelt-cli; install the korbelt package or set KorbeltCli"
check_untouched "$DOWNLOAD"
pass "NZBGet: no directory, a missing one, no korbelt-cli: 1"

# SABnzbd: after its own par2 check; the job's folder and status as arguments and SAB_*.
SABNZBD=$CONTRIB/sabnzbd/korbelt.sh
JOB="$WORK/sabnzbd/Show.S01E02 [720p]"
sabnzbd() {
    local folder=$1 status=$2 out=$3
    run_script "$out" SAB_COMPLETE_DIR="$folder" SAB_PP_STATUS="$status" SAB_CAT=tv \
        SAB_FILENAME="Show.S01E02.nzb" SAB_VERSION=4.3.2 \
        "$SABNZBD" "$folder" "Show.S01E02.nzb" "Show.S01E02" "" tv alt.binaries.test "$status"
}
out=$WORK/sabnzbd.out

for pp in 0 2 -1; do
    make_download "$JOB"
    status=0 && sabnzbd "$JOB" "$pp" "$out" || status=$?
    expect_status 0 "$status" "SABnzbd script on a job of status $pp" "$out"
    expect_only_line "$out" "Korbelt: nothing to do, the job's post-processing status is $pp"
    check_untouched "$JOB"
done
pass "SABnzbd: jobs whose check passed, or whose download failed, are left alone, 0"

# Verification failed: Korbelt repairs with the set deciding, par2 proves the job whole.
make_download "$JOB"
add_par2 "$JOB" -r5
status=0 && sabnzbd "$JOB" 1 "$out" || status=$?
expect_status 0 "$status" "SABnzbd script on a job that failed its check" "$out"
for name in "episode 1.avi" "episode 2.avi"; do
    cmp "$JOB/$name" "$WORK/reference/damaged.avi" || fail "$name not repaired"
done
grep -qxF "  verified: matches '$JOB/show.par2'" "$out" || fail "no verification: $(cat "$out")"
expect_last_line "$out" "Korbelt: repaired; every par2 set of the job now verifies"
pass "SABnzbd: failed check, repaired and proven whole, 0"

# Only the environment, as when the script is started without arguments; no par2 set.
make_download "$JOB"
status=0 && run_script "$out" SAB_COMPLETE_DIR="$JOB" SAB_PP_STATUS=3 "$SABNZBD" || status=$?
expect_status 0 "$status" "SABnzbd script from the environment" "$out"
check_repaired "$JOB"
expect_last_line "$out" "Korbelt: repaired what carried extra bytes; no par2 set to prove the job whole"
pass "SABnzbd: job folder and status from the environment, no par2 set, 0"

# A file broken in a way Korbelt cannot mend and no recovery block for it: still damaged.
make_download "$JOB"
add_par2 "$JOB" -c0
printf 'X' | dd of="$JOB/notes.nfo" conv=notrunc status=none
printf 'Y' | dd of="$JOB/episode 2.avi" bs=1 seek=100 conv=notrunc status=none
status=0 && sabnzbd "$JOB" 1 "$out" || status=$?
expect_status 1 "$status" "SABnzbd script on a job it cannot make whole" "$out"
expect_last_line "$out" "Korbelt: the job is still damaged (korbelt-cli exit status 1, 0 of 1 par2 set(s) whole)"
pass "SABnzbd: a job that stays damaged, 1"

status=0 && run_script "$out" SAB_PP_STATUS=1 "$SABNZBD" || status=$?
expect_status 1 "$status" "SABnzbd script without a directory" "$out"
expect_only_line "$out" "Korbelt: no job directory given; this script is run by SABnzbd"
status=0 && sabnzbd "$WORK/nowhere" 1 "$out" || status=$?
expect_status 1 "$status" "SABnzbd script on a missing directory" "$out"
expect_only_line "$out" "Korbelt: the job's directory $WORK/nowhere does not exist"
make_download "$JOB"
status=0 && run_script "$out" KORBELT_CLI=/opt/none/korbelt-cli SAB_PP_STATUS=1 "$SABNZBD" "$JOB" ||
    status=$?
expect_status 1 "$status" "SABnzbd script without korbelt-cli" "$out"
expect_only_line "$out" \
    "Korbelt: cannot run /opt/none/korbelt-cli; install the korbelt package or set KORBELT_CLI"
check_untouched "$JOB"
pass "SABnzbd: no directory, a missing one, no korbelt-cli: 1"

# --- removed without a trace -------------------------------------------------------------
as_root env DEBIAN_FRONTEND=noninteractive apt-get remove -y korbelt
installed && fail "korbelt is still installed"
while read -r path; do
    # Shared directories such as /usr/share/icons stay; everything of Korbelt's own goes.
    if [ -e "$path" ] || [ -L "$path" ]; then
        [ -d "$path" ] && [ ! -L "$path" ] && [[ "$path" != */korbelt* ]] && continue
        fail "$path is still there after the removal"
    fi
done <"$WORK/installed-paths"
# With no maintainer scripts and no conffiles, dpkg keeps nothing of a removed korbelt to
# purge; whatever it does keep goes now.
if dpkg-query -W korbelt >/dev/null 2>&1; then
    as_root env DEBIAN_FRONTEND=noninteractive apt-get purge -y korbelt
fi
if dpkg-query -W korbelt >/dev/null 2>&1; then fail "dpkg still knows korbelt after the purge"; fi
command -v korbelt-cli >/dev/null && fail "korbelt-cli is still on the PATH"
pass "removed and purged, nothing left"
echo "package test passed"
