// Plan values returned by the planners (declared on `Topology`).
//
// Thread-safety: plain values.
#ifndef ZERIN_EXCHANGE_PLANS_HPP
#define ZERIN_EXCHANGE_PLANS_HPP

#include <vector>

#include "zerin/exchange/rows.hpp"

namespace zerin::exchange {

// Result of Topology::point_to_point.
struct Plan {
  ExchangeRow sender{};
  ExchangeRow receiver{};
  friend bool operator==(const Plan&, const Plan&) = default;
};

// Result of Topology::multicast and Topology::paired_multicast: one receiver row
// per requested receiver, in the order the receivers were given (never sorted).
struct MulticastPlan {
  ExchangeRow sender{};
  std::vector<ExchangeRow> receivers;
  friend bool operator==(const MulticastPlan&, const MulticastPlan&) = default;
};

}  // namespace zerin::exchange

#endif  // ZERIN_EXCHANGE_PLANS_HPP
