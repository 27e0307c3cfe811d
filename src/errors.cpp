#include "zerin/exchange/errors.hpp"

#include <cstddef>
#include <expected>
#include <ostream>
#include <string_view>
#include <variant>

#include "text.hpp"
#include "zerin/exchange/words.hpp"

namespace zerin::exchange {

// At 24 bytes a `std::expected<void, ExchangeError>` is returned in the caller's
// own slot, where a success stores one byte. A 16-byte result would come back in
// two registers, read from a temporary whose narrow fields were just stored: a
// store-forwarding stall on every successful call.
static_assert(sizeof(std::expected<void, ExchangeError>) == 24,
              "results return in the caller's slot");

namespace {

template <class... Ts>
struct Overloaded : Ts... {
  using Ts::operator()...;
};

using detail::append_unsigned;

}  // namespace

void append_display(std::string& out, const ExchangeError& error) {
  using E = ExchangeError;
  std::visit(
      Overloaded{
          [&](const E::ValidationBudgetExceeded&) {
            out += "exchange incremental-encoding work budget exhausted";
          },
          [&](const E::Tile& e) {
            out += "logical tile ";
            append_unsigned(out, e.tile);
            out += " is out of range";
          },
          [&](const E::DuplicateTile&) { out += "exchange endpoints must be distinct"; },
          [&](const E::Count& e) {
            out += "exchange count ";
            append_unsigned(out, e.count);
            out += " is outside 1..=";
            append_unsigned(out, maximum_transfer_count);
          },
          [&](const E::ReceiverSet&) { out += "invalid multicast receiver set"; },
          [&](const E::Schedule& e) {
            out += "exchange schedule is not encodable: ";
            out += reason_text(e.reason);
          },
          [&](const E::PlanOffsetRange& e) {
            out += "exchange event offset ";
            append_unsigned(out, e.cycles);
            out += " cycles from the phase-entry sync exceeds the encodable maximum of ";
            append_unsigned(out, e.maximum);
            out += " cycles";
          },
          [&](const E::Address& e) {
            out += "tile address 0x";
            append_unsigned(out, e.address, 16);
            out += " is not encodable";
          },
          [&](const E::HostPacket&) { out += "host exchange address or length is not encodable"; },
      },
      error.value());
}

namespace detail {

namespace {

// The longest reason text, for the room of `Schedule("...")`.
constexpr std::size_t longest_reason = [] {
  std::size_t longest = 0;
  for (const std::string_view text : schedule_reason_texts) {
    longest = text.size() > longest ? text.size() : longest;
  }
  return longest;
}();
static_assert(std::string_view("Schedule(\"\")").size() + longest_reason <= error_debug_max_size);

}  // namespace

char* put_debug(char* p, const ExchangeError& error) noexcept {
  using E = ExchangeError;
  auto tuple = [&p](std::string_view name, std::uint32_t value) {
    p = put(p, name);
    *p++ = '(';
    p = put_decimal(p, value);
    *p++ = ')';
  };
  std::visit(
      Overloaded{
          [&](const E::ValidationBudgetExceeded&) { p = put(p, "ValidationBudgetExceeded"); },
          [&](const E::Tile& e) { tuple("Tile", e.tile); },
          [&](const E::DuplicateTile&) { p = put(p, "DuplicateTile"); },
          [&](const E::Count& e) { tuple("Count", e.count); },
          [&](const E::ReceiverSet&) { p = put(p, "ReceiverSet"); },
          [&](const E::Schedule& e) {
            p = put(p, "Schedule(\"");
            p = put(p, reason_text(e.reason));
            p = put(p, "\")");
          },
          [&](const E::PlanOffsetRange& e) {
            p = put(p, "PlanOffsetRange { cycles: ");
            p = put_decimal(p, e.cycles);
            p = put(p, ", maximum: ");
            p = put_decimal(p, e.maximum);
            p = put(p, " }");
          },
          [&](const E::Address& e) { tuple("Address", e.address); },
          [&](const E::HostPacket&) { p = put(p, "HostPacket"); },
      },
      error.value());
  return p;
}

}  // namespace detail

void append_debug(std::string& out, const ExchangeError& error) {
  char buffer[detail::error_debug_max_size];
  out.append(buffer, detail::put_debug(buffer, error));
}

std::string to_string(const ExchangeError& error) {
  std::string out;
  append_display(out, error);
  return out;
}

std::string debug_string(const ExchangeError& error) {
  std::string out;
  append_debug(out, error);
  return out;
}

std::ostream& operator<<(std::ostream& os, const ExchangeError& error) {
  return os << to_string(error);
}

}  // namespace zerin::exchange
