#!/usr/bin/env bash
# Installs the dependencies, builds everything and runs the whole test suite.
#
#   scripts/test.sh                          the plain build in build/, every test
#   scripts/test.sh --sanitize thread        ThreadSanitizer build in build-thread/
#   scripts/test.sh --sanitize address       AddressSanitizer + UBSan build in build-address/
#   scripts/test.sh --sanitize thread -R 'Card|WaveIn'   ... only the tests ctest -R picks
#   scripts/test.sh --sanitize thread --programs "test_soundcard test_app"
#                                            builds and runs only these test programs
#
# The sanitizer builds are unity builds at -O1 with line tables only: they are
# for finding races and memory faults, and build in a fraction of the time.
# In a unity build several source files of a target share one translation
# unit, so file-scope names in one program's test files must not clash.
#
# TUNELARK_SANITIZE=thread (or address) in the environment does the same as
# --sanitize; TEST_JOBS sets how many tests run at once (default: the cores).
# Arguments after the options go to ctest.
set -euo pipefail
cd "$(dirname "$0")/.."
sanitize="${TUNELARK_SANITIZE:-}"
if [[ "${1:-}" == "--sanitize" ]]; then
  sanitize="${2:?--sanitize needs address or thread}"
  shift 2
fi
programs=""
if [[ "${1:-}" == "--programs" ]]; then
  programs="${2:?--programs needs test program names}"
  shift 2
fi
case "$sanitize" in
  "" | address | thread) ;;
  *) echo "test.sh: --sanitize takes address or thread, not '$sanitize'" >&2; exit 2 ;;
esac

bash scripts/install-deps.sh
if [[ -n "$programs" ]]; then
  export BUILD_TARGETS="$programs"
  set -- -L "^($(tr ' ' '|' <<< "$programs"))\$" "$@"
fi
export QT_QPA_PLATFORM=offscreen TUNELARK_AUDIO=virtual
if [[ -z "$sanitize" ]]; then
  bash scripts/build.sh -DTUNELARK_TESTS=ON
  cd build
else
  export BUILD_DIR="build-$sanitize"
  flags="-O1 -g1 -DNDEBUG"
  bash scripts/build.sh -DTUNELARK_TESTS=ON -DTUNELARK_SANITIZE="$sanitize" -DCMAKE_UNITY_BUILD=ON \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="$flags" -DCMAKE_C_FLAGS_RELWITHDEBINFO="$flags"
  supp="$PWD/tests/sanitizers"
  # Leaks are not looked for: Qt and fontconfig keep caches until exit.
  export ASAN_OPTIONS="detect_leaks=0:abort_on_error=0:halt_on_error=1"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
  export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$supp/tsan.supp"
  cd "$BUILD_DIR"
fi
ctest --output-on-failure --parallel "${TEST_JOBS:-$(nproc)}" --timeout 600 "$@"
