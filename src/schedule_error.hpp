// The common failure return of the library's operations.
#ifndef ZERIN_EXCHANGE_SRC_SCHEDULE_ERROR_HPP
#define ZERIN_EXCHANGE_SRC_SCHEDULE_ERROR_HPP

#include <expected>

#include "zerin/exchange/errors.hpp"

namespace zerin::exchange::detail {

// A Schedule error with `reason`, ready to return from any std::expected.
inline std::unexpected<ExchangeError> schedule_error(ScheduleReason reason) noexcept {
  return std::unexpected(ExchangeError::schedule(reason));
}

}  // namespace zerin::exchange::detail

#endif  // ZERIN_EXCHANGE_SRC_SCHEDULE_ERROR_HPP
