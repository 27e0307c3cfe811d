/// @file
/// Plan values returned by the planners (declared on `Topology`).
///
/// Thread-safety: plain values.
#ifndef ZERIN_EXCHANGE_PLANS_HPP
#define ZERIN_EXCHANGE_PLANS_HPP

#include "zerin/exchange/export.hpp"

#include <vector>

#include "zerin/exchange/rows.hpp"

namespace zerin::exchange {

/// Result of Topology::point_to_point.
struct Plan {
  ExchangeRow sender{};  ///< The sender's row.
  ExchangeRow
      receiver{};  ///< The receiver's row: the value 1, then the sync word and its timed words.
  /// Member-wise equality.
  friend bool operator==(const Plan&, const Plan&) = default;
};

/// Result of Topology::multicast and Topology::paired_multicast: one receiver row
/// per requested receiver, in the order the receivers were given (never sorted).
struct MulticastPlan {
  ExchangeRow sender{};                ///< The sender's row.
  std::vector<ExchangeRow> receivers;  ///< One row per receiver, in request order.
  /// Member-wise equality.
  friend bool operator==(const MulticastPlan&, const MulticastPlan&) = default;
};

}  // namespace zerin::exchange

#endif  // ZERIN_EXCHANGE_PLANS_HPP
