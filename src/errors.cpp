#include "zerin/exchange/errors.hpp"

#include <ostream>

#include "text.hpp"
#include "zerin/exchange/words.hpp"

namespace zerin::exchange {
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

template <class Out>
void put_debug(Out& out, const ExchangeError& error) {
  using E = ExchangeError;
  auto tuple = [&](std::string_view name, std::uint64_t value) {
    out.append(name);
    out.append("(");
    append_unsigned(out, value);
    out.append(")");
  };
  std::visit(
      Overloaded{
          [&](const E::ValidationBudgetExceeded&) { out.append("ValidationBudgetExceeded"); },
          [&](const E::Tile& e) { tuple("Tile", e.tile); },
          [&](const E::DuplicateTile&) { out.append("DuplicateTile"); },
          [&](const E::Count& e) { tuple("Count", e.count); },
          [&](const E::ReceiverSet&) { out.append("ReceiverSet"); },
          [&](const E::Schedule& e) { put_schedule_debug(out, reason_text(e.reason)); },
          [&](const E::PlanOffsetRange& e) {
            out.append("PlanOffsetRange { cycles: ");
            append_unsigned(out, e.cycles);
            out.append(", maximum: ");
            append_unsigned(out, e.maximum);
            out.append(" }");
          },
          [&](const E::Address& e) { tuple("Address", e.address); },
          [&](const E::HostPacket&) { out.append("HostPacket"); },
      },
      error.value());
}

template void put_debug(std::string&, const ExchangeError&);
template void put_debug(BufferText&, const ExchangeError&);

}  // namespace detail

void append_debug(std::string& out, const ExchangeError& error) {
  detail::put_debug(out, error);
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
