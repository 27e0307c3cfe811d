// Methods called through CPython's own fast calling convention instead of
// pybind11's dispatcher, for the planners: a call from Python then costs about
// half as much (see python/bench/bench.py).
#ifndef ZERIN_EXCHANGE_PYTHON_FAST_METHOD_HPP
#define ZERIN_EXCHANGE_PYTHON_FAST_METHOD_HPP

#include <pybind11/pybind11.h>

#include <array>
#include <cstddef>

namespace zerin::exchange::python {

namespace py = pybind11;

// Most parameters a fast method takes.
inline constexpr std::size_t fast_method_arity = 4;
using FastArguments = std::array<py::handle, fast_method_arity>;

struct FastMethod {
  const char* name;
  // The parameters' names (null after the last); the first `required` must be given.
  std::array<const char*, fast_method_arity> parameters;
  std::size_t required;
  // The method itself; an argument not given is a null handle.
  py::object (*body)(py::handle self, const FastArguments& arguments);
};

// Matches positional and keyword arguments to the method's parameters, raising
// TypeError as Python functions do for too many, unknown, repeated or missing ones.
FastArguments parse_fast_arguments(const FastMethod& method, PyObject* const* arguments,
                                   Py_ssize_t positional, PyObject* keywords);

// Sets the Python error for the C++ exception being handled (a pybind11 error,
// InternalFault, or anything else).
void set_python_error_from_current_exception() noexcept;

template <const FastMethod& M>
PyObject* call_fast_method(PyObject* self, PyObject* const* arguments, Py_ssize_t count,
                           PyObject* keywords) noexcept {
  try {
    return M.body(self, parse_fast_arguments(M, arguments, count, keywords)).release().ptr();
  } catch (...) {
    set_python_error_from_current_exception();
    return nullptr;
  }
}

// Adds method M to the class `cls`. `doc` starts with the text signature
// ("name($self, /, a, b=0)\n--\n\n") so that inspect.signature() reads it.
template <const FastMethod& M>
void add_fast_method(py::handle cls, const char* doc) {
  static PyMethodDef definition{
      M.name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&call_fast_method<M>)),
      METH_FASTCALL | METH_KEYWORDS, doc};
  PyObject* descriptor = PyDescr_NewMethod(reinterpret_cast<PyTypeObject*>(cls.ptr()), &definition);
  if (descriptor == nullptr) throw py::error_already_set();
  cls.attr(M.name) = py::reinterpret_steal<py::object>(descriptor);
}

}  // namespace zerin::exchange::python

#endif  // ZERIN_EXCHANGE_PYTHON_FAST_METHOD_HPP
