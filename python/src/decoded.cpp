#include <array>
#include <new>
#include <string>

#include "convert.hpp"
#include "fast_method.hpp"
#include "values.hpp"

namespace zerin::exchange::python {
namespace {

struct DecodedObject {
  PyObject_HEAD DecodedInstruction value;
};

// The named fields of a decoded word, in the word-kind table's order, as a new dict.
py::dict decoded_fields(const DecodedInstruction& decoded) {
  py::dict out;
  for (const DecodedField& field : decoded.fields()) {
    out[py::str(field.name.data(), field.name.size())] = field.value;
  }
  return out;
}

PyTypeObject* decoded_type = nullptr;
// The WordKind members, by value, made once.
std::array<PyObject*, static_cast<std::size_t>(WordKind::Unknown) + 1> kind_objects{};

const DecodedInstruction& value_of(PyObject* self) {
  return reinterpret_cast<DecodedObject*>(self)->value;
}

// The body of a C-level method: pybind11 errors become Python errors.
template <class F>
PyObject* guarded(F&& body) noexcept {
  try {
    return body().release().ptr();
  } catch (...) {
    set_python_error_from_current_exception();
    return nullptr;
  }
}

void decoded_dealloc(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  type->tp_free(self);
  Py_DECREF(type);
}

PyObject* get_word(PyObject* self, void*) {
  return PyLong_FromUnsignedLong(value_of(self).word);
}
PyObject* get_kind(PyObject* self, void*) {
  PyObject* kind = kind_objects[static_cast<std::size_t>(value_of(self).kind)];
  Py_INCREF(kind);
  return kind;
}
PyObject* get_fields(PyObject* self, void*) {
  return guarded([&] { return decoded_fields(value_of(self)); });
}
PyObject* get_advance(PyObject* self, void*) {
  return PyLong_FromUnsignedLong(value_of(self).advance);
}

PyObject* decoded_str(PyObject* self) {
  return guarded([&] { return py::str(describe(value_of(self))); });
}

PyObject* decoded_repr(PyObject* self) {
  return guarded([&] {
    const DecodedInstruction& d = value_of(self);
    std::string out = "DecodedInstruction(word=";
    append_hex(out, d.word, true);
    out += ", kind=" + std::string(py::str(kind_objects[static_cast<std::size_t>(d.kind)]));
    out += ", fields=" + std::string(py::str(py::repr(decoded_fields(d))));
    return py::str(out + ", advance=" + std::to_string(d.advance) + ")");
  });
}

PyObject* decoded_richcompare(PyObject* self, PyObject* other, int op) {
  if ((op != Py_EQ && op != Py_NE) || Py_TYPE(other) != Py_TYPE(self)) Py_RETURN_NOTIMPLEMENTED;
  const bool equal = value_of(self) == value_of(other);
  return PyBool_FromLong((op == Py_EQ) == equal);
}

// The word and its kind decide every field.
Py_hash_t decoded_hash(PyObject* self) {
  const DecodedInstruction& d = value_of(self);
  const Py_hash_t hash = static_cast<Py_hash_t>(
      (std::uint64_t{d.word} << 8 | static_cast<std::uint64_t>(d.kind)) * 0x9E3779B97F4A7C15u >> 2);
  return hash == -1 ? -2 : hash;
}

PyGetSetDef decoded_getset[] = {
    {"word", get_word, nullptr, "The word decoded.", nullptr},
    {"kind", get_kind, nullptr, "The word's WordKind.", nullptr},
    {"fields", get_fields, nullptr, "The fields by name, as a new dict.", nullptr},
    {"advance", get_advance, nullptr,
     "Cycles the word occupies in a row (0 for a SENDPICP payload word).", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

const char decoded_doc[] =
    "A word decoded into its kind and named fields (values as stored, before the + 1 that "
    "turns an operand into cycles). str() is its one-line description. Made only by the "
    "decoder.";

PyType_Slot decoded_slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(decoded_dealloc)},
    {Py_tp_getset, decoded_getset},
    {Py_tp_str, reinterpret_cast<void*>(decoded_str)},
    {Py_tp_repr, reinterpret_cast<void*>(decoded_repr)},
    {Py_tp_richcompare, reinterpret_cast<void*>(decoded_richcompare)},
    {Py_tp_hash, reinterpret_cast<void*>(decoded_hash)},
    {Py_tp_doc, const_cast<char*>(decoded_doc)},
    {0, nullptr},
};

PyType_Spec decoded_type_description = {
    "zerin_exchange.DecodedInstruction",
    sizeof(DecodedObject),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE | Py_TPFLAGS_DISALLOW_INSTANTIATION,
    decoded_slots,
};

}  // namespace

void bind_decoded_instruction(py::module_& module) {
  static_assert(std::is_trivially_destructible_v<DecodedInstruction>);
  auto type = py::reinterpret_steal<py::object>(PyType_FromSpec(&decoded_type_description));
  if (!type) throw py::error_already_set();
  for (std::size_t i = 0; i < kind_objects.size(); ++i) {
    kind_objects[i] = py::cast(static_cast<WordKind>(i)).release().ptr();
  }
  module.attr("DecodedInstruction") = type;
  // Kept for the life of the process, as the module keeps it.
  decoded_type = reinterpret_cast<PyTypeObject*>(type.release().ptr());
}

py::object make_decoded(const DecodedInstruction& decoded) {
  PyObject* object = decoded_type->tp_alloc(decoded_type, 0);
  if (object == nullptr) throw py::error_already_set();
  new (&reinterpret_cast<DecodedObject*>(object)->value) DecodedInstruction(decoded);
  return py::reinterpret_steal<py::object>(object);
}

const DecodedInstruction* decoded_value(py::handle object) {
  if (Py_TYPE(object.ptr()) != decoded_type) return nullptr;
  return &value_of(object.ptr());
}

}  // namespace zerin::exchange::python
