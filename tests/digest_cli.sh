#!/usr/bin/env bash
# End-to-end checks of the zerin-digest executable: exit status, stdout, stderr.
# usage: digest_cli.sh EXECUTABLE VERSION GROUP
set -u
exe=$1
version=$2
group=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# run NAME EXPECTED_STATUS ARGS...: runs the program with stdout/stderr captured.
run() {
  local name=$1 expected=$2
  shift 2
  "$exe" "$@" >"$work/out" 2>"$work/err"
  local status=$?
  [[ $status -eq $expected ]] || fail "$name: exit status $status, expected $expected"
}

expect_stdout_empty() { [[ ! -s $work/out ]] || fail "$1: stdout not empty: $(head -c 200 "$work/out")"; }
expect_stderr_empty() { [[ ! -s $work/err ]] || fail "$1: stderr not empty: $(head -c 200 "$work/err")"; }
expect_stderr_has() {
  grep -qF -- "$2" "$work/err" || fail "$1: stderr lacks '$2': $(head -c 300 "$work/err")"
}

# The fingerprint of the library's behaviour: it must never move.
result_line='211548 cases: 7745e52769bc051c'

# A bad command line: one error line naming the argument, exit 2, nothing on stdout.
expect_usage_error() {
  local name=$1 message=$2
  shift 2
  run "$name" 2 "$@"
  expect_stdout_empty "$name"
  [[ $(cat "$work/err") == "zerin-digest: $message" ]] || fail "$name: stderr $(head -c 300 "$work/err")"
}

case $group in
  run)
    run plain 0
    expect_stderr_empty plain
    [[ $(cat "$work/out") == "$result_line" ]] || fail "plain: line $(head -c 200 "$work/out")"
    [[ $(wc -c <"$work/out") -eq $((${#result_line} + 1)) ]] || fail "plain: not one line"
    ;;

  options)
    for flag in --help -h; do
      run "help $flag" 0 $flag
      expect_stderr_empty help
      grep -qF "Usage: zerin-digest [OPTIONS]" "$work/out" || fail "help $flag: no usage"
      grep -qF -- "--trace FILE" "$work/out" || fail "help $flag: --trace not described"
      grep -qF -- "--dump START END" "$work/out" || fail "help $flag: --dump not described"
      grep -qF "Exit status" "$work/out" || fail "help $flag: exit statuses not described"
    done
    run version 0 --version
    [[ $(cat "$work/out") == "zerin-digest $version" ]] || fail "version: $(cat "$work/out")"
    expect_usage_error unknown "The following argument was not expected: --bogus" --bogus
    expect_usage_error positional "The following argument was not expected: extra" extra
    expect_usage_error threads "The following arguments were not expected: 1 --threads" --threads 1
    expect_usage_error trace-missing "--trace: 1 required FILE missing" --trace
    expect_usage_error trace-empty "--trace: needs a non-empty file name" --trace ""
    expect_usage_error trace-twice "option --trace given more than once" --trace a --trace b
    expect_usage_error trace-twice-equals "option --trace given more than once" --trace=a --trace=b
    expect_usage_error dump-missing "--dump: At least 2 required but received 1" --dump 5
    expect_usage_error dump-twice "option --dump takes START and END, once" --dump 1 2 --dump 3 4
    expect_usage_error dump-reversed "--dump START 5 is greater than END 3" --dump 5 3
    expect_usage_error dump-letters "--dump START 'x' is not a case index" --dump x 3
    expect_usage_error dump-negative "--dump START '-1' is not a case index" --dump -1 3
    expect_usage_error dump-sign "--dump END '+3' is not a case index" --dump 1 +3
    expect_usage_error dump-past "--dump END 211548 is past the last case 211547" --dump 0 211548
    ;;

  trace)
    run plain 0
    cp "$work/out" "$work/plain"
    run trace 0 --trace="$work/trace.txt"
    expect_stderr_empty trace
    cmp -s "$work/out" "$work/plain" || fail "trace: result line differs from the plain run"
    [[ $(wc -l <"$work/trace.txt") -eq 211548 ]] || fail "trace: not 211548 lines"
    grep -qvE '^[0-9]+ [1-6] [0-9]+ (p2p|mc|pmc) [0-9]+ [0-9a-f]{16}$' "$work/trace.txt" &&
      fail "trace: malformed line $(grep -vE '^[0-9]+ [1-6] [0-9]+ (p2p|mc|pmc) [0-9]+ [0-9a-f]{16}$' "$work/trace.txt" | head -n 1)"
    head -n 8 "$work/trace.txt" | cut -d' ' -f1-5 >"$work/first8"
    printf '%s\n' "0 1 1 p2p 2" "1 1 1 mc 0" "2 1 1 mc 1" "3 1 1 mc 51" "4 1 1 mc 4095" \
      "5 1 1 pmc 2" "6 1 1 pmc 274" "7 1 1 pmc 1286" | cmp -s - "$work/first8" ||
      fail "trace: first cases $(cat "$work/first8")"
    # Whole lines, case hashes included (one with leading zeros), across the
    # start of entry 2.
    printf '%s\n' "26 1 4 mc 1 00da5ce98b48c838" >"$work/expected"
    printf '%s\n' "33183 1 4148 pmc 1286 7999cdc9cdaace93" "33184 2 1 p2p 736 d85449dcc3253736" \
      "33185 2 1 p2p 1286 5f1ae5faf466baf0" "33186 2 1 mc 0 7269ebbd9bc73d27" >>"$work/expected"
    sed -n '27p;33184,33187p' "$work/trace.txt" | cmp -s - "$work/expected" ||
      fail "trace: lines 27 and 33184..33187 $(sed -n '27p;33184,33187p' "$work/trace.txt")"
    [[ $(tail -n 1 "$work/trace.txt" | cut -d' ' -f1-5) == "211547 6 4148 pmc 1286" ]] ||
      fail "trace: last case $(tail -n 1 "$work/trace.txt")"

    run trace-dir 1 --trace "$work/no/such/dir/trace.txt"
    expect_stdout_empty trace-dir
    expect_stderr_has trace-dir "$work/no/such/dir/trace.txt"
    expect_stderr_has trace-dir "No such file or directory"
    run trace-full 1 --trace /dev/full
    expect_stdout_empty trace-full
    expect_stderr_has trace-full "cannot write trace file '/dev/full': No space left on device"
    ;;

  dump)
    run plain 0 --trace "$work/trace.txt"
    cp "$work/out" "$work/plain"
    run dump 0 --dump=4 5
    expect_stderr_empty dump
    [[ $(tail -n 1 "$work/out") == "$(cat "$work/plain")" ]] || fail "dump: last line is not the result"
    [[ $(grep -c '^[0-9]' "$work/out") -eq 3 ]] || fail "dump: expected two case headers"
    [[ $(head -n 1 "$work/out") == "$(sed -n 5p "$work/trace.txt")" ]] ||
      fail "dump: header differs from the trace line"
    # Case 4 is entry 1, count 1, offset 4095 (case 5 the first paired multicast),
    # whose start cycle passes 4095, so it holds nothing but the error's text.
    [[ $(sed -n 2p "$work/out") == "  text exchange schedule is not encodable: multicast start cycle" ]] ||
      fail "dump: body of case 4"
    [[ $(sed -n 3p "$work/out") == "5 1 1 pmc 2 "* ]] || fail "dump: case 5 header"
    grep -qE '^  row( 0x[0-9a-f]{8}){9}$' "$work/out" || fail "dump: no sender row"
    grep -qE '^  rows 2$' "$work/out" || fail "dump: no row vector"
    grep -qE '^    row( 0x[0-9a-f]{8}){9}$' "$work/out" || fail "dump: no receiver row"
    grep -qE '^  text (Ok|Err)\(' "$work/out" || fail "dump: no timing text"
    # Entry 2 (source 0, receivers 736 and 1286), count 1, offset 0: the sender
    # row, its timing texts at the three offsets, then the two receiver rows.
    run dump-mc 0 --dump 33186 33186
    cat >"$work/expected" <<EOF
33186 2 1 mc 0 7269ebbd9bc73d27
  row 0x41800003 0x40a00016 0x78000003 0x43a00000 0x00000000 0x00000000 0x00000000 0x00000000 0x00000000
  text Ok(ScheduledPayloadTiming { payload_start: 23, payload_end: 24, horizon: 24 })
  text Ok(ScheduledPayloadTiming { payload_start: 296, payload_end: 297, horizon: 297 })
  text Ok(ScheduledPayloadTiming { payload_start: 4294966806, payload_end: 4294966807, horizon: 4294966807 })
  rows 2
    row 0x41800003 0x6404c000 0x64000640 0x61914000 0x40a00005 0x43a00000 0x00000000 0x00000000 0x00000000
    row 0x41800003 0x64000000 0x64000640 0x61914000 0x40a00005 0x43a00000 0x00000000 0x00000000 0x00000000
$result_line
EOF
    cmp -s "$work/out" "$work/expected" || fail "dump-mc: $(diff "$work/expected" "$work/out" | head -n 5)"
    ;;

  fatal)
    "$exe" >/dev/full 2>"$work/err"
    status=$?
    [[ $status -eq 101 ]] || fail "/dev/full: exit status $status"
    expect_stderr_has full "failed printing to stdout: No space left on device"

    "$exe" >&- 2>"$work/err"
    status=$?
    [[ $status -eq 101 ]] || fail "closed stdout: exit status $status"
    expect_stderr_has closed "failed printing to stdout: Bad file descriptor"

    # The reader is gone before the line is written: EPIPE, never a silent death.
    "$exe" 2>"$work/err" | true
    status=${PIPESTATUS[0]}
    [[ $status -eq 101 ]] || fail "closed pipe: exit status $status"
    expect_stderr_has pipe "failed printing to stdout: Broken pipe"

    "$exe" --dump 0 100 >/dev/full 2>"$work/err"
    status=$?
    [[ $status -eq 101 ]] || fail "dump to /dev/full: exit status $status"
    expect_stderr_has dump-full "failed printing to stdout"

    "$exe" --help >/dev/full 2>"$work/err"
    status=$?
    [[ $status -eq 101 ]] || fail "help to /dev/full: exit status $status"

    # A closed stdout must not let the trace file take its place.
    "$exe" --trace "$work/trace.txt" >&- 2>"$work/err"
    status=$?
    [[ $status -eq 101 ]] || fail "trace with closed stdout: exit status $status"
    grep -q cases "$work/trace.txt" && fail "trace with closed stdout: result line went into the trace"
    ;;

  *)
    echo "unknown group $group" >&2
    exit 2
    ;;
esac

[[ $failures -eq 0 ]] || { echo "$failures failure(s) in group $group" >&2; exit 1; }
echo "group $group: ok"
