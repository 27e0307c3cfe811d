// The library's planners and timing walk on the r470 board: one case of each
// operation the digest calls, and multicast fan-out from 1 to every tile.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "zerin/exchange/sender_timing.hpp"
#include "zerin/exchange/topology.hpp"

namespace zx = zerin::exchange;

namespace {

const zx::Topology& board() {
  static const zx::Topology topology = zx::Topology::r470();
  return topology;
}

constexpr std::uint16_t tile_count = zx::r470_tile_count;
constexpr std::uint32_t count = 100;
// Receivers spread over the board: 37 and 1472 share no factor, so every
// stride-37 list of up to 1472 tiles is free of duplicates.
constexpr std::uint32_t stride = 37;

// The next sender of a walk over every tile.
std::uint16_t next_sender(std::uint16_t& sender) {
  const std::uint16_t current = sender;
  sender = static_cast<std::uint16_t>((sender + 1) % tile_count);
  return current;
}

void BM_PointToPoint(benchmark::State& state) {
  std::uint16_t sender = 0;
  for (auto _ : state) {
    const std::uint16_t from = next_sender(sender);
    benchmark::DoNotOptimize(
        board().point_to_point(from, static_cast<std::uint16_t>((from + 736) % tile_count), count));
  }
}
BENCHMARK(BM_PointToPoint);

void BM_MulticastTwoReceivers(benchmark::State& state) {
  const std::vector<std::uint16_t> receivers{736, 1286};
  std::uint16_t sender = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(board().multicast(next_sender(sender), receivers, count, 0));
  }
}
BENCHMARK(BM_MulticastTwoReceivers);

void BM_PairedMulticastOnePair(benchmark::State& state) {
  const std::vector<std::uint16_t> receivers{736, 737};
  std::uint16_t sender = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(board().paired_multicast(next_sender(sender), receivers, count));
  }
}
BENCHMARK(BM_PairedMulticastOnePair);

// The sender rows of point-to-point plans from every tile, timed in turn.
std::vector<zx::ExchangeRow> sender_rows() {
  std::vector<zx::ExchangeRow> rows;
  for (std::uint16_t from = 0; from < tile_count; ++from) {
    const std::uint32_t words = 1 + (from * 7u) % 200u;  // short and long transfers
    rows.push_back(
        board().point_to_point(from, static_cast<std::uint16_t>((from + 736) % tile_count), words)
            ->sender);
  }
  return rows;
}

void BM_ScheduledSenderTiming(benchmark::State& state) {
  const auto rows = sender_rows();
  std::size_t next = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(zx::scheduled_sender_timing(rows[next], 4000));
    next = next + 1 == rows.size() ? 0 : next + 1;
  }
}
BENCHMARK(BM_ScheduledSenderTiming);

// The debug text of a timing result, appended to a buffer that is reused.
void BM_TimingText(benchmark::State& state) {
  const auto rows = sender_rows();
  std::vector<zx::TimingResult> results;
  for (const auto& row : rows) results.push_back(zx::scheduled_sender_timing(row, 4000));
  results.push_back(zx::scheduled_sender_timing(rows[0], 0xFFFFFFF0u));  // an error
  std::string text;
  std::size_t next = 0;
  for (auto _ : state) {
    text.clear();
    zx::append_debug(text, results[next]);
    benchmark::DoNotOptimize(text.data());
    next = next + 1 == results.size() ? 0 : next + 1;
  }
}
BENCHMARK(BM_TimingText);

// `size` receivers from tile `first` on, `stride` apart.
std::vector<std::uint16_t> spread_receivers(std::size_t size, std::uint32_t first) {
  std::vector<std::uint16_t> receivers;
  for (std::size_t i = 0; i < size; ++i) {
    receivers.push_back(static_cast<std::uint16_t>((first + i * stride) % tile_count));
  }
  return receivers;
}

void report_per_receiver(benchmark::State& state, std::size_t receivers) {
  state.counters["receivers"] = static_cast<double>(receivers);
  state.counters["per_receiver"] = benchmark::Counter(
      static_cast<double>(state.iterations() * receivers),
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// A fresh plan per call, from every sender in turn.
void BM_MulticastFanOut(benchmark::State& state) {
  const auto size = static_cast<std::size_t>(state.range(0));
  const auto receivers = spread_receivers(size, 1);
  std::uint16_t sender = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(board().multicast(next_sender(sender), receivers, count, 0));
  }
  report_per_receiver(state, size);
}
BENCHMARK(BM_MulticastFanOut)->Arg(1)->Arg(2)->Arg(8)->Arg(64)->Arg(512)->Arg(1471);

// Partner pairs (2k, 2k + 1) whose k are spread `stride` apart.
void BM_PairedMulticastFanOut(benchmark::State& state) {
  const auto size = static_cast<std::size_t>(state.range(0));
  std::vector<std::uint16_t> receivers;
  for (std::size_t i = 0; i < size / 2; ++i) {
    const auto pair = static_cast<std::uint16_t>((i * stride) % (tile_count / 2));
    receivers.push_back(static_cast<std::uint16_t>(2 * pair));
    receivers.push_back(static_cast<std::uint16_t>(2 * pair + 1));
  }
  std::uint16_t sender = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(board().paired_multicast(next_sender(sender), receivers, count));
  }
  report_per_receiver(state, size);
}
BENCHMARK(BM_PairedMulticastFanOut)->Arg(2)->Arg(8)->Arg(64)->Arg(512)->Arg(1472);

}  // namespace

BENCHMARK_MAIN();
