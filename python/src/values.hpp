// The library's value types as Python classes: rows, plans, timings, receive
// events and decoded words.
#ifndef ZERIN_EXCHANGE_PYTHON_VALUES_HPP
#define ZERIN_EXCHANGE_PYTHON_VALUES_HPP

#include <pybind11/pybind11.h>

#include <memory>
#include <string>
#include <vector>

#include "zerin/exchange.hpp"

namespace zerin::exchange::python {

namespace py = pybind11;

// An immutable row of nine words.
struct Row {
  ExchangeRow words{};
  friend bool operator==(const Row&, const Row&) = default;
};

// An immutable sequence of rows in one buffer (a multicast plan's receiver
// rows, or the rows of a bulk call).
struct Rows {
  std::shared_ptr<const std::vector<ExchangeRow>> rows;
  friend bool operator==(const Rows& left, const Rows& right) { return *left.rows == *right.rows; }
};

inline Rows make_rows(std::vector<ExchangeRow>&& rows) {
  return Rows{std::make_shared<const std::vector<ExchangeRow>>(std::move(rows))};
}

// Result of multicast() and paired_multicast().
struct MulticastPlanValue {
  ExchangeRow sender{};
  Rows receivers;
  friend bool operator==(const MulticastPlanValue&, const MulticastPlanValue&) = default;
};

inline MulticastPlanValue make_multicast_plan(MulticastPlan&& plan) {
  return {plan.sender, make_rows(std::move(plan.receivers))};
}

// A word as eight lower-case hex digits (after "0x" with `prefix`).
void append_hex(std::string& out, std::uint32_t word, bool prefix);

// DecodedInstruction: a small type of its own rather than a pybind11 class,
// because decode_row() makes one per word and pybind11 instances cost several
// times more to create. Adds the class to `module` (after WordKind).
void bind_decoded_instruction(py::module_& module);
// A new DecodedInstruction object.
py::object make_decoded(const DecodedInstruction& decoded);
// The value of a DecodedInstruction object, or nullptr for any other object.
const DecodedInstruction* decoded_value(py::handle object);

// Adds the value classes and enums to `module`.
void bind_values(py::module_& module);

}  // namespace zerin::exchange::python

#endif  // ZERIN_EXCHANGE_PYTHON_VALUES_HPP
