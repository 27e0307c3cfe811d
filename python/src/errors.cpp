#include "errors.hpp"

#include <array>
#include <string>
#include <variant>

#include "convert.hpp"
#include "fast_method.hpp"

namespace zerin::exchange::python {
namespace {

using E = ExchangeError;

template <class... Ts>
struct Overloaded : Ts... {
  using Ts::operator()...;
};

// One Python exception class per variant, in the variant's declaration order.
struct VariantClass {
  const char* name;
  const char* doc;
  std::array<const char*, 2> fields;  // payload attributes, unused ones null
};

constexpr std::array<VariantClass, std::variant_size_v<E::Variant>> variant_classes{{
    {"ValidationBudgetExceededError",
     "The work budget of the incremental encoder ran out (ValidationBudgetExceeded).",
     {}},
    {"TileError",
     "A logical tile is not in the topology (Tile); .tile is the caller's number.",
     {"tile"}},
    {"DuplicateTileError",
     "The two endpoints of a point-to-point transfer are the same tile (DuplicateTile).",
     {}},
    {"CountError",
     "A word count outside 1..=4148 (Count); .count is the rejected count.",
     {"count"}},
    {"ReceiverSetError", "A multicast receiver set fails the planner's checks (ReceiverSet).", {}},
    {"ScheduleError",
     "A row or schedule cannot be encoded (Schedule); .reason is the ScheduleReason.",
     {"reason"}},
    {"PlanOffsetRangeError",
     "An event offset from the phase-entry sync exceeds the largest encodable one "
     "(PlanOffsetRange); .cycles and .maximum.",
     {"cycles", "maximum"}},
    {"AddressError", "A tile memory address cannot be encoded (Address); .address.", {"address"}},
    {"HostPacketError", "A host exchange address or length cannot be encoded (HostPacket).", {}},
}};

std::size_t field_count(const VariantClass& variant) {
  std::size_t count = 0;
  while (count < variant.fields.size() && variant.fields[count] != nullptr) ++count;
  return count;
}

// Kept for the life of the process: exception classes outlive every call.
PyObject* exchange_error_class = nullptr;
PyObject* internal_fault_class = nullptr;
std::array<PyObject*, variant_classes.size()> error_classes{};

// The payload of `error` as the Python values of its variant's fields.
py::tuple payload(const ExchangeError& error) {
  return std::visit(
      Overloaded{
          [](const E::Tile& e) { return py::make_tuple(e.tile); },
          [](const E::Count& e) { return py::make_tuple(e.count); },
          [](const E::Schedule& e) { return py::make_tuple(e.reason); },
          [](const E::PlanOffsetRange& e) { return py::make_tuple(e.cycles, e.maximum); },
          [](const E::Address& e) { return py::make_tuple(e.address); },
          [](const auto&) { return py::tuple(); },
      },
      error.value());
}

// Builds variant `index` from its checked payload.
ExchangeError make_error(std::size_t index, const py::tuple& values) {
  auto u32 = [&](std::size_t field) { return values[field].cast<std::uint32_t>(); };
  switch (index) {
    case 0:
      return E::ValidationBudgetExceeded{};
    case 1:
      return E::Tile{values[0].cast<std::uint16_t>()};
    case 2:
      return E::DuplicateTile{};
    case 3:
      return E::Count{u32(0)};
    case 4:
      return E::ReceiverSet{};
    case 5:
      return E::Schedule{values[0].cast<ScheduleReason>()};
    case 6:
      return E::PlanOffsetRange{u32(0), u32(1)};
    case 7:
      return E::Address{u32(0)};
    default:
      return E::HostPacket{};
  }
}

// A ScheduleReason, or the text of one.
ScheduleReason to_reason(py::handle value) {
  if (py::isinstance<ScheduleReason>(value)) return value.cast<ScheduleReason>();
  if (!PyUnicode_Check(value.ptr())) {
    raise(PyExc_TypeError, "reason must be a ScheduleReason or its text, not " + type_name(value));
  }
  const std::string text = value.cast<std::string>();
  for (std::size_t i = 0; i < schedule_reason_texts.size(); ++i) {
    if (schedule_reason_texts[i] == text) return static_cast<ScheduleReason>(i);
  }
  raise(PyExc_ValueError,
        "reason " + std::string(py::str(py::repr(value))) + " is not the text of a ScheduleReason");
}

// The Python names of the reasons, in enumerator order (texts come from the library).
constexpr const char* schedule_reason_names[]{
    "SendInstructionOperand",
    "ZeroEventAdvance",
    "DelayAdvanceOverflow",
    "PicDelayAdvanceOverflow",
    "XpicDelayAdvanceOverflow",
    "ScheduledOffsetTruncatesSend",
    "FirstScheduledEventNotDelay",
    "SendControl",
    "SendPicpOperand",
    "SendPicpPicControl",
    "SendPicpXpicControl",
    "SendPicpEventTime",
    "SenderDelay",
    "ReceiverPhase",
    "MulticastStartCycle",
    "MulticastSourceTile",
    "MulticastReceiveCycle",
    "PairedSourceTiming",
    "PairedSourceTile",
    "PairedReceiveCoincidentControls",
    "PairedReceiveHorizonOverflow",
    "PairedReceiveRowCapacity",
    "IncompatibleSimultaneousReceiveControls",
    "PlanDelayOrder",
    "SendPicpInstructionAlignment",
    "ReceiveControlAtPhaseEntry",
    "ReceiveControlOrder",
    "EmptySendPicpInterval",
    "ReceiveEventOrder",
    "ReceiveControlIssueInterval",
    "ReceiveTimedEvent",
    "SenderRowEntry",
    "SenderRowReturn",
    "SenderEventHorizonOverflow",
    "SenderPayload",
    "PhaseSelfReceiver",
    "PhaseRowFrame",
    "PhaseRowWord",
    "PhaseHorizonOverflow",
    "PhaseSenderOverlap",
    "PhaseReceiverOverlap",
};
static_assert(std::size(schedule_reason_names) == schedule_reason_count,
              "every ScheduleReason needs its Python name");

void bind_schedule_reason(py::module_& module) {
  py::enum_<ScheduleReason> reasons(
      module, "ScheduleReason",
      "Why a row or schedule cannot be encoded: the reason of a ScheduleError. .text is the "
      "reason's fixed text, as the error's display and debug texts show it.");
  for (std::size_t i = 0; i < std::size(schedule_reason_names); ++i) {
    reasons.value(schedule_reason_names[i], static_cast<ScheduleReason>(i));
  }
  reasons.def_property_readonly(
      "text", [](ScheduleReason reason) { return std::string(reason_text(reason)); },
      "The reason's fixed text, e.g. \"sender payload\".");
  module.def(
      "reason_text", [](py::handle reason) { return std::string(reason_text(to_reason(reason))); },
      py::arg("reason"), "The fixed text of a ScheduleReason.");
}

// __init__ of variant `index`: checks the payload, then keeps it and the debug
// text; the display text is the exception's one argument, so str() shows it.
void init_error(std::size_t index, py::handle self, const py::args& args) {
  const VariantClass& variant = variant_classes[index];
  const std::size_t count = field_count(variant);
  if (args.size() != count) {
    raise(PyExc_TypeError, std::string(variant.name) + "() takes " + std::to_string(count) +
                               " argument" + (count == 1 ? "" : "s") + ", got " +
                               std::to_string(args.size()));
  }
  py::tuple values(count);
  for (std::size_t i = 0; i < count; ++i) {
    const std::string_view field = variant.fields[i];
    if (field == "reason") {
      values[i] = py::cast(to_reason(args[i]));
    } else if (field == "tile") {
      values[i] = py::int_(to_u16(args[i], field));
    } else {
      values[i] = py::int_(to_u32(args[i], field));
    }
  }
  const ExchangeError error = make_error(index, values);
  py::handle(PyExc_Exception).attr("__init__")(self, to_string(error));
  py::setattr(self, "_payload", values);
  py::setattr(self, "_debug", py::str(debug_string(error)));
}

py::object builtin(const char* name) {
  return py::module_::import("builtins").attr(name);
}

}  // namespace

void set_python_error_from_current_exception() noexcept {
  try {
    throw;
  } catch (py::error_already_set& error) {
    error.restore();
  } catch (const InternalFault& fault) {
    PyErr_SetString(internal_fault_class, fault.what());
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (const std::exception& error) {
    PyErr_SetString(PyExc_RuntimeError, error.what());
  } catch (...) {
    PyErr_SetString(PyExc_RuntimeError, "unknown C++ exception");
  }
}

void raise_error(const ExchangeError& error) {
  PyObject* type = error_classes[error.index()];
  const py::object instance = py::reinterpret_borrow<py::object>(type)(*payload(error));
  PyErr_SetObject(type, instance.ptr());
  throw py::error_already_set();
}

void bind_errors(py::module_& module) {
  bind_schedule_reason(module);
  const py::object type = builtin("type");
  const py::object property = builtin("property");

  py::dict base_namespace;
  base_namespace["__module__"] = "zerin_exchange";
  base_namespace["__doc__"] =
      "The library's one error: raised by every fallible operation, one subclass per "
      "variant. str() is the display text (a sentence), repr() the debug text (the "
      "variant and its payload), both exactly as the C++ library writes them.";
  py::object base =
      type("ExchangeError", py::make_tuple(py::handle(PyExc_Exception)), base_namespace);
  base.attr("__repr__") = py::cpp_function(
      [](py::handle self) -> py::object {
        if (py::hasattr(self, "_debug")) return self.attr("_debug");
        return py::handle(PyExc_Exception).attr("__repr__")(self);
      },
      py::name("__repr__"), py::is_method(base));
  base.attr("__eq__") = py::cpp_function(
      [](py::handle self, py::handle other) -> py::object {
        if (!py::type::handle_of(other).is(py::type::handle_of(self))) {
          return py::reinterpret_borrow<py::object>(Py_NotImplemented);
        }
        return py::bool_(py::getattr(self, "_payload", py::none())
                             .equal(py::getattr(other, "_payload", py::none())));
      },
      py::name("__eq__"), py::is_method(base));
  base.attr("__hash__") = py::cpp_function(
      [](py::handle self) {
        return py::hash(
            py::make_tuple(py::type::handle_of(self), py::getattr(self, "_payload", py::none())));
      },
      py::name("__hash__"), py::is_method(base));
  base.attr("__reduce__") = py::cpp_function(
      [](py::handle self) {
        return py::make_tuple(py::type::handle_of(self),
                              py::getattr(self, "_payload", py::tuple()));
      },
      py::name("__reduce__"), py::is_method(base));
  module.attr("ExchangeError") = base;
  exchange_error_class = base.release().ptr();
  const py::handle base_handle(exchange_error_class);

  for (std::size_t index = 0; index < variant_classes.size(); ++index) {
    const VariantClass& variant = variant_classes[index];
    py::dict names;
    names["__module__"] = "zerin_exchange";
    names["__doc__"] = variant.doc;
    py::object cls = type(variant.name, py::make_tuple(base_handle), names);
    cls.attr("__init__") = py::cpp_function(
        [index](py::handle self, const py::args& args) { init_error(index, self, args); },
        // Not named "__init__": pybind11 treats functions of that name as
        // constructors of its own classes.
        py::name("init"), py::is_method(cls));
    for (std::size_t i = 0; i < field_count(variant); ++i) {
      cls.attr(variant.fields[i]) = property(py::cpp_function(
          [i](py::handle self) -> py::object { return self.attr("_payload")[py::int_(i)]; }));
    }
    module.attr(variant.name) = cls;
    error_classes[index] = cls.release().ptr();
  }

  // Never destroyed: the translator may run until the interpreter is gone.
  const auto* internal_fault =
      new py::exception<InternalFault>(module, "InternalFault", PyExc_RuntimeError);
  internal_fault->attr("__module__") = "zerin_exchange";
  internal_fault->attr("__doc__") =
      "A broken invariant inside the library (an unnamed overflow). Never an "
      "ExchangeError: it means a fault in the library, not in the request.";
  internal_fault_class = internal_fault->ptr();
  py::register_exception_translator([](std::exception_ptr thrown) {
    try {
      if (thrown) std::rethrow_exception(thrown);
    } catch (const InternalFault& fault) {
      PyErr_SetString(internal_fault_class, fault.what());
    }
  });
}

}  // namespace zerin::exchange::python
