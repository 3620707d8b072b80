#!/usr/bin/env bash
# Korbelt's one entry point for developers and CI.
#
#   tools/dev.sh start   install what is missing, build, start Korbelt
#   tools/dev.sh test    install what is missing, build, run the whole test suite
#
# The whole suite is the CTest suite of the normal build plus every tools/test.d/*.sh; each
# of those installs what it needs itself and fails with a non-zero status. A suite that
# cannot or should not run here ends with status 77 and says why; the summary lists it. The
# package suite installs and removes the system package, so it runs only in CI (CI set) or
# when asked for (KORBELT_PACKAGE_TEST=1).
# BUILD_DIR chooses the build directory (default: build).
set -euo pipefail

cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
PACKAGES=(cmake ninja-build g++ libgtest-dev qt6-base-dev libssl-dev zlib1g-dev fonts-dejavu-core
          fonts-noto-mono par2 cksfv)
# What only the tests use: the real download manager the NZBGet script is tested with, and
# zip, whose archives the structure walkers are tested on.
TEST_PACKAGES=(python3 nzbget zip)
# shellcheck source=tools/packages.sh
source tools/packages.sh

build() {
    cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
    cmake --build "$BUILD_DIR"
}

start() {
    install_missing "${PACKAGES[@]}"
    build
    if [ -x "$BUILD_DIR/bin/Korbelt" ] && [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
        exec "$BUILD_DIR/bin/Korbelt"
    fi
    if [ -x "$BUILD_DIR/bin/Korbelt" ]; then
        echo "No display here for the Korbelt window: korbelt-cli does the same job from a terminal (see README); here it repairs a sample file."
    fi
    local sample
    sample=$(mktemp -d)
    "$BUILD_DIR/bin/korbelt-sample" "$sample/damaged-sample.avi"
    echo "Repairing $sample/damaged-sample.avi:"
    "$BUILD_DIR/bin/korbelt-cli" "$sample/damaged-sample.avi" || true
    ls -l "$sample"
}

run_tests() {
    install_missing "${PACKAGES[@]}" "${TEST_PACKAGES[@]}"
    build
    ctest --test-dir "$BUILD_DIR" --output-on-failure -j "$(nproc)"
    # Further suites that need a build of their own (sanitizers, the package), in name order.
    local skipped=()
    for suite in tools/test.d/*.sh; do
        [ -e "$suite" ] || continue
        echo "== $suite"
        local status=0
        bash "$suite" || status=$?
        if [ "$status" -eq 77 ]; then
            skipped+=("$suite")
        elif [ "$status" -ne 0 ]; then
            exit "$status"
        fi
    done
    if [ ${#skipped[@]} -gt 0 ]; then
        echo "Suites that did not run here (each said why above): ${skipped[*]}"
    fi
}

case "${1:-}" in
    start) start ;;
    test) run_tests ;;
    *)
        echo "usage: tools/dev.sh start|test" >&2
        exit 2
        ;;
esac
