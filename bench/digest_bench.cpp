// The digest program's costs: SipHash-1-3 alone over the pre-recorded stream
// (the compute floor), the whole sweep in process and as a process of its own
// against that floor, and the library calls one case makes.
#include <benchmark/benchmark.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <string>

#if defined(ZERIN_DIGEST_PROGRAM)
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;
#endif

#include "stream.hpp"
#include "sweep.hpp"
#include "zerin/exchange/sender_timing.hpp"
#include "zerin/exchange/topology.hpp"

namespace zd = zerin::digest;
namespace zx = zerin::exchange;

namespace {

const zx::Topology& board() {
  static const zx::Topology topology = zx::Topology::r470();
  return topology;
}

// Keeps every case's bytes.
class Capture final : public zd::StreamObserver {
 public:
  void value(zd::ValueKind, std::span<const unsigned char>) override {}
  void end_case(const zd::CaseHeader&, std::span<const unsigned char> bytes) override {
    stream.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  }
  std::string stream;
};

// The whole digest stream, recorded once.
const std::string& recorded_stream() {
  static const std::string stream = [] {
    Capture capture;
    zd::StreamEncoder encoder(&capture);
    zd::run_sweep(board(), zd::digest_case_table(), encoder);
    return std::move(capture.stream);
  }();
  return stream;
}

// SipHash-1-3 of `stream` at the speed of the arithmetic: the program hashes
// bytes it has just written, still in cache, while a plain pass over 65 MB
// would wait on memory at every line. Each 4 KiB block is hashed after a
// prefetch of every line of the block that follows it.
std::uint64_t hash_floor(const std::string& stream) {
  constexpr std::size_t block = 4096;
  const auto* p = reinterpret_cast<const unsigned char*>(stream.data());
  const auto* const end = p + stream.size();
  zd::SipHash13 hasher;
  for (; end - p > static_cast<std::ptrdiff_t>(block); p += block) {
    const unsigned char* const next = p + block;
    for (std::size_t line = 0; line < block && next + line < end; line += 64) {
      __builtin_prefetch(next + line);
    }
    hasher.absorb({p, block});
  }
  return hasher.finish({p, end});
}

std::uint64_t sweep_digest() {
  zd::StreamEncoder encoder;
  zd::run_sweep(board(), zd::digest_case_table(), encoder);
  return encoder.finish();
}

void BM_HashFloor(benchmark::State& state) {
  const std::string& stream = recorded_stream();
  for (auto _ : state) benchmark::DoNotOptimize(hash_floor(stream));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.size()));
}
BENCHMARK(BM_HashFloor)->Unit(benchmark::kMillisecond);

// Runs `run` (which returns whether it succeeded) and the hash floor in the same
// iteration, so that the ratio compares like with like on a shared machine.
template <class Run>
void time_against_floor(benchmark::State& state, Run run) {
  const std::string& stream = recorded_stream();
  using clock = std::chrono::steady_clock;
  clock::duration run_time{}, floor_time{};
  for (auto _ : state) {
    const auto t0 = clock::now();
    const bool ok = run();
    const auto t1 = clock::now();
    benchmark::DoNotOptimize(hash_floor(stream));
    const auto t2 = clock::now();
    if (!ok) {
      state.SkipWithError("the timed run failed");
      return;
    }
    run_time += t1 - t0;
    floor_time += t2 - t1;
  }
  const auto ms = [&](clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count() /
           static_cast<double>(state.iterations());
  };
  state.counters["run_ms"] = ms(run_time);
  state.counters["floor_ms"] = ms(floor_time);
  state.counters["ratio"] = ms(run_time) / ms(floor_time);
}

// The whole sweep in process: planning, recording and hashing.
void BM_SweepOverFloor(benchmark::State& state) {
  time_against_floor(state, [] {
    benchmark::DoNotOptimize(sweep_digest());
    return true;
  });
}
BENCHMARK(BM_SweepOverFloor)->Unit(benchmark::kMillisecond)->UseRealTime();

#if defined(ZERIN_DIGEST_PROGRAM)
// Runs the built zerin-digest as a process of its own, its output discarded,
// and returns whether it exited with status 0.
bool run_program() {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  char program[] = ZERIN_DIGEST_PROGRAM;
  char* argv[] = {program, nullptr};
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, program, &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  return spawned == 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

// The program as its users run it, start-up and exit included.
void BM_ProgramOverFloor(benchmark::State& state) {
  time_against_floor(state, run_program);
}
BENCHMARK(BM_ProgramOverFloor)->Unit(benchmark::kMillisecond)->UseRealTime();
#endif

void BM_PointToPoint(benchmark::State& state) {
  std::uint32_t count = 0;
  for (auto _ : state) {
    count = count % zx::maximum_transfer_count + 1;
    benchmark::DoNotOptimize(board().point_to_point(0, 736, count));
  }
}
BENCHMARK(BM_PointToPoint);

void BM_MulticastIntoTwoReceivers(benchmark::State& state) {
  constexpr std::array<std::uint16_t, 2> receivers{736, 1286};
  zx::MulticastPlan plan;
  std::uint32_t count = 0;
  for (auto _ : state) {
    count = count % zx::maximum_transfer_count + 1;
    benchmark::DoNotOptimize(board().multicast_into(plan, 0, receivers, count, 0));
    benchmark::DoNotOptimize(plan);
  }
}
BENCHMARK(BM_MulticastIntoTwoReceivers);

void BM_PairedMulticastInto(benchmark::State& state) {
  constexpr std::array<std::uint16_t, 2> pair{2, 3};
  zx::MulticastPlan plan;
  std::uint32_t count = 0;
  for (auto _ : state) {
    count = count % zx::maximum_transfer_count + 1;
    benchmark::DoNotOptimize(board().paired_multicast_into(plan, 0, pair, count));
    benchmark::DoNotOptimize(plan);
  }
}
BENCHMARK(BM_PairedMulticastInto);

void BM_ScheduledSenderTiming(benchmark::State& state) {
  const auto plan = board().point_to_point(0, 736, 100);
  std::uint32_t i = 0;
  for (auto _ : state) {
    const std::uint32_t offset = zd::timing_offsets[i++ % zd::timing_offsets.size()];
    benchmark::DoNotOptimize(zx::scheduled_sender_timing(plan->sender, offset));
  }
}
BENCHMARK(BM_ScheduledSenderTiming);

// Timing texts appended by the library: a success with short numbers, one with
// ten-digit numbers and a failure, in turn.
void BM_TimingTextLibrary(benchmark::State& state) {
  const auto plan = board().point_to_point(0, 736, 100);
  const std::array<zx::TimingResult, 3> results{
      zx::scheduled_sender_timing(plan->sender, zd::timing_offsets[0]),
      zx::scheduled_sender_timing(plan->sender, zd::timing_offsets[2]),
      zx::scheduled_sender_timing(zx::ExchangeRow{}, 0)};
  std::string text;
  text.reserve(128);
  std::uint32_t i = 0;
  for (auto _ : state) {
    text.clear();
    zx::append_debug(text, results[i++ % results.size()]);
    benchmark::DoNotOptimize(text.data());
  }
}
BENCHMARK(BM_TimingTextLibrary);

// A successful timing's text written into a fixed buffer, by the library's
// bounded writer and by the digest's own writer.
void BM_TimingTextToChars(benchmark::State& state) {
  const auto timing = zx::scheduled_sender_timing(board().point_to_point(0, 736, 100)->sender, 273);
  std::array<char, zx::timing_debug_max_size> text;
  for (auto _ : state) {
    benchmark::DoNotOptimize(timing);
    benchmark::DoNotOptimize(zx::to_chars(text.data(), text.data() + text.size(), timing).ptr);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_TimingTextToChars);

void BM_TimingTextDigest(benchmark::State& state) {
  const auto timing = zx::scheduled_sender_timing(board().point_to_point(0, 736, 100)->sender, 273);
  std::array<char, zd::ok_timing_room> text;
  for (auto _ : state) {
    benchmark::DoNotOptimize(timing);
    benchmark::DoNotOptimize(zd::write_ok_timing(text.data(), *timing));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_TimingTextDigest);

}  // namespace

BENCHMARK_MAIN();
