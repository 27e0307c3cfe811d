#include "zerin/exchange/rows.hpp"

#include "rows_internal.hpp"

namespace zerin::exchange {

std::expected<ExchangeRow, ExchangeError> primitive_sender_row(std::uint32_t count,
                                                               std::uint32_t direction,
                                                               std::int32_t sender_delay) noexcept {
  ExchangeRow row{};
  if (auto laid = detail::lay_primitive_sender_row(row, count, direction, sender_delay); !laid) {
    return std::unexpected(laid.error());
  }
  return row;
}

bool ordinary_receiver_tail_fits(std::uint32_t count, std::uint32_t receiver_phase) noexcept {
  return detail::ordinary_receiver_tail_fits(count, receiver_phase);
}

std::array<std::uint32_t, 4> ordinary_receiver_tail(std::uint32_t count,
                                                    std::uint32_t receiver_phase,
                                                    std::uint32_t address) noexcept {
  return detail::ordinary_receiver_tail(count, receiver_phase, address);
}

}  // namespace zerin::exchange
