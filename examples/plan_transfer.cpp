// examples/plan_transfer.cpp: plan a point-to-point transfer, print its rows,
// and handle a request the planner refuses.
#include <cstdio>
#include <zerin/exchange.hpp>

namespace zx = zerin::exchange;

// Prints both rows of a transfer of `count` words from tile `from` to tile `to`,
// or the reason the planner gives for refusing it. Returns whether it planned.
bool show(const zx::Topology& board, std::uint16_t from, std::uint16_t to, std::uint32_t count) {
  std::printf("tile %u -> tile %u, %u words:\n", from, to, count);
  const auto plan = board.point_to_point(from, to, count);
  if (!plan) {
    // to_string() is the sentence for people, debug_string() the variant and its values.
    std::printf("  refused: %s [%s]\n", zx::to_string(plan.error()).c_str(),
                zx::debug_string(plan.error()).c_str());
    return false;
  }
  for (const auto& [name, row] :
       {std::pair{"sender  ", plan->sender}, std::pair{"receiver", plan->receiver}}) {
    std::printf("  %s", name);
    for (const std::uint32_t word : row) std::printf(" %08x", word);
    std::printf("\n");
  }
  return true;
}

int main() {
  const zx::Topology board = zx::Topology::r470();
  const bool planned = show(board, 0, 2, 100);
  const bool refused = !show(board, 0, 2, 5000);  // more words than one transfer moves
  return planned && refused ? 0 : 1;
}
