#include "values.hpp"

#include <pybind11/operators.h>

#include <cstdio>
#include <string>

#include "convert.hpp"

namespace zerin::exchange::python {

void append_hex(std::string& out, std::uint32_t word, bool prefix) {
  char text[16];
  std::snprintf(text, sizeof text, prefix ? "0x%08x" : "%08x", word);
  out += text;
}

namespace {

std::string row_repr(const ExchangeRow& row) {
  std::string out = "Row([";
  for (std::size_t i = 0; i < row.size(); ++i) {
    if (i != 0) out += ", ";
    append_hex(out, row[i], true);
  }
  return out + "])";
}

std::string row_str(const ExchangeRow& row) {
  std::string out;
  for (std::size_t i = 0; i < row.size(); ++i) {
    if (i != 0) out += ' ';
    append_hex(out, row[i], false);
  }
  return out;
}

py::tuple row_tuple(const ExchangeRow& row) {
  py::tuple out(row.size());
  for (std::size_t i = 0; i < row.size(); ++i) out[i] = py::int_(row[i]);
  return out;
}

std::string rows_repr(const std::vector<ExchangeRow>& rows) {
  std::string out = "Rows([";
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (i != 0) out += ", ";
    out += row_repr(rows[i]);
  }
  return out + "])";
}

// Index `index` of a sequence of `size`, negative from the end; IndexError outside.
std::size_t sequence_index(std::ptrdiff_t index, std::size_t size, const char* what) {
  const auto length = static_cast<std::ptrdiff_t>(size);
  if (index < 0) index += length;
  if (index < 0 || index >= length)
    raise(PyExc_IndexError, std::string(what) + " index out of range");
  return static_cast<std::size_t>(index);
}

std::vector<ExchangeRow> to_row_vector(py::handle rows, const char* name) {
  if (py::isinstance<Rows>(rows)) return *rows.cast<const Rows&>().rows;
  std::vector<ExchangeRow> out;
  for (py::handle row : py::iter(rows)) {
    out.push_back(to_row(row, std::string(name) + "[" + std::to_string(out.size()) + "]"));
  }
  return out;
}

// Room for an empty buffer's pointer.
const std::uint32_t empty_words[1] = {0};

void bind_rows(py::module_& module) {
  py::class_<Row>(module, "Row", py::buffer_protocol(),
                  "An immutable row of nine 32-bit instruction words: the sync word, the timed "
                  "instructions, the return word, then zero fill. Indexes, iterates and converts "
                  "with tuple() or list(); str() shows the words in hexadecimal; memoryview(row) "
                  "reads the words in place.")
      .def(py::init([](py::handle words) { return Row{to_row(words, "words")}; }), py::arg("words"),
           "A row from nine ints (each 0..=0xFFFFFFFF).")
      .def("__len__", [](const Row& row) { return row.words.size(); })
      .def("__getitem__",
           [](const Row& row, std::ptrdiff_t index) {
             return row.words[sequence_index(index, row.words.size(), "Row")];
           })
      .def("__getitem__",
           [](const Row& row, const py::slice& slice) { return row_tuple(row.words)[slice]; })
      .def("__iter__", [](const Row& row) { return py::iter(row_tuple(row.words)); })
      .def("__hash__", [](const Row& row) { return py::hash(row_tuple(row.words)); })
      .def("__repr__", [](const Row& row) { return row_repr(row.words); })
      .def("__str__", [](const Row& row) { return row_str(row.words); })
      .def("__reduce__",
           [](const Row& row) {
             return py::make_tuple(py::type::of<Row>(), py::make_tuple(row_tuple(row.words)));
           })
      .def(py::self == py::self)
      .def(py::self != py::self)
      .def_buffer([](const Row& row) {
        return py::buffer_info(const_cast<std::uint32_t*>(row.words.data()), sizeof(std::uint32_t),
                               py::format_descriptor<std::uint32_t>::format(), 1,
                               {static_cast<py::ssize_t>(row.words.size())},
                               {static_cast<py::ssize_t>(sizeof(std::uint32_t))}, true);
      });

  py::class_<Rows>(module, "Rows", py::buffer_protocol(),
                   "An immutable sequence of rows held in one buffer: memoryview(rows) is a "
                   "read-only (len, 9) array of 32-bit words, ready for numpy.asarray.")
      .def(py::init([](py::handle rows) { return make_rows(to_row_vector(rows, "rows")); }),
           py::arg("rows"), "Rows from an iterable of rows.")
      .def("__len__", [](const Rows& rows) { return rows.rows->size(); })
      .def("__getitem__",
           [](const Rows& rows, std::ptrdiff_t index) {
             return Row{(*rows.rows)[sequence_index(index, rows.rows->size(), "Rows")]};
           })
      .def("__getitem__",
           [](const Rows& rows, const py::slice& slice) {
             std::size_t start = 0, stop = 0, step = 0, length = 0;
             if (!slice.compute(rows.rows->size(), &start, &stop, &step, &length)) {
               throw py::error_already_set();
             }
             std::vector<ExchangeRow> out;
             out.reserve(length);
             for (std::size_t i = 0; i < length; ++i) out.push_back((*rows.rows)[start + i * step]);
             return make_rows(std::move(out));
           })
      .def("__iter__",
           [](const Rows& rows) {
             py::list out(rows.rows->size());
             for (std::size_t i = 0; i < rows.rows->size(); ++i) out[i] = Row{(*rows.rows)[i]};
             return py::iter(out);
           })
      .def("__repr__", [](const Rows& rows) { return rows_repr(*rows.rows); })
      .def("__str__",
           [](const Rows& rows) {
             std::string out;
             for (const ExchangeRow& row : *rows.rows) out += row_str(row) + "\n";
             return out;
           })
      .def(py::self == py::self)
      .def(py::self != py::self)
      .def_buffer([](const Rows& rows) {
        const std::uint32_t* data = rows.rows->empty() ? empty_words : rows.rows->front().data();
        return py::buffer_info(
            const_cast<std::uint32_t*>(data), sizeof(std::uint32_t),
            py::format_descriptor<std::uint32_t>::format(), 2,
            {static_cast<py::ssize_t>(rows.rows->size()), static_cast<py::ssize_t>(row_length)},
            {static_cast<py::ssize_t>(sizeof(ExchangeRow)),
             static_cast<py::ssize_t>(sizeof(std::uint32_t))},
            true);
      });
  static_assert(sizeof(ExchangeRow) == row_length * sizeof(std::uint32_t));

  py::class_<Plan>(module, "Plan", "A point-to-point plan: a sender row and a receiver row.")
      .def(py::init([](py::handle sender, py::handle receiver) {
             return Plan{to_row(sender, "sender"), to_row(receiver, "receiver")};
           }),
           py::arg("sender"), py::arg("receiver"))
      .def_property_readonly(
          "sender", [](const Plan& plan) { return Row{plan.sender}; }, "The sender's row.")
      .def_property_readonly(
          "receiver", [](const Plan& plan) { return Row{plan.receiver}; }, "The receiver's row.")
      .def("__repr__",
           [](const Plan& plan) {
             return "Plan(sender=" + row_repr(plan.sender) +
                    ", receiver=" + row_repr(plan.receiver) + ")";
           })
      .def(py::self == py::self)
      .def(py::self != py::self);

  py::class_<MulticastPlanValue>(
      module, "MulticastPlan",
      "A multicast or paired multicast plan: the sender row and one receiver row per "
      "receiver, in the order the receivers were given.")
      .def(py::init([](py::handle sender, py::handle receivers) {
             return MulticastPlanValue{to_row(sender, "sender"),
                                       make_rows(to_row_vector(receivers, "receivers"))};
           }),
           py::arg("sender"), py::arg("receivers"))
      .def_property_readonly(
          "sender", [](const MulticastPlanValue& plan) { return Row{plan.sender}; },
          "The sender's row.")
      .def_property_readonly(
          "receivers", [](const MulticastPlanValue& plan) { return plan.receivers; },
          "The receiver rows (Rows), in receiver order.")
      .def("__repr__",
           [](const MulticastPlanValue& plan) {
             return "MulticastPlan(sender=" + row_repr(plan.sender) +
                    ", receivers=" + rows_repr(*plan.receivers.rows) + ")";
           })
      .def(py::self == py::self)
      .def(py::self != py::self);
}

void bind_timing(py::module_& module) {
  using T = ScheduledPayloadTiming;
  py::class_<T>(module, "ScheduledPayloadTiming",
                "Absolute cycles of a sender row's programme at a schedule offset: the first "
                "payload send issues at payload_start, the last has completed at payload_end, "
                "and the return word issues at horizon. repr() is the library's debug text.")
      .def(py::init([](py::handle start, py::handle end, py::handle horizon) {
             return T{to_u32(start, "payload_start"), to_u32(end, "payload_end"),
                      to_u32(horizon, "horizon")};
           }),
           py::arg("payload_start"), py::arg("payload_end"), py::arg("horizon"))
      .def_readonly("payload_start", &T::payload_start)
      .def_readonly("payload_end", &T::payload_end)
      .def_readonly("horizon", &T::horizon)
      .def("__repr__", [](const T& timing) { return debug_string(timing); })
      .def("__hash__",
           [](const T& timing) {
             return py::hash(
                 py::make_tuple(timing.payload_start, timing.payload_end, timing.horizon));
           })
      .def(py::self == py::self)
      .def(py::self != py::self);
}

void bind_receive_events(py::module_& module) {
  using K = ReceiveEventKind;
  py::enum_<K>(module, "ReceiveEventKind",
               "What a receive control is for: 0..3 drive the XPIC stream, 4..6 the PIC stream.")
      .value("OrdinarySource", K::OrdinarySource)
      .value("OrdinaryNeutral", K::OrdinaryNeutral)
      .value("PairedSource", K::PairedSource)
      .value("PairedNeutral", K::PairedNeutral)
      .value("PairedPointer", K::PairedPointer)
      .value("Pointer", K::Pointer)
      .value("Format", K::Format);

  py::enum_<ReceiveMode>(module, "ReceiveMode", "The two styles of receive.")
      .value("Ordinary", ReceiveMode::Ordinary)
      .value("Paired64", ReceiveMode::Paired64);

  py::class_<ReceiveEvent>(module, "ReceiveEvent",
                           "One timed control: `instruction` (a PIC or XPIC delay word built "
                           "with advance 0) must complete at `cycles` of the receiving row's "
                           "clock.")
      .def(py::init([](py::handle cycles, py::handle instruction, py::handle kind) {
             if (!py::isinstance<K>(kind)) {
               raise(PyExc_TypeError, "kind must be a ReceiveEventKind, not " + type_name(kind));
             }
             return ReceiveEvent{to_u32(cycles, "cycles"), to_u32(instruction, "instruction"),
                                 kind.cast<K>()};
           }),
           py::arg("cycles"), py::arg("instruction"), py::arg("kind"))
      .def_readonly("cycles", &ReceiveEvent::cycles)
      .def_readonly("instruction", &ReceiveEvent::instruction)
      .def_readonly("kind", &ReceiveEvent::kind)
      .def("__repr__",
           [](const ReceiveEvent& event) {
             std::string out =
                 "ReceiveEvent(cycles=" + std::to_string(event.cycles) + ", instruction=";
             append_hex(out, event.instruction, true);
             return out + ", kind=" + std::string(py::str(py::cast(event.kind))) + ")";
           })
      .def("__hash__",
           [](const ReceiveEvent& event) {
             return py::hash(
                 py::make_tuple(event.cycles, event.instruction, static_cast<int>(event.kind)));
           })
      .def(py::self == py::self)
      .def(py::self != py::self);
}

void bind_decoded(py::module_& module) {
  using W = WordKind;
  py::enum_<W>(module, "WordKind", "What a decoded word is.")
      .value("ExchangeDelay", W::ExchangeDelay)
      .value("PicDelay", W::PicDelay)
      .value("XpicDelay", W::XpicDelay)
      .value("Send", W::Send)
      .value("SendOff", W::SendOff)
      .value("SendControl", W::SendControl)
      .value("SendPicp", W::SendPicp)
      .value("SendPicpPayload", W::SendPicpPayload)
      .value("Sync", W::Sync)
      .value("Return", W::Return)
      .value("Zero", W::Zero)
      .value("Unknown", W::Unknown);

  bind_decoded_instruction(module);
}

}  // namespace

void bind_values(py::module_& module) {
  bind_rows(module);
  bind_timing(module);
  bind_receive_events(module);
  bind_decoded(module);
}

}  // namespace zerin::exchange::python
