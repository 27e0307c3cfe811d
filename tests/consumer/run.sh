#!/usr/bin/env bash
# Installs the library into fresh temporary prefixes, once static and once
# shared, and builds the example program of README.md against each install the
# ways users do: the CMake package, pkg-config, and add_subdirectory (and, once,
# FetchContent) of the source tree. Every build must print the same rows
# (expected.txt).
#
# Environment: CXX (compiler, default c++), ZERIN_CONSUMER_JOBS (default 2),
# ZERIN_CONSUMER_KEEP=1 keeps the temporary directory for inspection.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
jobs=${ZERIN_CONSUMER_JOBS:-2}
cxx=${CXX:-c++}
work=$(mktemp -d "${TMPDIR:-/tmp}/zerin-consumer.XXXXXX")
if [[ ${ZERIN_CONSUMER_KEEP:-0} == 1 ]]; then
  echo "consumer: keeping $work"
else
  trap 'rm -rf "$work"' EXIT
fi

fail() {
  echo "consumer: FAILED: $*" >&2
  exit 1
}
step() { echo "-- consumer: $*"; }
# Runs a command with its output in a log that is shown only when it fails.
quiet() {
  "$@" >"$work/command.log" 2>&1 || {
    local status=$?
    cat "$work/command.log" >&2
    return $status
  }
}

generator=()
if command -v ninja >/dev/null; then generator=(-G Ninja); fi

version=$(sed -n 's/^project(zerin-exchange VERSION \([0-9][0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
[[ -n $version ]] || fail "no project version in CMakeLists.txt"

# Runs a built example and compares what it prints with the expected rows.
check_run() {
  local what=$1
  shift
  local out="$work/out.txt"
  "$@" >"$out" || fail "$what: the program exited with status $?"
  diff -u "$here/expected.txt" "$out" || fail "$what: unexpected output"
  step "$what: output as expected"
}

# Whether a program depends on the shared library at run time.
check_linkage() {
  local what=$1 program=$2 kind=$3
  if readelf -d "$program" | grep -q 'NEEDED.*libzerin_exchange'; then
    [[ $kind == shared ]] || fail "$what: linked the shared library from a static install"
  else
    [[ $kind == static ]] || fail "$what: did not link the shared library"
  fi
}

# Prints the n-th (from 1) fenced block of one language in the README's
# "Install and use" section.
readme_block() {
  awk -v language="$1" -v wanted="$2" '
    /^## Install and use/ { section = 1; next }
    section && /^## / { section = 0 }
    section && !code && $0 == "```" language { code = 1; seen++; next }
    code && /^```$/ { code = 0; next }
    code && seen == wanted { print }' "$root/README.md"
}

step "README example and its output are tests/consumer/example.cpp and expected.txt"
readme_block cpp 1 >"$work/readme-example.cpp"
[[ -s $work/readme-example.cpp ]] || fail "no cpp block in the README's \"Install and use\" section"
diff -u "$here/example.cpp" "$work/readme-example.cpp" ||
  fail "the README example and tests/consumer/example.cpp differ"
readme_block text 1 >"$work/readme-output.txt"
diff -u "$here/expected.txt" "$work/readme-output.txt" ||
  fail "the output shown in the README and tests/consumer/expected.txt differ"
# The README's shell commands run as written, with HOME pointing into the
# temporary directory: first the install, later the pkg-config build.
readme_block sh 1 >"$work/readme-install.sh"
readme_block sh 2 >"$work/readme-pkg-config.sh"
grep -q 'cmake --install' "$work/readme-install.sh" ||
  fail "the README's first sh block is not the install command"
grep -q 'pkg-config' "$work/readme-pkg-config.sh" ||
  fail "the README's second sh block is not the pkg-config build"
readme_home="$work/home"
mkdir -p "$readme_home" "$work/readme-source" "$work/readme-use"
# The install command builds in ./build-install: give it a copy of the source
# tree of its own, without any build directories of the real one. (A copy, not
# symbolic links: installing a linked include directory would install the link.)
for entry in "$root"/*; do
  case ${entry##*/} in build* | _install* | out) continue ;; esac
  cp -R "$entry" "$work/readme-source/"
done
cp "$here/example.cpp" "$work/readme-use/"

for kind in static shared; do
  shared=OFF
  tests=OFF
  if [[ $kind == shared ]]; then
    shared=ON
    tests=ON  # the unit tests must link against the shared library's exports
  fi
  if [[ $kind == static ]]; then
    # The static install is the README's command, as written.
    build="$work/readme-source/build-install"
    prefix="$readme_home/.local"
    step "$kind: the README's install command, into $prefix"
    (cd "$work/readme-source" && export HOME="$readme_home" &&
      quiet bash -euo pipefail "$work/readme-install.sh") || fail "$kind: the README's install command"
  else
    build="$work/build-$kind"
    prefix="$work/prefix-$kind"
    step "$kind: build and install into $prefix"
    quiet cmake -S "$root" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release \
      -DBUILD_SHARED_LIBS=$shared -DZERIN_EXCHANGE_WERROR=ON -DZERIN_EXCHANGE_BUILD_TESTS=$tests \
      -DZERIN_EXCHANGE_BUILD_BENCHMARKS=OFF || fail "$kind: configure"
    quiet cmake --build "$build" -j "$jobs" || fail "$kind: build"
    if [[ $tests == ON ]]; then
      quiet ctest --test-dir "$build" --output-on-failure -j "$jobs" ||
        fail "$kind: unit tests against the shared library"
      step "$kind: unit tests pass against the shared library"
    fi
    # Both installs choose the prefix at install time: the installed files must
    # not depend on the configure-time CMAKE_INSTALL_PREFIX.
    quiet cmake --install "$build" --prefix "$prefix" || fail "$kind: install"
  fi

  for header in exchange.hpp exchange/topology.hpp exchange/version.hpp exchange/export.hpp; do
    [[ -f $prefix/include/zerin/$header ]] || fail "$kind: include/zerin/$header not installed"
  done
  for doc in LICENSE CHANGELOG.md; do
    [[ -f $prefix/share/doc/zerin-exchange/$doc ]] || fail "$kind: share/doc/zerin-exchange/$doc not installed"
  done
  pc=$(find "$prefix" -name zerin-exchange.pc -path '*/pkgconfig/*')
  [[ -n $pc ]] || fail "$kind: zerin-exchange.pc not installed"
  libdir=$(dirname "$(dirname "$pc")")
  package_dir="$libdir/cmake/zerin-exchange"
  for file in zerin-exchange-config.cmake zerin-exchange-config-version.cmake; do
    [[ -f $package_dir/$file ]] || fail "$kind: $file not installed"
  done
  grep -q '^#define ZERIN_EXCHANGE_VERSION_STRING "'"$version"'"$' \
    "$prefix/include/zerin/exchange/version.hpp" || fail "$kind: installed version.hpp"
  if [[ $kind == shared ]]; then
    library="$libdir/libzerin_exchange.so"
    [[ -L $library && -f $library.$version ]] || fail "$kind: $library(.$version) not installed"
    grep -q '^#define ZERIN_EXCHANGE_SHARED 1$' "$prefix/include/zerin/exchange/export.hpp" ||
      fail "$kind: export.hpp does not describe a shared build"
    # Only the public API is exported: the library's own helpers stay hidden.
    exported=$(nm -DC --defined-only "$library")
    for symbol in 'zerin::exchange::Topology::point_to_point' \
      'typeinfo for zerin::exchange::InternalFault' \
      'typeinfo for zerin::exchange::DiagnosticSink'; do
      grep -qF "$symbol" <<<"$exported" || fail "$kind: $symbol is not exported"
    done
    if grep 'zerin::exchange::detail::\|(anonymous namespace)' <<<"$exported"; then
      fail "$kind: internal symbols are exported"
    fi
  else
    [[ -f $libdir/libzerin_exchange.a ]] || fail "$kind: libzerin_exchange.a not installed"
    [[ -z $(find "$prefix" -name 'libzerin_exchange.so*') ]] ||
      fail "$kind: a shared library was installed by a static build"
    grep -q '^#define ZERIN_EXCHANGE_SHARED 0$' "$prefix/include/zerin/exchange/export.hpp" ||
      fail "$kind: export.hpp does not describe a static build"
  fi
  if [[ -e $build/tools/digest/zerin-digest ]]; then
    [[ -x $prefix/bin/zerin-digest ]] || fail "$kind: zerin-digest not installed"
    # Run from the prefix: a shared build's program must find its library there.
    line=$("$prefix/bin/zerin-digest") || fail "$kind: installed zerin-digest exited with status $?"
    [[ $line =~ ^[0-9]+\ cases:\ [0-9a-f]{16}$ ]] || fail "$kind: zerin-digest printed '$line'"
    step "$kind: installed zerin-digest runs: $line"
    # Where the program has a --version option it must print the project version.
    if version_line=$("$prefix/bin/zerin-digest" --version 2>/dev/null) &&
      ! [[ $version_line =~ cases: ]]; then
      [[ $version_line == *"$version"* ]] ||
        fail "$kind: zerin-digest --version printed '$version_line', not $version"
      step "$kind: zerin-digest --version: $version_line"
    fi
  fi
  if [[ -e $build/tools/plan/zerin-plan ]]; then
    [[ -x $prefix/bin/zerin-plan ]] || fail "$kind: zerin-plan not installed"
    quiet "$prefix/bin/zerin-plan" --help || fail "$kind: installed zerin-plan --help exited with status $?"
    step "$kind: installed zerin-plan runs"
  fi

  # A Debug consumer of the Release install: the imported target must still resolve.
  step "$kind: find_package"
  quiet cmake -S "$here" -B "$work/package-$kind" "${generator[@]}" -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_PREFIX_PATH="$prefix" -DZERIN_CONSUMER_USE=package \
    -DZERIN_CONSUMER_VERSION="$version" || fail "$kind find_package: configure"
  quiet cmake --build "$work/package-$kind" || fail "$kind find_package: build"
  check_linkage "$kind find_package" "$work/package-$kind/show-plan" $kind
  check_run "$kind find_package" "$work/package-$kind/show-plan"
  "$work/package-$kind/api-check" "$version" || fail "$kind find_package: api-check"
  step "$kind find_package: api-check passes"
  if cmake -S "$here" -B "$work/package-too-new-$kind" -DCMAKE_PREFIX_PATH="$prefix" \
    -DZERIN_CONSUMER_USE=package -DZERIN_CONSUMER_VERSION=999.0 >/dev/null 2>&1; then
    fail "$kind: find_package accepted version 999.0 for $version"
  fi

  step "$kind: pkg-config"
  export PKG_CONFIG_PATH="$libdir/pkgconfig"
  [[ $(pkg-config --modversion zerin-exchange) == "$version" ]] || fail "$kind: pkg-config version"
  read -r -a pkg_flags <<<"$(pkg-config --cflags --libs zerin-exchange)"
  rpath=()
  if [[ $kind == shared ]]; then rpath=("-Wl,-rpath,$(pkg-config --variable=libdir zerin-exchange)"); fi
  quiet "$cxx" -std=c++23 -Wall -Wextra -Wpedantic -Werror -O2 "$here/example.cpp" "${pkg_flags[@]}" \
    "${rpath[@]}" -o "$work/pkg-config-$kind" || fail "$kind pkg-config: compile"
  unset PKG_CONFIG_PATH
  check_linkage "$kind pkg-config" "$work/pkg-config-$kind" $kind
  check_run "$kind pkg-config" "$work/pkg-config-$kind"
  if [[ $kind == static ]]; then
    (cd "$work/readme-use" && export HOME="$readme_home" &&
      bash -euo pipefail "$work/readme-pkg-config.sh") >"$work/out.txt" ||
      fail "$kind: the README's pkg-config command"
    diff -u "$here/expected.txt" "$work/out.txt" || fail "$kind: the README's pkg-config command"
    step "$kind: the README's pkg-config command prints the expected rows"
  fi

  # FetchContent is add_subdirectory underneath; one static build of it suffices.
  uses=(subdirectory)
  if [[ $kind == static ]]; then uses+=(fetchcontent); fi
  for use in "${uses[@]}"; do
    step "$kind: $use"
    quiet cmake -S "$here" -B "$work/$use-$kind" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_CXX_COMPILER="$cxx" -DBUILD_SHARED_LIBS=$shared -DZERIN_CONSUMER_USE=$use \
      -DZERIN_EXCHANGE_SOURCE_DIR="$root" || fail "$kind $use: configure"
    quiet cmake --build "$work/$use-$kind" -j "$jobs" || fail "$kind $use: build"
    check_linkage "$kind $use" "$work/$use-$kind/show-plan" $kind
    check_run "$kind $use" "$work/$use-$kind/show-plan"
    "$work/$use-$kind/api-check" "$version" || fail "$kind $use: api-check"
    step "$kind $use: api-check passes"
    rm -rf "${work:?}/$use-$kind"
  done

  rm -rf "$build"
done

step "all consumer builds pass"
