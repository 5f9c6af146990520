#!/usr/bin/env bash
# The header library on a big-endian host: cross-compiles the library, its
# tests and a sample writer for s390x and runs them under qemu-user.  There
# the _sun variants are the native ones: the tests' hand-laid little-endian
# files must come out of write_header_sun byte for byte, and the sample
# header written there by write_header_sun must equal the one that
# write_header_vms writes on this host.  The WAV header writer's test runs
# there too: its bytes are little-endian on every host.
set -uo pipefail
cd "$(dirname "$0")/.."
top=$PWD
build=${BIGENDIAN_BUILD_DIR:-$top/build-bigendian}

fail() {
    echo "big-endian run: FAIL - $*"
    exit 1
}

missing=()
command -v s390x-linux-gnu-g++ >/dev/null || missing+=(g++-s390x-linux-gnu)
command -v qemu-s390x >/dev/null || missing+=(qemu-user)
command -v g++ >/dev/null || missing+=(g++)
if ((${#missing[@]})); then
    echo "installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q >/dev/null || fail "apt-get update"
    apt-get install -y -q "${missing[@]}" >/dev/null || fail "apt-get install ${missing[*]}"
fi
[[ -f /usr/src/googletest/CMakeLists.txt ]] || fail "GoogleTest sources missing in /usr/src/googletest"

mkdir -p "$build" || fail "cannot create $build"
log=$build/build.log
cmake -S tests/header/bigendian -B "$build" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$top/tests/header/bigendian/s390x.cmake" >"$log" 2>&1 ||
    { cat "$log"; fail "configure"; }
cmake --build "$build" -j2 >>"$log" 2>&1 || { cat "$log"; fail "build"; }

echo "-- header tests on s390x"
qemu-s390x "$build/header_tests" || fail "header tests on s390x"

echo "-- WAV header tests on s390x"
qemu-s390x "$build/wav_tests" || fail "WAV header tests on s390x"

echo "-- sample header: write_header_sun on s390x against write_header_vms here"
g++ -std=c++20 -Wall -Wextra -O1 -I. header/read.cpp header/write.cpp header/dump.cpp \
    tests/header/bigendian/write_sample.cpp -o "$build/write_sample_host" || fail "host build"
"$build/write_sample_host" "$build/sample.host" || fail "writing on this host"
qemu-s390x "$build/write_sample" "$build/sample.s390x" || fail "writing on s390x"
cmp "$build/sample.host" "$build/sample.s390x" || fail "sample headers differ"
echo "   identical, $(stat -c %s "$build/sample.host") bytes"

echo "big-endian run: PASS"
