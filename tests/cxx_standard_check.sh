#!/usr/bin/env bash
# The public headers compiled below C++23 stop with one clear message, and that
# message is the first error the compiler reports; with C++23 they compile.
# usage: cxx_standard_check.sh COMPILER INCLUDE_DIR...
set -euo pipefail
compiler=$1
shift
includes=()
for dir in "$@"; do includes+=(-I "$dir"); done
expected='zerin-exchange needs C++23: compile with -std=c++23 or later.'

status=0
log=$(echo '#include <zerin/exchange.hpp>' |
  "$compiler" -std=c++20 -fsyntax-only "${includes[@]}" -x c++ - 2>&1) || status=$?
if [[ $status -eq 0 ]]; then
  echo "$compiler -std=c++20 compiled the headers" >&2
  exit 1
fi
first=$(grep -m1 'error' <<<"$log" || true)
if [[ $first != *"$expected"* ]]; then
  echo "$compiler -std=c++20: first error is not the version message:" >&2
  echo "$log" | head -20 >&2
  exit 1
fi
echo "$compiler -std=c++20: $first"

echo '#include <zerin/exchange.hpp>' |
  "$compiler" -std=c++23 -fsyntax-only "${includes[@]}" -x c++ - ||
  { echo "$compiler -std=c++23 does not compile the headers" >&2; exit 1; }
echo "$compiler -std=c++23: the headers compile"
