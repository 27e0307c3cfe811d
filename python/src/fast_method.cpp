#include "fast_method.hpp"

#include <string>

#include "convert.hpp"

namespace zerin::exchange::python {

FastArguments parse_fast_arguments(const FastMethod& method, PyObject* const* arguments,
                                   Py_ssize_t positional, PyObject* keywords) {
  FastArguments out{};
  std::size_t count = 0;
  while (count < method.parameters.size() && method.parameters[count] != nullptr) ++count;
  const std::string name = method.name;
  if (positional < 0 || static_cast<std::size_t>(positional) > count) {
    raise(PyExc_TypeError, name + "() takes at most " + std::to_string(count) + " arguments (" +
                               std::to_string(positional) + " given)");
  }
  for (Py_ssize_t i = 0; i < positional; ++i) out[static_cast<std::size_t>(i)] = arguments[i];
  const Py_ssize_t named = keywords == nullptr ? 0 : PyTuple_GET_SIZE(keywords);
  for (Py_ssize_t k = 0; k < named; ++k) {
    PyObject* keyword = PyTuple_GET_ITEM(keywords, k);
    std::size_t index = 0;
    while (index < count &&
           PyUnicode_CompareWithASCIIString(keyword, method.parameters[index]) != 0) {
      ++index;
    }
    if (index == count) {
      raise(PyExc_TypeError, name + "() got an unexpected keyword argument " +
                                 std::string(py::str(py::repr(keyword))));
    }
    if (out[index]) {
      raise(PyExc_TypeError,
            name + "() got multiple values for argument '" + method.parameters[index] + "'");
    }
    out[index] = arguments[positional + k];
  }
  for (std::size_t i = 0; i < method.required; ++i) {
    if (!out[i]) {
      raise(PyExc_TypeError, name + "() missing required argument '" + method.parameters[i] + "'");
    }
  }
  return out;
}

}  // namespace zerin::exchange::python
