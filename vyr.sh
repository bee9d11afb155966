#!/usr/bin/env bash
# Builds, tests and demonstrates the Vyr plug-ins on Debian 12.
#
#   ./vyr.sh deps    install the Debian packages below that are missing (CI runs this first)
#   ./vyr.sh demo    install what is missing, build, render the demo into demo/
#   ./vyr.sh test    install what is missing, build (64-bit, 32-bit, sanitizers), run every test
#   ./vyr.sh tsan    build with ThreadSanitizer (clang) and run the two-thread test of both faces
#   ./vyr.sh fuzz [SECONDS]  build the libFuzzer targets (clang) and run each for SECONDS (default 60)
#   ./vyr.sh build   install what is missing, build build/ (plug-ins in build/plugins/)
#   ./vyr.sh package install what is missing, build, make the Debian package build/vyr_<version>_amd64.deb
#   ./vyr.sh docs    install what is missing, build, write the plug-in pages docs/<Name>.md and their pictures
#   ./vyr.sh format  lay the C++ sources out as .clang-format says
#   ./vyr.sh tidy    run clang-tidy with .clang-tidy's checks (also part of test)
#   ./vyr.sh bench   build and print the frame-rate table (options: --frames N --only PLUGIN --isa LIST)
#   ./vyr.sh bench --hosts [FRAMES]   the same cases inside ffmpeg and melt
set -euo pipefail
cd "$(dirname "$0")"

# Everything the commands below need on a fresh Debian 12 machine; CI
# installs exactly this list.
PACKAGES=(
  cmake make g++ g++-multilib binutils pkgconf
  googletest libgtest-dev libbenchmark-dev
  frei0r-plugins-dev ffmpeg
  clang libclang-rt-14-dev libomp-14-dev clang-format clang-tidy
  libavformat-dev libavcodec-dev libavfilter-dev libswscale-dev libavutil-dev libpng-dev libcli11-dev
  nlohmann-json3-dev libavdevice-dev libsdl2-dev libsdl2-ttf-dev fonts-dejavu-core liblo-dev libasound2-dev
  # the Debian package and the hosts that must find it once installed
  dpkg-dev file lintian help2man melt
  gstreamer1.0-tools gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-bad
  # the Gem example patches, run headless
  puredata-core gem gem-plugin-gmerlin xvfb xauth libgl1-mesa-dri
)

jobs=$(nproc 2>/dev/null || echo 2)

log() { printf '\n== %s\n' "$*" >&2; }

install_packages() {
  local missing=()
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  log "installing ${missing[*]}"
  local sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null
}

configure_and_build() {
  local dir=$1
  shift
  log "building $dir ($*)"
  cmake -S . -B "$dir" -Wno-dev "$@" >/dev/null
  cmake --build "$dir" -j"$jobs"
}

# Builds only the given targets of a clang build (ThreadSanitizer, fuzzing).
configure_and_build_clang() {
  local dir=$1 targets=$2
  shift 2
  log "building $dir with clang ($*)"
  CC=clang CXX=clang++ cmake -S . -B "$dir" -Wno-dev "$@" >/dev/null
  # shellcheck disable=SC2086
  cmake --build "$dir" -j"$jobs" --target $targets
}

# The C++ sources of the tree.
source_files() {
  find framework particles plugins frei0r tests bench tools \( -name '*.cpp' -o -name '*.h' -o -name '*.c' \) -type f |
    sort
}

# clang-tidy with .clang-tidy's checks over the plug-ins, the framework and
# the host programs, compiled as build-tidy/ would compile them. The tests
# are left out: their assertion macros make the analysis many times slower.
run_tidy() {
  log "clang-tidy over the plug-ins, the framework and the host programs"
  cmake -S . -B build-tidy -Wno-dev -DCMAKE_EXPORT_COMPILE_COMMANDS=ON -DVYR_TESTS=OFF >/dev/null
  local out rc=0
  out=$(grep -o '"file": *"[^"]*"' build-tidy/compile_commands.json | sed 's/.*"\([^"]*\)"$/\1/' |
    grep -E "^$PWD/(framework|particles|plugins|frei0r|tools)/" | sort -u |
    xargs -P"$jobs" -n4 clang-tidy -p build-tidy --quiet 2>/dev/null) || rc=$?
  if [ "$rc" -eq 0 ]; then
    echo "clang-tidy: no findings"
    passed=$((passed + 1))
  else
    printf '%s\n' "$out" | grep -E 'error:|warning:' | sort -u
    echo "clang-tidy: findings above"
    failed=$((failed + 1))
  fi
}

passed=0
failed=0
run_tests() {
  local dir=$1 out rc=0
  shift
  log "testing $dir $*"
  out=$(ctest --test-dir "$dir" --output-on-failure -j"$jobs" "$@" 2>&1) || rc=$?
  printf '%s\n' "$out" | tail -n 40
  local total bad
  total=$(printf '%s\n' "$out" | sed -n 's/.*tests failed out of \([0-9]*\).*/\1/p' | tail -n 1)
  bad=$(printf '%s\n' "$out" | sed -n 's/.* \([0-9]*\) tests failed out of.*/\1/p' | tail -n 1)
  total=${total:-0}
  bad=${bad:-0}
  [ "$rc" -eq 0 ] || [ "$bad" -gt 0 ] || bad=1
  passed=$((passed + total - bad))
  failed=$((failed + bad))
}

make_package() {
  log "making the Debian package"
  (cd build && cpack >/dev/null)
  ls build/vyr_*_amd64.deb
}

# Installs the package into this machine, runs it in every host and removes
# it again: only as root, and only where no vyr package is installed.
package_check() {
  if [ "$(id -u)" -ne 0 ]; then
    log "package check skipped: installing a package needs root"
    return 0
  fi
  local deb rc=0
  deb=$(make_package) || rc=$?
  [ "$rc" -ne 0 ] || tests/package_check.sh "$deb" || rc=$?
  if [ "$rc" -eq 0 ]; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
}

run_tsan() {
  configure_and_build_clang build-tsan test_threads -DVYR_TSAN=ON -DCMAKE_BUILD_TYPE=Debug -DVYR_TOOLS=OFF
  run_tests build-tsan -R two_threads_under_thread_sanitizer
}

# The Gem example patches in Pd + Gem under Xvfb.
gem_check() {
  log "Gem example patches"
  if tests/gem_check.sh . build/frei0r build/bin/vyrhost; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
}

FUZZ_PLUGINS=(VyrSnowSpecks1 VyrGlobHeap1 VyrGlobSwirl1 VyrBrushDrift1)

# Runs every fuzz target for the given number of seconds, from the seed
# inputs in tests/fuzz/corpus/ plus what earlier runs found (kept in
# build-fuzz/corpus/). Any crash, sanitizer report, broken promise, leak,
# hang (10 s per input) or memory blow-up (2 GB) counts as a failure; the
# input that caused it is kept in build-fuzz/findings/.
run_fuzz() {
  local seconds=$1 name out rc
  local targets=("${FUZZ_PLUGINS[@]/#/fuzz_}")
  configure_and_build_clang build-fuzz "${targets[*]}" -DVYR_FUZZ=ON -DCMAKE_BUILD_TYPE=Release -DVYR_TOOLS=OFF \
    -DVYR_FREI0R=OFF
  for name in "${FUZZ_PLUGINS[@]}"; do
    log "fuzzing $name for $seconds s"
    mkdir -p "build-fuzz/corpus/$name" build-fuzz/findings
    rc=0
    # Notices of refused calls go to standard error by design: closed
    # (-close_fd_mask=2), while libFuzzer and the sanitizers still report.
    out=$(OMP_WAIT_POLICY=passive "build-fuzz/tests/fuzz/fuzz_$name" -max_total_time="$seconds" -close_fd_mask=2 \
      -print_final_stats=1 -max_len=2048 -len_control=0 -timeout=10 -rss_limit_mb=2048 \
      -artifact_prefix="build-fuzz/findings/$name-" "build-fuzz/corpus/$name" "tests/fuzz/corpus/$name" 2>&1) || rc=$?
    # The whole output stays beside the findings for a closer look.
    printf '%s\n' "$out" >"build-fuzz/$name.log"
    local edges cov ft runs calls
    edges=$(printf '%s\n' "$out" | sed -n 's/.*Loaded 1 modules *(\([0-9]*\) inline.*/\1/p' | head -n 1)
    cov=$(printf '%s\n' "$out" | sed -n 's/.* cov: \([0-9]*\) .*/\1/p' | tail -n 1)
    ft=$(printf '%s\n' "$out" | sed -n 's/.* ft: \([0-9]*\) .*/\1/p' | tail -n 1)
    runs=$(printf '%s\n' "$out" | sed -n 's/^stat::number_of_executed_units: *\([0-9]*\)/\1/p')
    calls=$(printf '%s\n' "$out" | sed -n 's/.*: \([0-9]*\) host calls$/\1/p')
    if [ "$rc" -eq 0 ]; then
      echo "$name: ${runs:-?} inputs, ${calls:-?} host calls ($(( ${calls:-0} / seconds )) per second)," \
        "coverage ${cov:-?} of ${edges:-?} edges, ${ft:-?} features"
      passed=$((passed + 1))
    else
      printf '%s\n' "$out" | grep -v -E '^#[0-9]+ +(NEW|REDUCE|pulse)' | tail -n 60
      echo "$name: FINDING (exit $rc); the input is in build-fuzz/findings/"
      failed=$((failed + 1))
    fi
  done
}

cmd=${1:-demo}
case "$cmd" in
  deps)
    install_packages
    ;;
  build)
    install_packages
    configure_and_build build
    ;;
  test)
    install_packages
    configure_and_build build -DVYR_BENCH=ON
    run_tests build
    package_check
    gem_check
    configure_and_build build-m32 -DVYR_M32=ON -DVYR_TOOLS=OFF
    run_tests build-m32
    configure_and_build build-asan -DVYR_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug -DVYR_TOOLS=OFF
    run_tests build-asan
    run_tsan
    run_fuzz 20
    run_tidy
    echo
    echo "tests: $passed passed, $failed failed"
    [ "$failed" -eq 0 ]
    ;;
  format)
    install_packages
    source_files | xargs clang-format -i
    ;;
  tidy)
    install_packages
    run_tidy
    [ "$failed" -eq 0 ]
    ;;
  fuzz)
    install_packages
    run_fuzz "${2:-60}"
    echo
    echo "fuzz targets: $passed clean, $failed with findings"
    [ "$failed" -eq 0 ]
    ;;
  tsan)
    install_packages
    run_tsan
    run_fuzz 20
    echo
    echo "tests: $passed passed, $failed failed"
    [ "$failed" -eq 0 ]
    ;;
  docs)
    install_packages
    configure_and_build build
    tools/docs.sh build docs
    ;;
  package)
    install_packages
    configure_and_build build
    make_package
    ;;
  bench)
    install_packages
    configure_and_build build -DVYR_BENCH=ON
    shift
    if [ "${1:-}" = --hosts ]; then
      bench/host_table.sh build "${2:-300}"
    else
      build/bench/frame_table "$@"
    fi
    ;;
  demo)
    install_packages
    configure_and_build build
    tools/demo.sh build demo
    ;;
  *)
    echo "usage: $0 demo|test|build|deps|package|docs|bench|tsan|fuzz [SECONDS]" >&2
    exit 2
    ;;
esac
