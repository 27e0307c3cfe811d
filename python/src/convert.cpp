#include "convert.hpp"

#include "values.hpp"

namespace zerin::exchange::python {

void raise(PyObject* type, const std::string& message) {
  PyErr_SetString(type, message.c_str());
  throw py::error_already_set();
}

std::string type_name(py::handle value) {
  return Py_TYPE(value.ptr())->tp_name;
}

namespace {

[[noreturn]] void raise_range(py::handle value, std::string_view name, long long lowest,
                              long long highest) {
  raise(PyExc_OverflowError, std::string(name) + " must be an int in " + std::to_string(lowest) +
                                 "..=" + std::to_string(highest) + ", got " +
                                 std::string(py::str(py::repr(value))));
}

// Text, bytes and bytearray are sequences, but never of tiles or words.
bool is_text_like(py::handle value) {
  return PyUnicode_Check(value.ptr()) || PyBytes_Check(value.ptr()) ||
         PyByteArray_Check(value.ptr());
}

// Calls `each(item, index)` for every item of a sequence or iterable.
template <class F>
void for_each_item(py::handle values, std::string_view name, std::string_view what, F&& each) {
  if (is_text_like(values) || values.is_none()) {
    raise(PyExc_TypeError,
          std::string(name) + " must be " + std::string(what) + ", not " + type_name(values));
  }
  if (PyList_Check(values.ptr()) || PyTuple_Check(values.ptr())) {
    PyObject** items = PySequence_Fast_ITEMS(values.ptr());
    const Py_ssize_t size = PySequence_Fast_GET_SIZE(values.ptr());
    for (Py_ssize_t i = 0; i < size; ++i) each(py::handle(items[i]), static_cast<std::size_t>(i));
    return;
  }
  PyObject* iterator = PyObject_GetIter(values.ptr());
  if (iterator == nullptr) {
    PyErr_Clear();
    raise(PyExc_TypeError,
          std::string(name) + " must be " + std::string(what) + ", not " + type_name(values));
  }
  const auto owned = py::reinterpret_steal<py::object>(iterator);
  std::size_t index = 0;
  while (PyObject* item = PyIter_Next(iterator)) {
    const auto held = py::reinterpret_steal<py::object>(item);
    each(py::handle(item), index++);
  }
  if (PyErr_Occurred()) throw py::error_already_set();
}

std::string item_name(std::string_view name, std::size_t index) {
  return std::string(name) + "[" + std::to_string(index) + "]";
}

}  // namespace

long long to_integer(py::handle value, std::string_view name, long long lowest, long long highest) {
  PyObject* object = value.ptr();
  py::object index;
  if (!PyLong_CheckExact(object)) {
    // bool is an int to Python, never a tile or a count; floats never convert.
    if (PyBool_Check(object) || PyFloat_Check(object) || !PyIndex_Check(object)) {
      raise(PyExc_TypeError, std::string(name) + " must be an int, not " + type_name(value));
    }
    index = py::reinterpret_steal<py::object>(PyNumber_Index(object));
    if (!index) throw py::error_already_set();
    object = index.ptr();
  }
  int overflow = 0;
  const long long result = PyLong_AsLongLongAndOverflow(object, &overflow);
  if (result == -1 && PyErr_Occurred()) throw py::error_already_set();
  if (overflow != 0 || result < lowest || result > highest) {
    raise_range(value, name, lowest, highest);
  }
  return result;
}

void to_u16_list(py::handle values, std::string_view name, std::vector<std::uint16_t>& out) {
  out.clear();
  for_each_item(values, name, "a sequence of ints", [&](py::handle item, std::size_t index) {
    out.push_back(to_int_item<std::uint16_t>(item, [&] { return item_name(name, index); }));
  });
}

void to_u32_list(py::handle values, std::string_view name, std::vector<std::uint32_t>& out) {
  out.clear();
  if (py::isinstance<Row>(values)) {
    const ExchangeRow& row = values.cast<const Row&>().words;
    out.assign(row.begin(), row.end());
    return;
  }
  for_each_item(values, name, "a sequence of ints", [&](py::handle item, std::size_t index) {
    out.push_back(to_int_item<std::uint32_t>(item, [&] { return item_name(name, index); }));
  });
}

ExchangeRow to_row(py::handle value, std::string_view name) {
  if (py::isinstance<Row>(value)) return value.cast<const Row&>().words;
  ExchangeRow row{};
  std::size_t length = 0;
  for_each_item(value, name, "a Row or a sequence of 9 ints",
                [&](py::handle item, std::size_t index) {
                  if (index < row_length) row[index] = to_u32(item, item_name(name, index));
                  length = index + 1;
                });
  if (length != row_length) {
    raise(PyExc_ValueError, std::string(name) + " must have " + std::to_string(row_length) +
                                " words, got " + std::to_string(length));
  }
  return row;
}

}  // namespace zerin::exchange::python
