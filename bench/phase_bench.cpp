// Exchange phases: assembling a phase of random transfers over the r470 board,
// and the cost of one more `add` to phases of 1,000, 10,000 and 100,000.
//
// Transfers: multicasts to 1 to 8 receivers and paired transfers of 1 to 4
// pairs, counts 1 to 4148, senders and receivers anywhere on the board. Some
// are refused by the planner (a paired count of 2, for example); they count
// as calls all the same.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "zerin/exchange.hpp"

namespace zx = zerin::exchange;

namespace {

const zx::Topology& board() {
  static const zx::Topology topology = zx::Topology::r470();
  return topology;
}

std::vector<zx::Transfer> random_transfers(std::size_t size, std::uint32_t seed) {
  std::mt19937 rng(seed);
  auto pick = [&](std::uint32_t low, std::uint32_t high) {
    return std::uniform_int_distribution<std::uint32_t>(low, high)(rng);
  };
  auto tile = [&] { return static_cast<std::uint16_t>(pick(0, zx::r470_tile_count - 1)); };
  std::vector<zx::Transfer> out;
  out.reserve(size);
  while (out.size() < size) {
    zx::Transfer transfer;
    transfer.sender = tile();
    transfer.count = pick(1, zx::maximum_transfer_count);
    const bool paired = pick(0, 1) == 1;
    transfer.kind = paired ? zx::TransferKind::PairedMulticast : zx::TransferKind::Multicast;
    const std::uint32_t receivers = paired ? 2 * pick(1, 4) : pick(1, 8);
    while (transfer.receivers.size() < receivers) {
      const std::uint16_t first = paired ? static_cast<std::uint16_t>(tile() & ~1u) : tile();
      auto taken = [&](std::uint16_t t) {
        return t == transfer.sender ||
               std::ranges::find(transfer.receivers, t) != transfer.receivers.end();
      };
      if (taken(first) || (paired && taken(static_cast<std::uint16_t>(first + 1)))) continue;
      transfer.receivers.push_back(first);
      if (paired) transfer.receivers.push_back(static_cast<std::uint16_t>(first + 1));
    }
    out.push_back(std::move(transfer));
  }
  return out;
}

// A whole phase of range(0) transfers, added in order.
void BM_PhaseAssemble(benchmark::State& state) {
  const auto transfers = random_transfers(static_cast<std::size_t>(state.range(0)), 22);
  std::size_t placed = 0;
  std::uint32_t length = 0;
  for (auto _ : state) {
    zx::Phase phase(board());
    placed = 0;
    for (const auto& transfer : transfers) placed += phase.add(transfer).has_value() ? 1 : 0;
    length = phase.length();
    benchmark::DoNotOptimize(length);
  }
  state.counters["placed"] = static_cast<double>(placed);
  state.counters["phase_cycles"] = static_cast<double>(length);
  state.counters["per_add_ns"] = benchmark::Counter(
      static_cast<double>(transfers.size()),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_PhaseAssemble)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

// One more add to a phase that already holds range(0) transfers: the time of
// one call should follow the tiles it touches, not the size of the phase.
void BM_PhaseAddToPhaseOf(benchmark::State& state) {
  const auto size = static_cast<std::size_t>(state.range(0));
  const auto transfers = random_transfers(size, 22);
  const auto more = random_transfers(static_cast<std::size_t>(state.max_iterations), 23);
  zx::Phase phase(board());
  for (const auto& transfer : transfers) (void)phase.add(transfer);
  std::size_t next = 0;
  std::size_t rows = 0;
  std::size_t words = 0;
  for (auto _ : state) {
    const auto& transfer = more[next++];
    auto placed = phase.add(transfer);
    benchmark::DoNotOptimize(placed);
    if (placed) {
      rows += transfer.receivers.size() + 1;
      words += phase.words_laid_by_last_call();
    }
  }
  state.counters["rows_per_add"] = static_cast<double>(rows) / static_cast<double>(next);
  state.counters["words_per_add"] = static_cast<double>(words) / static_cast<double>(next);
  state.counters["phase_cycles"] = static_cast<double>(phase.length());
}
BENCHMARK(BM_PhaseAddToPhaseOf)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Iterations(2000)
    ->Unit(benchmark::kMicrosecond);

// Checking a phase of range(0) transfers.
void BM_PhaseCheck(benchmark::State& state) {
  const auto transfers = random_transfers(static_cast<std::size_t>(state.range(0)), 22);
  zx::Phase phase(board());
  for (const auto& transfer : transfers) (void)phase.add(transfer);
  const auto programs = phase.programs();
  for (auto _ : state) {
    auto found = zx::check_phase(programs, phase.transfers());
    benchmark::DoNotOptimize(found);
  }
}
BENCHMARK(BM_PhaseCheck)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
