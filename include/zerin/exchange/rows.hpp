// Row builders shared by the point-to-point and multicast planners.
//
// Thread-safety: pure functions.
#ifndef ZERIN_EXCHANGE_ROWS_HPP
#define ZERIN_EXCHANGE_ROWS_HPP

#include <array>
#include <cstdint>
#include <expected>

#include "zerin/exchange/errors.hpp"
#include "zerin/exchange/export.hpp"
#include "zerin/exchange/words.hpp"

namespace zerin::exchange {

// A whole sender row: sync; a plain delay of `sender_delay` (absent when
// negative); a send word for the first up to 64 words; a send-off word for the
// rest; a plain delay of 4 - sender_delay - count when that is 0 or more; return;
// zero fill. Requires count >= 1 (run validate_count first) and sender_delay <= 0x7FFFF.
// Error: Schedule "send instruction operand" when `direction` > 7.
ZERIN_EXCHANGE_API std::expected<ExchangeRow, ExchangeError> primitive_sender_row(
    std::uint32_t count, std::uint32_t direction, std::int32_t sender_delay) noexcept;

// The last four words of an ordinary receiver row: the XPIC and PIC controls
// that take the data off the exchange (the PIC word always ends
// receiver_phase + 52 cycles after the tail begins), a closing delay and the
// return word. Requires count >= 1; a PIC operand of 128 or more loses its high bits.
ZERIN_EXCHANGE_API std::array<std::uint32_t, 4> ordinary_receiver_tail(
    std::uint32_t count, std::uint32_t receiver_phase, std::uint32_t address) noexcept;

// Whether ordinary_receiver_tail(count, receiver_phase, ...) can encode its PIC
// word without losing bits: true for every phase of a board with physical tiles
// below 2496 (all r470 tiles); the planners refuse a receiver where it is false.
ZERIN_EXCHANGE_API bool ordinary_receiver_tail_fits(std::uint32_t count,
                                                    std::uint32_t receiver_phase) noexcept;

}  // namespace zerin::exchange

#endif  // ZERIN_EXCHANGE_ROWS_HPP
