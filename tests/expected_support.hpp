// Shared helpers for tests that compare std::expected results with errors.
#ifndef ZERIN_EXCHANGE_TESTS_EXPECTED_SUPPORT_HPP
#define ZERIN_EXCHANGE_TESTS_EXPECTED_SUPPORT_HPP

#include <expected>
#include <optional>
#include <string_view>

#include "zerin/exchange/errors.hpp"

namespace zerin::exchange::testing {

// The error of a result, or nothing on success: lets EXPECT_EQ print both sides.
template <class T>
std::optional<ExchangeError> error_of(const std::expected<T, ExchangeError>& result) {
  if (result) return std::nullopt;
  return result.error();
}

inline ExchangeError schedule(ScheduleReason reason) {
  return ExchangeError::schedule(reason);
}

}  // namespace zerin::exchange::testing

#endif  // ZERIN_EXCHANGE_TESTS_EXPECTED_SUPPORT_HPP
