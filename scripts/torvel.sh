#!/usr/bin/env bash
# Installs the build dependencies if missing, builds, and runs the program or the tests.
#   torvel.sh run          build and start the program with the simulator
#   torvel.sh test         build and run every test
#   torvel.sh sanitize     build with ASan/UBSan into build-asan/ and run every test
#   torvel.sh package      build the Debian package build/package/torvel_<version>_<arch>.deb
#   torvel.sh screenshots  remake docs/screenshots/*.png under Xvfb on a fixed simulator scene
#   torvel.sh bench        build (Release) and run every benchmark; writes bench/RESULTS.md
#   torvel.sh soak         build and run the soak tests (CTest label soak, not in the default run)
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake g++ ninja-build pkg-config qt6-base-dev libpng-dev zlib1g-dev libgtest-dev libbenchmark-dev pngcheck python3
    desktop-file-utils appstream)

install_deps() { # extra packages...
    local missing=()
    for p in "${packages[@]}" "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    if ((${#missing[@]})); then
        echo "Installing: ${missing[*]}"
        local sudo=""
        [ "$(id -u)" -ne 0 ] && sudo="sudo"
        $sudo apt-get update -qq
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
    fi
}

build() { # build dir, extra cmake args...
    local dir=$1
    shift
    cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
    cmake --build "$dir" -j"$(nproc)"
}

mode=${1:-run}
case "$mode" in
run)
    install_deps
    build build
    if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
        echo "Torvel needs a display: none is set (DISPLAY is empty). Run it on a desktop, or with a virtual one: apt-get install -y xvfb && xvfb-run ./scripts/torvel.sh run" >&2
        exit 2
    fi
    mkdir -p run
    cd run
    exec ../build/bin/torvel "${@:2}"
    ;;
test)
    install_deps
    build build
    QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} ctest --test-dir build --output-on-failure -j"$(nproc)"
    ;;
sanitize)
    install_deps
    build build-asan -DTORVEL_SANITIZE=ON -DTORVEL_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug
    ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 QT_QPA_PLATFORM=offscreen \
        ctest --test-dir build-asan --output-on-failure -j"$(nproc)"
    ;;
package)
    # dpkg-shlibdeps (dpkg-dev, which uses file) computes the dependencies.
    install_deps dpkg-dev file
    build build
    rm -rf build/package
    (cd build && cpack -G DEB >/dev/null)
    ls build/package/*.deb
    ;;
screenshots)
    install_deps xvfb xauth
    build build
    # A fixed scene (seeded noise and bursts) so the pictures do not change
    # from one run to the next.
    TORVEL_SIM_SPEED=0 TORVEL_SIM_SCENE="$PWD/docs/screenshots/scene.ini" \
        xvfb-run -a -s "-screen 0 1280x900x24" build/bin/torvel_screenshots docs/screenshots
    ;;
bench)
    install_deps
    build build -DCMAKE_BUILD_TYPE=Release -DTORVEL_BUILD_BENCH=ON
    python3 bench/results.py build bench/RESULTS.md
    ;;
soak)
    # 100 unplug/replug cycles of the simulator (about two and a half minutes);
    # TORVEL_SOAK_CYCLES changes the number. The figures are printed.
    install_deps
    build build
    QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} ctest --test-dir build -C Soak -L soak --output-on-failure -V
    ;;
*)
    echo "usage: $0 run|test|sanitize|package|screenshots|bench|soak" >&2
    exit 64
    ;;
esac
