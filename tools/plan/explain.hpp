// Why a receiver list was refused. The planners answer every faulty list with
// the one error ReceiverSet; these walk the list through the same checks, in
// the planner's order, and name each receiver that fails one and why.
#ifndef ZERIN_PLAN_EXPLAIN_HPP
#define ZERIN_PLAN_EXPLAIN_HPP

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "zerin/exchange.hpp"

namespace zerin::plan {

// For multicast: empty list, the sender alone, repeats, tiles not on the board.
std::vector<std::string> explain_multicast_receivers(const exchange::Topology& topology,
                                                     std::uint16_t sender,
                                                     std::span<const std::uint16_t> receivers);

// For paired: empty or odd list, repeats, receivers without a partner or whose
// partner is not in the list (for example "receiver 4: its partner 5 is not in the list").
std::vector<std::string> explain_paired_receivers(const exchange::Topology& topology,
                                                  std::span<const std::uint16_t> receivers);

}  // namespace zerin::plan

#endif  // ZERIN_PLAN_EXPLAIN_HPP
