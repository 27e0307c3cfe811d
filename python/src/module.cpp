// The Python module zerin_exchange._core: the library's public API with
// Python conventions. Results that C++ returns as std::expected come back as
// values or raise the error's exception; rewriters return the new word or row.
#include <pybind11/pybind11.h>

#include <optional>
#include <utility>
#include <vector>

#include "convert.hpp"
#include "errors.hpp"
#include "fast_method.hpp"
#include "logging_sink.hpp"
#include "values.hpp"
#include "zerin/exchange.hpp"

namespace zerin::exchange::python {
namespace {

// A Python list as the emitters' word sink.
struct ListWords {
  PyObject* list;
  std::size_t size() const { return static_cast<std::size_t>(PyList_GET_SIZE(list)); }
  void push_back(std::uint32_t word) {
    PyObject* value = PyLong_FromUnsignedLong(word);
    const bool appended = value != nullptr && PyList_Append(list, value) == 0;
    Py_XDECREF(value);
    if (!appended) throw py::error_already_set();
  }
};

ListWords to_list_words(py::handle words) {
  if (!PyList_Check(words.ptr())) {
    raise(PyExc_TypeError, "words must be a list, not " + type_name(words));
  }
  return ListWords{words.ptr()};
}

std::vector<ReceiveEvent> to_events(py::handle events) {
  std::vector<ReceiveEvent> out;
  PyObject* iterator = PyUnicode_Check(events.ptr()) ? nullptr : PyObject_GetIter(events.ptr());
  if (iterator == nullptr) {
    PyErr_Clear();
    raise(PyExc_TypeError, "events must be a sequence of ReceiveEvent, not " + type_name(events));
  }
  for (py::handle event : py::reinterpret_steal<py::iterator>(iterator)) {
    if (!py::isinstance<ReceiveEvent>(event)) {
      raise(PyExc_TypeError, "events[" + std::to_string(out.size()) +
                                 "] must be a ReceiveEvent, not " + type_name(event));
    }
    out.push_back(event.cast<ReceiveEvent>());
  }
  return out;
}

ReceiveEventKind to_kind(py::handle kind) {
  if (!py::isinstance<ReceiveEventKind>(kind)) {
    raise(PyExc_TypeError, "kind must be a ReceiveEventKind, not " + type_name(kind));
  }
  return kind.cast<ReceiveEventKind>();
}

const ReceiveEvent& to_event(py::handle event, const char* name) {
  if (!py::isinstance<ReceiveEvent>(event)) {
    raise(PyExc_TypeError, std::string(name) + " must be a ReceiveEvent, not " + type_name(event));
  }
  return event.cast<const ReceiveEvent&>();
}

// An optional progress callback for append_receive_events(): record(events
// consumed, words in the list, clock, lookahead or None).
auto recorder(py::handle record) {
  return [record](std::size_t consumed, std::size_t size, std::uint32_t clock,
                  std::optional<std::uint32_t> lookahead) {
    if (record.is_none()) return;
    record(consumed, size, clock, lookahead ? py::object(py::int_(*lookahead)) : py::none());
  };
}

void bind_words(py::module_& m) {
  m.attr("ROW_LENGTH") = row_length;
  m.attr("SYNC_WORD") = sync_word;
  m.attr("RETURN_WORD") = return_word;
  m.attr("MAXIMUM_TRANSFER_COUNT") = maximum_transfer_count;
  m.attr("MAXIMUM_PLAIN_DELAY_CYCLES") = maximum_plain_delay_cycles;
  m.attr("MAXIMUM_SEND_CONTROL_PAIR_CYCLES") = maximum_send_control_pair_cycles;

  // Masking encoders: operands are checked against 32 bits, then cut to their fields.
  auto delay_word = [](py::handle cycles) {
    return encode_exchange_delay(to_u32(cycles, "cycles"));
  };
  const char* delay_doc =
      "Plain delay word waiting cycles + 1 cycles: 0x40A00000 | (cycles & 0x7FFFF). Masking.";
  m.def("encode_exchange_delay", delay_word, py::arg("cycles"), delay_doc);
  m.def("delay", delay_word, py::arg("cycles"), delay_doc);
  auto pic_word = [](py::handle advance, py::handle selector, py::handle control) {
    return encode_exchange_delay_pic(to_u32(advance, "advance"), to_u32(selector, "selector"),
                                     to_u32(control, "control"));
  };
  const char* pic_doc =
      "PIC delay word: 7-bit advance field, 1-bit selector, 18-bit control. Masking.";
  m.def("encode_exchange_delay_pic", pic_word, py::arg("advance"), py::arg("selector"),
        py::arg("control"), pic_doc);
  m.def("delay_pic", pic_word, py::arg("advance"), py::arg("selector"), py::arg("control"),
        pic_doc);
  auto xpic_word = [](py::handle advance, py::handle flag, py::handle control) {
    return encode_exchange_delay_xpic(to_u32(advance, "advance"), to_u32(flag, "flag"),
                                      to_u32(control, "control"));
  };
  const char* xpic_doc =
      "XPIC delay word: 12-bit advance field, 1-bit flag, 13-bit control. Masking.";
  m.def("encode_exchange_delay_xpic", xpic_word, py::arg("advance"), py::arg("flag"),
        py::arg("control"), xpic_doc);
  m.def("delay_xpic", xpic_word, py::arg("advance"), py::arg("flag"), py::arg("control"), xpic_doc);
  m.def(
      "encode_send",
      [](py::handle count_minus_one, py::handle direction, py::handle base_word) {
        return unwrap(encode_send(to_u32(count_minus_one, "count_minus_one"),
                                  to_u32(direction, "direction"), to_u32(base_word, "base_word")));
      },
      py::arg("count_minus_one"), py::arg("direction"), py::arg("base_word"),
      "Send word for count_minus_one + 1 words (1..64). Raises ScheduleError \"send "
      "instruction operand\" when count_minus_one > 63, direction > 7 or base_word > 0x3FFFF.");
  m.def(
      "send_off",
      [](py::handle count_minus_one, py::handle direction, py::handle base_word) {
        return send_off(to_u32(count_minus_one, "count_minus_one"), to_u32(direction, "direction"),
                        to_u32(base_word, "base_word"));
      },
      py::arg("count_minus_one"), py::arg("direction"), py::arg("base_word"),
      "Send-off word: 12 bits of count_minus_one, 11 of base_word, 3 of direction. Masking.");
  m.def(
      "validate_count", [](py::handle count) { unwrap(validate_count(to_u32(count, "count"))); },
      py::arg("count"), "Returns None for 1..=4148; raises CountError otherwise.");

  // Recognisers: every one takes a 32-bit word.
  auto recogniser = [&m](const char* name, bool (*test)(std::uint32_t), const char* doc) {
    m.def(
        name, [test](py::handle word) { return test(to_u32(word, "word")); }, py::arg("word"), doc);
  };
  recogniser("is_exchange_delay", is_exchange_delay, "Whether word is a plain delay word.");
  recogniser("is_pic_delay", is_pic_delay, "Whether word is a PIC delay word.");
  recogniser("is_xpic_delay", is_xpic_delay, "Whether word is an XPIC delay word.");
  recogniser("is_send", is_send, "Whether word is a send word.");
  recogniser("is_send_off", is_send_off, "Whether word is a send-off word.");
  recogniser("is_send_control", is_send_control, "Whether word is a send-control word.");
  recogniser("is_send_control_pair", is_send_control_pair,
             "Whether word is a SENDPICP instruction word (top four bits set).");
  recogniser("is_payload_send", is_payload_send,
             "Whether word moves payload: a send or send-off word.");
  m.def(
      "instruction_advance",
      [](py::handle word) { return instruction_advance(to_u32(word, "word")); }, py::arg("word"),
      "Cycles the word occupies before the next word issues; 0 for words that are not timed "
      "instructions.");
  m.def(
      "maximum_timed_instruction_advance",
      [](py::handle word) -> py::object {
        const auto maximum = maximum_timed_instruction_advance(to_u32(word, "word"));
        if (!maximum) return py::none();
        return py::int_(*maximum);
      },
      py::arg("word"), "128 for a PIC delay word, 4096 for an XPIC delay word, else None.");
  m.def(
      "set_instruction_advance",
      [](py::handle word, py::handle advance) {
        std::uint32_t instruction = to_u32(word, "word");
        unwrap(set_instruction_advance(instruction, to_u32(advance, "advance")));
        return instruction;
      },
      py::arg("word"), py::arg("advance"),
      "The delay word with its advance field rewritten so that instruction_advance() of the "
      "result is advance. Raises ScheduleError (\"zero event advance\", \"delay advance "
      "overflow\", \"PIC delay advance overflow\", \"XPIC delay advance overflow\", "
      "\"scheduled offset truncates a send\", \"first scheduled event is not a delay\").");
  m.def(
      "set_sender_control",
      [](py::handle row, py::handle send_control) {
        ExchangeRow words = to_row(row, "row");
        unwrap(set_sender_control(words, to_int<std::uint8_t>(send_control, "send_control")));
        return Row{words};
      },
      py::arg("row"), py::arg("send_control"),
      "The row with send_control stamped into every send and send-off word (and SENDPICP words "
      "whose field's low two bits are not both 0). Raises ScheduleError \"send control\" (not "
      "1..7) or \"sender payload\" (no word rewritten).");
  m.def(
      "encode_send_control_pair",
      [](py::handle count_minus_one, py::handle source_word_address, py::handle send_control,
         py::handle events) {
        const std::vector<ReceiveEvent> list = to_events(events);
        return unwrap(encode_send_control_pair(to_u32(count_minus_one, "count_minus_one"),
                                               to_u32(source_word_address, "source_word_address"),
                                               to_u32(send_control, "send_control"), list));
      },
      py::arg("count_minus_one"), py::arg("source_word_address"), py::arg("send_control"),
      py::arg("events"),
      "The SENDPICP pair (instruction word, payload word) for one PIC-stream and one "
      "XPIC-stream event at one cycle. Raises ScheduleError (\"SENDPICP operand\", \"SENDPICP "
      "PIC control\", \"SENDPICP XPIC control\", \"SENDPICP event time\").");
}

void bind_rows_and_routing(py::module_& m) {
  m.def(
      "primitive_sender_row",
      [](py::handle count, py::handle direction, py::handle sender_delay) {
        return Row{
            unwrap(primitive_sender_row(to_u32(count, "count"), to_u32(direction, "direction"),
                                        to_i32(sender_delay, "sender_delay")))};
      },
      py::arg("count"), py::arg("direction"), py::arg("sender_delay"),
      "A whole sender row: sync, a delay of sender_delay (none when negative), the sends, a "
      "closing delay, return. Needs 1 <= count (validate_count) and sender_delay <= 0x7FFFF. "
      "Raises ScheduleError \"send instruction operand\" when direction > 7.");
  m.def(
      "ordinary_receiver_tail",
      [](py::handle count, py::handle receiver_phase, py::handle address) {
        const auto tail =
            ordinary_receiver_tail(to_u32(count, "count"), to_u32(receiver_phase, "receiver_phase"),
                                   to_u32(address, "address"));
        return py::make_tuple(tail[0], tail[1], tail[2], tail[3]);
      },
      py::arg("count"), py::arg("receiver_phase"), py::arg("address"),
      "The last four words of an ordinary receiver row (XPIC and PIC controls, closing delay, "
      "return), as a tuple.");
  m.def(
      "ordinary_receiver_tail_fits",
      [](py::handle count, py::handle receiver_phase) {
        return ordinary_receiver_tail_fits(to_u32(count, "count"),
                                           to_u32(receiver_phase, "receiver_phase"));
      },
      py::arg("count"), py::arg("receiver_phase"),
      "Whether ordinary_receiver_tail() can encode its PIC word without losing bits.");

  auto route = [&m](const char* name, auto formula, const char* doc) {
    m.def(
        name,
        [formula](py::handle source, py::handle destination) {
          return formula(to_u32(source, "source"), to_u32(destination, "destination"));
        },
        py::arg("source"), py::arg("destination"), doc);
  };
  route("route_displacement", route_displacement,
        "Signed route distance between two physical tiles: in -47..47, never 0.");
  route("direction", direction, "Route code of send words: 1 for a positive displacement, else 2.");
  route("time_to_mux", time_to_mux,
        "Cycles from the send to the data's arrival at the destination's mux (may be negative).");
  route("paired_time_to_mux", paired_time_to_mux,
        "The later of time_to_mux() to destination and to destination ^ 2.");
  m.def(
      "r470_logical_to_physical",
      [](py::handle logical) { return r470_logical_to_physical(to_u16(logical, "logical")); },
      py::arg("logical"), "Physical number of one logical tile of the r470 board model.");
}

void bind_events_and_emission(py::module_& m) {
  m.def(
      "is_pic", [](py::handle kind) { return is_pic(to_kind(kind)); }, py::arg("kind"),
      "True for PairedPointer, Pointer and Format (the PIC stream).");
  m.def(
      "is_xpic", [](py::handle kind) { return is_xpic(to_kind(kind)); }, py::arg("kind"),
      "True for the four XPIC-stream kinds.");
  m.def(
      "receive_events_can_share_instruction",
      [](py::handle left, py::handle right) {
        return receive_events_can_share_instruction(to_event(left, "left"),
                                                    to_event(right, "right"));
      },
      py::arg("left"), py::arg("right"),
      "Whether two events may become one SENDPICP instruction: same cycle, a Pointer with an "
      "OrdinarySource or OrdinaryNeutral.");
  m.def(
      "validate_receive_events",
      [](py::handle events) { unwrap(validate_receive_events(to_events(events))); },
      py::arg("events"),
      "Returns None, or raises ScheduleError \"incompatible simultaneous receive controls\" "
      "for a group of three or more events at one cycle or a pair that may not share an "
      "instruction.");
  m.def(
      "append_plain_delay",
      [](py::handle words, py::handle clock, py::handle target) {
        ListWords sink = to_list_words(words);
        std::uint32_t cycles = to_u32(clock, "clock");
        unwrap(append_plain_delay(sink, cycles, to_u32(target, "target")));
        return cycles;
      },
      py::arg("words"), py::arg("clock"), py::arg("target"),
      "Appends plain delay words to the list words covering target - clock cycles and returns "
      "the new clock (target). Raises ScheduleError \"plan delay order\" when target < clock.");
  m.def(
      "append_plain_delay_aligned",
      [](py::handle words, py::handle clock, py::handle target, py::handle word_parity) {
        ListWords sink = to_list_words(words);
        std::uint32_t cycles = to_u32(clock, "clock");
        unwrap(append_plain_delay_aligned(sink, cycles, to_u32(target, "target"),
                                          to_int<std::size_t>(word_parity, "word_parity")));
        return cycles;
      },
      py::arg("words"), py::arg("clock"), py::arg("target"), py::arg("word_parity"),
      "append_plain_delay(), shaped so that len(words) afterwards has parity word_parity.");
  m.def(
      "append_receive_events",
      [](py::handle words, py::handle clock, py::handle events, py::handle horizon,
         py::handle align_control_pairs, py::handle record) {
        ListWords sink = to_list_words(words);
        std::uint32_t cycles = to_u32(clock, "clock");
        const std::vector<ReceiveEvent> list = to_events(events);
        if (!PyBool_Check(align_control_pairs.ptr())) {
          raise(PyExc_TypeError,
                "align_control_pairs must be a bool, not " + type_name(align_control_pairs));
        }
        if (!record.is_none() && !PyCallable_Check(record.ptr())) {
          raise(PyExc_TypeError, "record must be callable or None, not " + type_name(record));
        }
        unwrap(append_receive_events_record(sink, cycles, list, to_u32(horizon, "horizon"),
                                            align_control_pairs.ptr() == Py_True,
                                            recorder(record)));
        return cycles;
      },
      py::arg("words"), py::arg("clock"), py::arg("events"), py::arg("horizon"),
      py::arg("align_control_pairs") = false, py::arg("record") = py::none(),
      "Lays events (non-decreasing cycles) out as words appended to the list words, starting "
      "at cycle clock, and brings the clock to horizon; returns the new clock. record, when "
      "given, is called after each group with (events consumed, len(words), clock, lookahead "
      "or None). On an error (ScheduleError) the words appended so far stay in the list.");
}

void bind_timing_and_decoding(py::module_& m) {
  m.def(
      "scheduled_sender_timing",
      [](py::handle row, py::handle schedule_offset) {
        return unwrap(scheduled_sender_timing(to_row(row, "row"),
                                              to_u32(schedule_offset, "schedule_offset")));
      },
      py::arg("row"), py::arg("schedule_offset") = 0,
      "Payload timing of a sender row whose word after the sync issues at schedule_offset. "
      "Raises ScheduleError (\"sender row entry\", \"sender row return\", \"sender event "
      "horizon overflow\", \"sender payload\").");
  m.def(
      "decode_instruction",
      [](py::handle word) { return make_decoded(decode_instruction(to_u32(word, "word"))); },
      py::arg("word"), "Decodes one word on its own.");
  m.def(
      "decode_row",
      [](py::handle words) {
        std::vector<std::uint32_t> list;
        to_u32_list(words, "words", list);
        const std::vector<DecodedInstruction> decoded = decode_row(list);
        py::list out(decoded.size());
        for (std::size_t i = 0; i < decoded.size(); ++i) out[i] = make_decoded(decoded[i]);
        return out;
      },
      py::arg("words"),
      "Decodes a sequence of words (a Row or ints) in order into a list of DecodedInstruction; "
      "the word after a SENDPICP instruction is its payload.");
  m.def(
      "describe",
      [](py::handle instruction) {
        const DecodedInstruction* decoded = decoded_value(instruction);
        if (decoded == nullptr) {
          raise(PyExc_TypeError,
                "instruction must be a DecodedInstruction, not " + type_name(instruction));
        }
        return describe(*decoded);
      },
      py::arg("instruction"), "One line for people, e.g. \"delay 139 (140 cycles)\".");
  m.def(
      "describe_instruction",
      [](py::handle word) { return describe_instruction(to_u32(word, "word")); }, py::arg("word"),
      "describe(decode_instruction(word)).");
  m.def(
      "word_kind_name",
      [](py::handle kind) {
        if (!py::isinstance<WordKind>(kind)) {
          raise(PyExc_TypeError, "kind must be a WordKind, not " + type_name(kind));
        }
        return std::string(word_kind_name(kind.cast<WordKind>()));
      },
      py::arg("kind"), "Short lower-case name of a word kind: \"delay\", \"pic\", ...");
}

// The planners, called through the fast convention (fast_method.hpp).
const Topology& topology_of(py::handle self) {
  return self.cast<const Topology&>();
}

// A fresh list per call: reading the receivers may run Python code (an
// iterator, __index__) that plans again.
std::vector<std::uint16_t> receiver_tiles(py::handle receivers) {
  std::vector<std::uint16_t> tiles;
  to_u16_list(receivers, "receivers", tiles);
  return tiles;
}

py::object plan_point_to_point(py::handle self, const FastArguments& a) {
  return py::cast(unwrap(topology_of(self).point_to_point(
      to_u16(a[0], "sender"), to_u16(a[1], "receiver"), to_u32(a[2], "count"))));
}
constexpr FastMethod point_to_point_method{
    "point_to_point", {"sender", "receiver", "count"}, 3, plan_point_to_point};

py::object plan_multicast(py::handle self, const FastArguments& a) {
  const std::vector<std::uint16_t> tiles = receiver_tiles(a[1]);
  const std::uint32_t offset = a[3] ? to_u32(a[3], "schedule_offset") : 0;
  return py::cast(make_multicast_plan(unwrap(
      topology_of(self).multicast(to_u16(a[0], "sender"), tiles, to_u32(a[2], "count"), offset))));
}
constexpr FastMethod multicast_method{
    "multicast", {"sender", "receivers", "count", "schedule_offset"}, 3, plan_multicast};

py::object plan_paired_multicast(py::handle self, const FastArguments& a) {
  const std::vector<std::uint16_t> tiles = receiver_tiles(a[1]);
  return py::cast(make_multicast_plan(unwrap(
      topology_of(self).paired_multicast(to_u16(a[0], "sender"), tiles, to_u32(a[2], "count")))));
}
constexpr FastMethod paired_multicast_method{
    "paired_multicast", {"sender", "receivers", "count"}, 3, plan_paired_multicast};

void bind_topology(py::module_& m) {
  m.attr("R470_TILE_COUNT") = r470_tile_count;
  auto topology_class =
      py::class_<Topology>(m, "Topology",
                           "The board's logical-to-physical tile map and the planners that run on "
                           "it. Immutable; len() is the number of logical tiles.")
          .def(py::init([](py::handle table) {
                 std::vector<std::uint16_t> tiles;
                 to_u16_list(table, "logical_to_physical", tiles);
                 return Topology(std::move(tiles));
               }),
               py::arg("logical_to_physical"),
               "A topology over any table: index = logical tile, value = physical tile.")
          .def_static("r470", &Topology::r470,
                      "The r470 board: logical tiles 0..1471, a permutation of physical 0..1471.")
          .def("__len__", &Topology::size)
          .def_property_readonly("tile_count", &Topology::size, "Number of logical tiles.")
          .def_property_readonly(
              "logical_to_physical",
              [](const Topology& topology) {
                const auto table = topology.logical_to_physical();
                py::tuple out(table.size());
                for (std::size_t i = 0; i < table.size(); ++i) out[i] = py::int_(table[i]);
                return out;
              },
              "The whole table as a tuple, indexed by logical tile.")
          .def("__repr__",
               [](const Topology& topology) {
                 return "<Topology of " + std::to_string(topology.size()) + " tiles>";
               })
          .def(
              "physical",
              [](const Topology& topology, py::handle logical) {
                return unwrap(topology.physical(to_u16(logical, "logical")));
              },
              py::arg("logical"), "Physical tile of a logical tile. Raises TileError.")
          .def(
              "paired_logical",
              [](const Topology& topology, py::handle logical) {
                return unwrap(topology.paired_logical(to_u16(logical, "logical")));
              },
              py::arg("logical"),
              "The logical tile forming a 64-bit pair with logical (logical ^ 1 on r470). Raises "
              "TileError when logical is not a tile or has no partner.")
          .def(
              "point_to_point_many",
              [](const Topology& topology, py::handle transfers) {
                std::vector<ExchangeRow> senders;
                std::vector<ExchangeRow> receivers;
                if (!PyList_Check(transfers.ptr()) && !PyTuple_Check(transfers.ptr())) {
                  raise(PyExc_TypeError,
                        "transfers must be a list or tuple, not " + type_name(transfers));
                }
                const auto list = py::reinterpret_borrow<py::sequence>(transfers);
                senders.reserve(list.size());
                receivers.reserve(list.size());
                std::size_t index = 0;
                for (py::handle transfer : list) {
                  auto name = [&] { return "transfers[" + std::to_string(index) + "]"; };
                  if (!PyTuple_Check(transfer.ptr()) && !PyList_Check(transfer.ptr())) {
                    raise(PyExc_TypeError, name() +
                                               " must be a (sender, receiver, count) tuple, not " +
                                               type_name(transfer));
                  }
                  if (PySequence_Fast_GET_SIZE(transfer.ptr()) != 3) {
                    raise(PyExc_ValueError,
                          name() + " must have 3 items, got " +
                              std::to_string(PySequence_Fast_GET_SIZE(transfer.ptr())));
                  }
                  PyObject** fields = PySequence_Fast_ITEMS(transfer.ptr());
                  auto field = [&](int i) {
                    return [&, i] { return name() + "[" + std::to_string(i) + "]"; };
                  };
                  auto plan =
                      topology.point_to_point(to_int_item<std::uint16_t>(fields[0], field(0)),
                                              to_int_item<std::uint16_t>(fields[1], field(1)),
                                              to_int_item<std::uint32_t>(fields[2], field(2)));
                  if (!plan) {
                    try {
                      raise_error(plan.error());
                    } catch (py::error_already_set& error) {
                      error.value().attr("index") = index;
                      error.value().attr("add_note")("in " + name());
                      throw;
                    }
                  }
                  senders.push_back(plan->sender);
                  receivers.push_back(plan->receiver);
                  ++index;
                }
                return py::make_tuple(make_rows(std::move(senders)),
                                      make_rows(std::move(receivers)));
              },
              py::arg("transfers"),
              "Plans a list of (sender, receiver, count) transfers in one call and returns "
              "(senders, receivers), two Rows in transfer order. The first failing transfer raises "
              "its error with .index set to its position.")
          .def(
              "paired_receiver_row",
              [](const Topology& topology, py::handle sender, py::handle receiver, py::handle count,
                 py::handle minimum_double_mux) {
                return Row{unwrap(topology.paired_receiver_row(
                    to_u16(sender, "sender"), to_u16(receiver, "receiver"), to_u32(count, "count"),
                    to_i32(minimum_double_mux, "minimum_double_mux")))};
              },
              py::arg("sender"), py::arg("receiver"), py::arg("count"),
              py::arg("minimum_double_mux"),
              "The receiver row of one receiver of a paired multicast. minimum_double_mux is the "
              "smallest paired_time_to_mux() from the sender to any receiver of the transfer.")
          .def(
              "paired_receiver_is_early",
              [](const Topology& topology, py::handle receiver, py::handle sender) {
                return unwrap(topology.paired_receiver_is_early(to_u16(receiver, "receiver"),
                                                                to_u16(sender, "sender")));
              },
              py::arg("receiver"), py::arg("sender"),
              "Whether the sender's data reaches the receiver's mux strictly before its physical "
              "partner's. Note the order: receiver first. Raises TileError.");

  add_fast_method<point_to_point_method>(
      topology_class,
      "point_to_point($self, /, sender, receiver, count)\n--\n\n"
      "Plans count words from sender to receiver (logical tiles) and returns a Plan. Raises, "
      "in this order: CountError, DuplicateTileError, TileError (sender, then receiver), "
      "ScheduleError \"sender delay\".");
  add_fast_method<multicast_method>(
      topology_class,
      "multicast($self, /, sender, receivers, count, schedule_offset=0)\n--\n\n"
      "Plans one send of count words that every receiver takes off, all rows timed against "
      "one start cycle pushed later by schedule_offset, and returns a MulticastPlan. Raises, "
      "in this order: CountError, TileError (sender), ReceiverSetError, ScheduleError "
      "(\"multicast start cycle\", \"multicast receive cycle\").");
  add_fast_method<paired_multicast_method>(
      topology_class,
      "paired_multicast($self, /, sender, receivers, count)\n--\n\n"
      "Plans a paired (64-bit) multicast to receivers that come in partner pairs and returns "
      "a MulticastPlan. Raises CountError, ReceiverSetError, any multicast() error, then the "
      "first paired_receiver_row() error.");
}

}  // namespace
}  // namespace zerin::exchange::python

PYBIND11_MODULE(_core, m) {
  using namespace zerin::exchange;
  using namespace zerin::exchange::python;
  m.doc() =
      "Plans data transfers over the statically scheduled on-chip exchange of a many-tile "
      "processor: rows of 32-bit instruction words per tile, their timing, and the words' "
      "encoders and decoder.";
  m.attr("__version__") = version_string;
  bind_errors(m);
  bind_values(m);
  bind_words(m);
  bind_rows_and_routing(m);
  bind_events_and_emission(m);
  bind_timing_and_decoding(m);
  bind_topology(m);
  bind_logging(m);
}
