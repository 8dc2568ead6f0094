#!/usr/bin/env bash
# Installs what is missing from Debian, builds, then starts the window (run), runs every test
# (test) or makes the Debian packages in dist/ (package).
set -euo pipefail
cd "$(dirname "$0")"
mode=${1:-run}

packages=(cmake gcc g++ make qt6-base-dev libgtest-dev libdeflate-dev libhdf5-dev nlohmann-json3-dev)
# The tests also run the file readers in Scilab, Octave and Python with NumPy.
if [ "$mode" = test ]; then packages+=(clang clang-format libclang-rt-14-dev scilab-cli octave python3-numpy python3-pip python3-setuptools); fi
# Debian's packaging tools, for the packages and for the test that checks them.
if [ "$mode" = test ] || [ "$mode" = package ]; then
  packages+=(debhelper dh-python python3-all dpkg-dev fakeroot lintian desktop-file-utils python3-numpy libhdf5-dev nlohmann-json3-dev)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""; [ "$(id -u)" -ne 0 ] && sudo=sudo
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi

# The packages: Debian's own build (dpkg-buildpackage) into dist/, then their contents checked
# without installing them.
package() {
  local version changelog
  version=$(sed -n 's/^project(Tessaline VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
  changelog=$(dpkg-parsechangelog -S Version)
  if [ "$version" != "$changelog" ]; then
    echo "debian/changelog says $changelog, CMakeLists.txt $version: add a changelog entry" >&2
    exit 1
  fi
  # Built in a copy of the tree, since dpkg-buildpackage writes its results into the parent folder.
  local work
  work=$(mktemp -d)
  tar --exclude=./build --exclude=./build-asan --exclude=./dist --exclude=./.git --exclude='./obj-*' -cf - . |
    tar -xf - -C "$work" --one-top-level=tessaline
  (cd "$work/tessaline" && dpkg-buildpackage -us -uc -b -j2) > build-package.log 2>&1 ||
    { tail -n 40 build-package.log; rm -rf "$work"; exit 1; }
  rm -rf dist
  mkdir -p dist
  mv "$work"/*.deb "$work"/*.buildinfo "$work"/*.changes dist/
  rm -rf "$work"
  tools/check-package dist "$version"
}

if [ "$mode" = package ]; then
  package
  exit 0
fi

cmake --preset release > /dev/null
# The window alone for run: the tests and benchmarks are built only when they are to run.
if [ "$mode" = run ]; then cmake --build --preset release --target tessaline; else cmake --build --preset release; fi

case "$mode" in
  run)
    if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
      echo "No display: start it under Xvfb with  xvfb-run -s '-screen 0 1024x768x24' ./build.sh run" >&2
      exit 1
    fi
    exec build/tessaline
    ;;
  test)
    ctest --test-dir build --output-on-failure
    # The cores again under AddressSanitizer and UndefinedBehaviorSanitizer.
    cmake --preset asan > /dev/null
    cmake --build --preset asan
    ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --test-dir build-asan --output-on-failure
    # Two minutes of fuzzing from the seeds, mutating tags and bytes; any finding fails the run
    # and is kept in build-asan.
    corpus=$(mktemp -d)
    cp tests/fuzz/corpus/*.fif tests/fuzz/regressions/* "$corpus"/ 2>/dev/null || true
    rm -f "$corpus"/README.md
    log=build-asan/fuzz.log
    if ! (cd build-asan && ./tests/fuzz_convert -max_total_time="${FUZZ_SECONDS:-120}" -max_len=65536 -timeout=10 \
          -rss_limit_mb=4096 -dict=../tests/fuzz/fiff.dict -print_final_stats=1 "$corpus" > fuzz.log 2>&1); then
      tail -n 40 "$log"
      rm -rf "$corpus"
      echo "fuzzing found a fault (the input is in build-asan/crash-*)" >&2
      exit 1
    fi
    rm -rf "$corpus"
    grep -E '^(#[0-9]+ *DONE|stat::number_of_executed_units|stat::average_exec_per_sec)' "$log" || tail -n 2 "$log"
    echo "fuzzing: no findings"
    package
    ;;
  *)
    echo "usage: $0 run|test|package" >&2
    exit 2
    ;;
esac
