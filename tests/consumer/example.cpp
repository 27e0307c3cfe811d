#include <cstdio>
#include <zerin/exchange.hpp>

int main() {
  namespace zx = zerin::exchange;
  // On an r470 board, logical tile 0 sends 100 words to logical tile 2.
  const auto plan = zx::Topology::r470().point_to_point(0, 2, 100);
  if (!plan) {
    std::fprintf(stderr, "%s\n", zx::to_string(plan.error()).c_str());
    return 1;
  }
  for (const zx::ExchangeRow& row : {plan->sender, plan->receiver}) {
    for (const std::uint32_t word : row) std::printf(" %08x", word);
    std::printf("\n");
  }
}
