// The C++ side of python/bench/bench.py: nanoseconds per call of the calls the
// script also times from Python, one "name ns" line each. Every case runs for
// about `seconds` (first argument, default 0.2) and reports its fastest round.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>
#include <zerin/exchange.hpp>

namespace zx = zerin::exchange;

namespace {

std::uint64_t sink = 0;

template <class F>
double nanoseconds_per_call(double seconds, F&& call) {
  using clock = std::chrono::steady_clock;
  constexpr int rounds = 10;
  double best = 1e300;
  std::uint64_t calls = 1;
  // Grow the batch until one round takes a tenth of the budget.
  for (;;) {
    const auto start = clock::now();
    for (std::uint64_t i = 0; i < calls; ++i) call();
    const double elapsed = std::chrono::duration<double>(clock::now() - start).count();
    if (elapsed > seconds / rounds) break;
    calls *= 2;
  }
  for (int round = 0; round < rounds; ++round) {
    const auto start = clock::now();
    for (std::uint64_t i = 0; i < calls; ++i) call();
    const double elapsed = std::chrono::duration<double>(clock::now() - start).count();
    best = std::min(best, elapsed * 1e9 / static_cast<double>(calls));
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 0.2;
  const zx::Topology topology = zx::Topology::r470();
  // The same inputs as bench.py: 64 receivers at stride 37 after the sender,
  // and 1000 transfers between tiles 7 apart.
  std::vector<std::uint16_t> receivers;
  for (int i = 1; i <= 64; ++i) receivers.push_back(static_cast<std::uint16_t>(i * 37 % 1472));
  const zx::ExchangeRow row = topology.point_to_point(0, 1, 100)->receiver;
  std::vector<std::uint16_t> senders;
  for (int i = 0; i < 1000; ++i) senders.push_back(static_cast<std::uint16_t>(i % 1472));

  std::printf("point_to_point %.1f\n", nanoseconds_per_call(seconds, [&] {
                sink += topology.point_to_point(0, 1, 100)->sender[1];
              }));
  std::printf("multicast_64 %.1f\n", nanoseconds_per_call(seconds, [&] {
                sink += topology.multicast(0, receivers, 100, 0)->receivers.size();
              }));
  std::printf("decode_row %.1f\n", nanoseconds_per_call(seconds, [&] {
                sink += zx::decode_row(row).size();
              }));
  std::printf("point_to_point_1000 %.1f\n", nanoseconds_per_call(seconds, [&] {
                std::vector<zx::ExchangeRow> out;
                out.reserve(2 * senders.size());
                for (const std::uint16_t sender : senders) {
                  const auto plan = topology.point_to_point(
                      sender, static_cast<std::uint16_t>((sender + 7) % 1472), 100);
                  out.push_back(plan->sender);
                  out.push_back(plan->receiver);
                }
                sink += out.size();
              }));
  return sink == 0 ? 1 : 0;
}
