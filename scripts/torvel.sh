#!/usr/bin/env bash
# Installs the build dependencies if missing, builds, and runs the program or the tests.
#   torvel.sh run          build and start the program with the simulator
#   torvel.sh test         build and run every test
#   torvel.sh sanitize [SECONDS]  build every test and the fuzz targets with
#                          ASan/UBSan (clang, build-asan/) and run the tests;
#                          given SECONDS, then run each fuzz target that long
#                          on its corpus with the seed TORVEL_FUZZ_SEED (default 1),
#                          CI's short regression fuzzing, repeatable
#   torvel.sh package      build the Debian package build/package/torvel_<version>_<arch>.deb
#   torvel.sh screenshots  remake docs/screenshots/*.png under Xvfb on a fixed simulator scene
#   torvel.sh bench        build (Release) and run every benchmark; writes bench/RESULTS.md
#   torvel.sh soak         build and run the soak tests (CTest label soak, not in the default run)
#   torvel.sh fuzz [SECONDS [TARGET...]]  build the fuzz targets (clang, build-fuzz/) and run
#                          each (or the TARGETs named, e.g. csv_xpd serialreply) for SECONDS
#                          (default 60) on its corpus; findings go to build-fuzz/findings/
#   torvel.sh tsan         build the tests that involve threads with ThreadSanitizer
#                          (clang, build-tsan/) and run them
set -euo pipefail
cd "$(dirname "$0")/.."

# pngcheck and ImageMagick read the images the program writes, independently of it (tests).
packages=(cmake g++ ninja-build pkg-config qt6-base-dev libpng-dev zlib1g-dev libgtest-dev libbenchmark-dev pngcheck python3
    desktop-file-utils appstream help2man libsoapysdr-dev libfftw3-dev imagemagick
    libmosquitto-dev mosquitto mosquitto-clients openssl)

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

# Builds with clang (and ccache when there is one) into a build folder of
# their own: build dir, extra cmake args...
clang_build_dir() {
    local dir=$1
    shift
    # A tree configured earlier with another compiler is made afresh (CMake
    # keeps the compiler of an existing tree).
    if [ -f "$dir/CMakeCache.txt" ] && ! grep -q '^CMAKE_CXX_COMPILER:[A-Z]*=.*clang++' "$dir/CMakeCache.txt"; then
        rm -rf "$dir"
    fi
    local launcher=()
    if command -v ccache >/dev/null; then
        launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
    fi
    CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja "${launcher[@]}" -DTORVEL_BUILD_BENCH=OFF \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g" "$@" >/dev/null
}

# Runs every fuzz target of a fuzzing build (TORVEL_FUZZ) one after the other
# for SECONDS each on its corpus: build dir, seconds. The checked-in seeds are
# read, never written: what a run finds goes to <dir>/corpus/<target>/,
# crashes, hangs, leaks and allocations past the limits to
# <dir>/findings/<target>/. Prints the executions and new units per target.
# Targets named after the seconds are run instead of all. TORVEL_FUZZ_SEED,
# when set, seeds every target's mutations: a run with the same seed and
# corpus tries the same inputs in the same order (CI's regression fuzzing is
# thus repeatable here; a longer run goes further along the same inputs).
run_fuzzers() {
    local dir=$1 seconds=$2 name work findings log
    local fuzzers failed=()
    if (($# > 2)); then
        fuzzers=("${@:3}")
    else
        mapfile -t fuzzers <"$dir/fuzzers.txt"
    fi
    for name in "${fuzzers[@]}"; do
        work="$PWD/$dir/corpus/$name"
        findings="$PWD/$dir/findings/$name"
        log="$dir/fuzz_$name.log"
        mkdir -p "$work" "$findings"
        echo "fuzz_$name: ${seconds} s"
        # -timeout: an input that takes 10 s is a hang; -malloc_limit_mb: one
        # allocation of more than 256 MiB is unbounded (no reader needs it);
        # -rss_limit_mb: the process may not grow past 1 GiB.
        if ! ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS="suppressions=$PWD/fuzz/lsan.supp" \
            UBSAN_OPTIONS=print_stacktrace=1 \
            "$dir/bin/fuzz_$name" -max_total_time="$seconds" -timeout=10 \
            -malloc_limit_mb=256 -rss_limit_mb=1024 -print_final_stats=1 \
            ${TORVEL_FUZZ_SEED:+-seed="$TORVEL_FUZZ_SEED"} \
            -dict="$PWD/fuzz/dict/$name.dict" -artifact_prefix="$findings/" \
            "$work" "$PWD/fuzz/corpus/$name" >"$log" 2>&1; then
            failed+=("$name")
            tail -n 40 "$log"
        fi
        grep -E '^stat::number_of_executed_units|^stat::average_exec_per_sec|^stat::new_units_added' "$log" | tr '\n' ' ' || true
        # Coverage at the start and at the end.
        grep -E 'INITED|DONE' "$log" | sed -E 's/^#[0-9]+[[:space:]]+//; s/ corp:.*//' | tr '\n' ' ' || true
        echo
    done
    if ((${#failed[@]})); then
        echo "fuzzing found faults in: ${failed[*]} (inputs in $dir/findings/)" >&2
        return 1
    fi
    echo "fuzzing: ${#fuzzers[@]} targets, ${seconds} s each, nothing found"
}

# The tests that run more than one thread: the simulator's task thread,
# messages posted from other threads, the whole program and its windows on
# the simulator, the dialogs (Qt's thread pool), the XPD window's worker and
# its controller link. One line per test executable.
tsan_tests=(
    test_simulator
    test_platform
    test_mainframe
    test_wlanwindow
    test_normalanalysis
    test_wlananalysis
    test_libdialogs
    test_xpdlink
    test_xpdanalysis
    test_xpdwindow
    test_zerospananalysis
    test_zerospanwindow
    test_semirealanalysis
    test_realtimeanalysis
    test_spectrogramwindows
    test_medicalanalysis
    test_medicalwindow
)

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
    # PyVISA with its pure-Python backend: the remote-control test drives the
    # program as a lab script does.
    install_deps python3-pyvisa python3-pyvisa-py
    build build
    QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} ctest --test-dir build --output-on-failure -j"$(nproc)"
    ;;
sanitize)
    # One clang tree holds the tests and the fuzz targets, all built with
    # ASan, UBSan and the fuzzer's coverage: the tests (the corpora replayed
    # among them) run first, then, given SECONDS, every fuzz target runs that
    # long on its corpus.
    install_deps clang
    clang_build_dir build-asan -DTORVEL_FUZZ=ON
    cmake --build build-asan -j"$(nproc)"
    ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 QT_QPA_PLATFORM=offscreen \
        ctest --test-dir build-asan --output-on-failure -j"$(nproc)"
    if [ -n "${2:-}" ]; then
        TORVEL_FUZZ_SEED=${TORVEL_FUZZ_SEED:-1} run_fuzzers build-asan "$2"
    fi
    ;;
package)
    # dpkg-shlibdeps (dpkg-dev, which uses file) computes the dependencies;
    # lintian checks the package (CI fails on its errors and warnings).
    install_deps dpkg-dev file lintian
    build build
    rm -rf build/package
    (cd build && cpack -G DEB >/dev/null)
    ls build/package/*.deb
    ;;
screenshots)
    install_deps xvfb xauth
    build build
    # A fixed scene (seeded noise and bursts) so the pictures do not change
    # from one run to the next; a screen at scale 2, so that the pictures are
    # sharp on high-resolution screens (2400 x 1600 pixels each).
    TORVEL_SIM_SPEED=0 TORVEL_SIM_SCENE="$PWD/docs/screenshots/scene.ini" QT_SCALE_FACTOR=2 \
        xvfb-run -a -s "-screen 0 2560x1800x24" build/bin/torvel_screenshots docs/screenshots
    ;;
bench)
    # Xvfb: the whole program measured on a virtual display; perf: its
    # start-up, timed from exec.
    install_deps xvfb linux-perf
    build build -DCMAKE_BUILD_TYPE=Release -DTORVEL_BUILD_BENCH=ON
    python3 bench/results.py build bench/RESULTS.md
    ;;
soak)
    # 100 unplug/replug cycles of the simulator with one window (about two and
    # a half minutes; TORVEL_SOAK_CYCLES changes the number), then all seven
    # window kinds at once under the same fault for TORVEL_SOAK_SECONDS
    # (default 600). The figures are printed.
    install_deps
    build build
    QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} ctest --test-dir build -C Soak -L soak --output-on-failure -V
    ;;
fuzz)
    install_deps clang
    clang_build_dir build-fuzz -DTORVEL_FUZZ=ON -DTORVEL_BUILD_TESTS=OFF
    if (($# > 2)); then
        fuzzers=("${@:3}")
    else
        mapfile -t fuzzers <build-fuzz/fuzzers.txt
    fi
    cmake --build build-fuzz -j"$(nproc)" --target "${fuzzers[@]/#/fuzz_}"
    run_fuzzers build-fuzz "${2:-60}" "${fuzzers[@]}"
    ;;
tsan)
    install_deps clang
    clang_build_dir build-tsan -DTORVEL_TSAN=ON
    cmake --build build-tsan -j"$(nproc)" --target "${tsan_tests[@]}"
    # Races inside Qt (not built with the sanitizer) are suppressed in
    # tests/tsan.supp; any other report fails its test executable, which runs
    # all its tests in one process.
    failed=()
    for t in "${tsan_tests[@]}"; do
        echo "$t"
        if ! TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$PWD/tests/tsan.supp" \
            QT_QPA_PLATFORM=offscreen TORVEL_SIM_SPEED=0 "build-tsan/bin/$t" \
            --gtest_brief=1 >"build-tsan/$t.log" 2>&1; then
            failed+=("$t")
            tail -n 60 "build-tsan/$t.log"
        fi
    done
    if ((${#failed[@]})); then
        echo "ThreadSanitizer: failures or reports in ${failed[*]} (logs in build-tsan/)" >&2
        exit 1
    fi
    echo "ThreadSanitizer: ${#tsan_tests[@]} test executables ran clean"
    ;;
*)
    echo "usage: $0 run|test|sanitize [SECONDS]|package|screenshots|bench|soak|fuzz [SECONDS [TARGET...]]|tsan" >&2
    exit 64
    ;;
esac
