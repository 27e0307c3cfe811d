// ExchangeError and InternalFault as Python exceptions.
#ifndef ZERIN_EXCHANGE_PYTHON_ERRORS_HPP
#define ZERIN_EXCHANGE_PYTHON_ERRORS_HPP

#include <pybind11/pybind11.h>

#include <expected>
#include <utility>

#include "zerin/exchange.hpp"

namespace zerin::exchange::python {

namespace py = pybind11;

// Adds ExchangeError, its one subclass per variant and InternalFault to `module`.
void bind_errors(py::module_& module);

// Raises the Python exception of `error`'s variant.
[[noreturn]] void raise_error(const ExchangeError& error);

// The value of `result`, or its error raised.
template <class T>
T unwrap(std::expected<T, ExchangeError>&& result) {
  if (!result) raise_error(result.error());
  return std::move(*result);
}
inline void unwrap(std::expected<void, ExchangeError>&& result) {
  if (!result) raise_error(result.error());
}

}  // namespace zerin::exchange::python

#endif  // ZERIN_EXCHANGE_PYTHON_ERRORS_HPP
