// Strict conversion of Python arguments to the library's fixed-width integers,
// rows and tile lists. Nothing wraps: a value outside the C++ parameter's range
// raises OverflowError, a value of the wrong type TypeError, a row of the wrong
// length ValueError, each message naming the argument.
#ifndef ZERIN_EXCHANGE_PYTHON_CONVERT_HPP
#define ZERIN_EXCHANGE_PYTHON_CONVERT_HPP

#include <pybind11/pybind11.h>

#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "zerin/exchange.hpp"

namespace zerin::exchange::python {

namespace py = pybind11;

// Sets a Python exception of `type` with `message` and throws it to pybind11.
[[noreturn]] void raise(PyObject* type, const std::string& message);

// The integer value of `value`, which must be an int (or an object with
// __index__, but not a bool or a float) within [lowest, highest].
long long to_integer(py::handle value, std::string_view name, long long lowest, long long highest);

template <class T>
T to_int(py::handle value, std::string_view name) {
  // Types wider than long long (std::size_t) are read up to its maximum.
  constexpr auto highest = static_cast<unsigned long long>(std::numeric_limits<T>::max());
  constexpr auto limit = static_cast<unsigned long long>(std::numeric_limits<long long>::max());
  return static_cast<T>(to_integer(value, name, std::numeric_limits<T>::min(),
                                   static_cast<long long>(highest < limit ? highest : limit)));
}

// to_int() for items of a list: exact ints in range are read at once, and the
// item's name, `name()`, is built only for a value that needs more work.
template <class T, class Name>
T to_int_item(py::handle value, Name&& name) {
  static_assert(sizeof(T) < sizeof(long long), "the range of T fits long long");
  if (PyLong_CheckExact(value.ptr())) {
    int overflow = 0;
    const long long result = PyLong_AsLongLongAndOverflow(value.ptr(), &overflow);
    if (overflow == 0 && result >= std::numeric_limits<T>::min() &&
        result <= std::numeric_limits<T>::max()) {
      return static_cast<T>(result);
    }
    PyErr_Clear();
  }
  return to_int<T>(value, name());
}

inline std::uint16_t to_u16(py::handle value, std::string_view name) {
  return to_int<std::uint16_t>(value, name);
}
inline std::uint32_t to_u32(py::handle value, std::string_view name) {
  return to_int<std::uint32_t>(value, name);
}
inline std::int32_t to_i32(py::handle value, std::string_view name) {
  return to_int<std::int32_t>(value, name);
}

// A sequence of ints (any iterable but str, bytes and bytearray) as 16-bit
// tiles, written into `out` (cleared first) so that callers can reuse its storage.
void to_u16_list(py::handle values, std::string_view name, std::vector<std::uint16_t>& out);
// The same for 32-bit words.
void to_u32_list(py::handle values, std::string_view name, std::vector<std::uint32_t>& out);

// A row: a Row, or a sequence of exactly row_length ints of 32 bits.
ExchangeRow to_row(py::handle value, std::string_view name);

// Python's own name of the type of `value`, for messages.
std::string type_name(py::handle value);

}  // namespace zerin::exchange::python

#endif  // ZERIN_EXCHANGE_PYTHON_CONVERT_HPP
