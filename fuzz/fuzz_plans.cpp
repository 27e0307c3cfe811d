// Fuzz target: the planners on arbitrary senders, receiver lists, counts,
// offsets and minimum double mux times, on the r470 board or a small arbitrary
// tile table.
//
// Input: mode (u8; bit 0 arbitrary table, bit 1 count modulo 4200, bit 2 tiles
// modulo table size + 4, bit 3 offset modulo 4200, bit 4 receivers as partner
// pairs, bit 5 rotate the list by one), table size (u8) and entries (u16 each)
// when bit 0 is set, sender and second tile (u16), count, offset (u32), minimum
// double mux (i32), receiver count (u8 modulo 80) and receivers (u16 each).
//
// Every outcome is checked against an independent reading of the planners'
// rules: the first failing check gives the error, and a success gives framed
// rows with the timing those rules fix.
#include <algorithm>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "fuzz_support.hpp"

namespace zx = zerin::exchange;
namespace f = zx::word_format;
using namespace zx::fuzz;

namespace {

// Counts the events offered and keeps the last one's text.
class CountingSink : public zx::DiagnosticSink {
 public:
  bool enabled(zx::DiagnosticLevel, std::string_view) const noexcept override { return true; }
  void deliver(const zx::DiagnosticEvent& event) override {
    ++count;
    require(event.level == zx::DiagnosticLevel::Debug && event.target == "zerin_exchange",
            "diagnostic level or target");
    last = zx::format_diagnostic(event);
  }
  int count = 0;
  std::string last;
};

CountingSink& sink() {
  static const std::shared_ptr<CountingSink> installed = [] {
    auto made = std::make_shared<CountingSink>();
    zx::set_diagnostic_sink(made);
    return made;
  }();
  return *installed;
}

// Runs `call`, which must not throw an internal fault.
template <class F>
auto no_fault(const char* what, F&& call) {
  try {
    return call();
  } catch (const zx::InternalFault& fault) {
    violation(what, fault.what());
  }
}

struct Board {
  const zx::Topology& topology;
  std::optional<std::uint32_t> physical(std::uint16_t logical) const {
    if (logical >= topology.size()) return std::nullopt;
    return topology.logical_to_physical()[logical];
  }
  std::optional<std::uint16_t> partner(std::uint16_t logical) const {
    const auto tile = physical(logical);
    if (!tile) return std::nullopt;
    const auto table = topology.logical_to_physical();
    for (std::size_t i = 0; i < table.size(); ++i) {
      if (table[i] == (*tile ^ 2u)) return static_cast<std::uint16_t>(i);
    }
    return std::nullopt;
  }
};

std::uint32_t phase(std::uint32_t tile) {
  return (tile / 64u) * 2u;
}

// The receiver tail's PIC wait (7-bit field) holds phase + 51 for a long
// transfer and phase + 51 - count for a short one.
bool tail_fits(std::uint32_t count, std::uint32_t tile) {
  const std::uint32_t wait = count > 51 ? phase(tile) + 51 : phase(tile) + 51 - count;
  return wait <= 127;
}

// A sender row framed as sync, instructions, return, zero fill, whose timing at
// offset 0 is the start of its payload, `count` cycles of payload and at least
// six cycles in all.
void check_sender_row(const zx::ExchangeRow& row, std::uint32_t start, std::uint32_t count,
                      std::uint32_t direction) {
  const std::size_t end = closing_return_index(row);
  require(row[0] == zx::sync_word && end < zx::row_length, "sender row framing");
  for (std::size_t i = 1; i < end; ++i) {
    require(row[i] != zx::return_word && row[i] != 0 && row[i] != zx::sync_word, "sender row body");
    if (zx::is_payload_send(row[i])) {
      require((row[i] & 7u) == direction, "sender row send direction");
    }
  }
  const auto timing = zx::scheduled_sender_timing(row, 0);
  require(timing.has_value(), "sender row timing at offset 0 failed", debug_string(timing));
  require(timing->payload_start < timing->payload_end && timing->payload_end <= timing->horizon,
          "payload_start < payload_end <= horizon");
  require(timing->payload_start == start && timing->payload_end == start + count &&
              timing->horizon == std::max(start + count, 6u),
          "sender row timing", debug_string(timing));
}

void check_point_to_point(const Board& board, std::uint16_t sender, std::uint16_t receiver,
                          std::uint32_t count) {
  sink().count = 0;
  const auto plan = no_fault("point_to_point threw", [&] {
    return board.topology.point_to_point(sender, receiver, count);
  });
  Tally::outcome("point_to_point", plan);
  std::optional<zx::ExchangeError> expected;
  std::int32_t mux = 0;
  const auto s = board.physical(sender);
  const auto r = board.physical(receiver);
  if (count < 1 || count > zx::maximum_transfer_count) {
    expected = zx::ExchangeError::Count{count};
  } else if (sender == receiver) {
    expected = zx::ExchangeError::DuplicateTile{};
  } else if (!s) {
    expected = zx::ExchangeError::Tile{sender};
  } else if (!r) {
    expected = zx::ExchangeError::Tile{receiver};
  } else {
    mux = zx::time_to_mux(*s, *r);
    if (111 - mux < -1 || 111 - mux > 0x7FFFF)
      expected = zx::ExchangeError::schedule(zx::ScheduleReason::SenderDelay);
    else if (!tail_fits(count, *r))
      expected = zx::ExchangeError::schedule(zx::ScheduleReason::ReceiverPhase);
  }
  if (expected) {
    require(!plan, "point_to_point succeeded where it must fail", debug_string(*expected));
    require_error(plan.error(), *expected, "point_to_point error");
    require(sink().count == 0, "point_to_point emitted an event on failure");
    return;
  }
  require_value(plan, "point_to_point failed");
  require(sink().count == 1, "point_to_point must emit one event");
  require(sink().last == "DEBUG zerin_exchange: assembled point-to-point exchange sender_logical=" +
                             std::to_string(sender) + " receiver_logical=" +
                             std::to_string(receiver) + " count=" + std::to_string(count),
          "point_to_point event", sink().last);
  // The first word reaches the receiver's mux at cycle 112 after the sender's sync.
  check_sender_row(plan->sender, static_cast<std::uint32_t>(112 - mux), count,
                   zx::direction(*s, *r));
  const zx::ExchangeRow& row = plan->receiver;
  require(row[0] == 1 && row[1] == zx::sync_word && closing_return_index(row) == 6 &&
              row[2] == zx::delay_xpic(112, 0, 0),
          "point-to-point receiver row framing");
}

std::optional<zx::ExchangeError> expected_multicast_error(
    const Board& board, std::uint16_t sender, const std::vector<std::uint16_t>& receivers,
    std::uint32_t count, std::uint32_t offset, std::uint32_t& start) {
  if (count < 1 || count > zx::maximum_transfer_count) return zx::ExchangeError::Count{count};
  const auto s = board.physical(sender);
  if (!s) return zx::ExchangeError::Tile{sender};
  if (receivers.empty() || (receivers.size() == 1 && receivers[0] == sender)) {
    return zx::ExchangeError::ReceiverSet{};
  }
  std::int32_t minimum = std::numeric_limits<std::int32_t>::max();
  for (std::size_t i = 0; i < receivers.size(); ++i) {
    const auto r = board.physical(receivers[i]);
    if (!r || std::find(receivers.begin(), receivers.begin() + static_cast<std::ptrdiff_t>(i),
                        receivers[i]) != receivers.begin() + static_cast<std::ptrdiff_t>(i)) {
      return zx::ExchangeError::ReceiverSet{};
    }
    minimum = std::min(minimum, zx::time_to_mux(*s, *r));
  }
  const std::uint64_t start64 =
      std::uint64_t(std::max<std::int64_t>(-std::int64_t{minimum}, 0)) + offset;
  if (start64 > 4095) return zx::ExchangeError::schedule(zx::ScheduleReason::MulticastStartCycle);
  start = static_cast<std::uint32_t>(start64);
  if (*s > 8191) return zx::ExchangeError::schedule(zx::ScheduleReason::MulticastSourceTile);
  for (const std::uint16_t receiver : receivers) {
    if (std::int64_t{start} + zx::time_to_mux(*s, *board.physical(receiver)) > 4095) {
      return zx::ExchangeError::schedule(zx::ScheduleReason::MulticastReceiveCycle);
    }
    if (!tail_fits(count, *board.physical(receiver))) {
      return zx::ExchangeError::schedule(zx::ScheduleReason::ReceiverPhase);
    }
  }
  return std::nullopt;
}

std::string list_text(const std::vector<std::uint16_t>& tiles) {
  std::string text = "[";
  for (std::size_t i = 0; i < tiles.size(); ++i) text += (i ? ", " : "") + std::to_string(tiles[i]);
  return text + "]";
}

bool check_multicast(const Board& board, std::uint16_t sender,
                     const std::vector<std::uint16_t>& receivers, std::uint32_t count,
                     std::uint32_t offset) {
  sink().count = 0;
  const auto plan = no_fault("multicast threw", [&] {
    return board.topology.multicast(sender, receivers, count, offset);
  });
  Tally::outcome("multicast", plan);
  std::uint32_t start = 0;
  const auto expected = expected_multicast_error(board, sender, receivers, count, offset, start);
  // Building into a used plan gives the same outcome and clears it on failure.
  zx::MulticastPlan reused{{1, 2, 3}, std::vector<zx::ExchangeRow>(3, zx::ExchangeRow{7})};
  sink().count = 0;
  const auto into = no_fault("multicast_into threw", [&] {
    return board.topology.multicast_into(reused, sender, receivers, count, offset);
  });
  if (expected) {
    require(!plan, "multicast succeeded where it must fail", debug_string(*expected));
    require_error(plan.error(), *expected, "multicast error");
    require(!into && into.error() == plan.error(), "multicast_into error");
    require(reused.sender == zx::ExchangeRow{} && reused.receivers.empty(),
            "failed multicast_into left a partial plan");
    require(sink().count == 0, "multicast emitted an event on failure");
    return false;
  }
  require_value(plan, "multicast failed");
  require(into.has_value() && reused == *plan, "multicast_into differs from multicast");
  require(sink().count == 1, "multicast must emit one event");
  require(sink().last == "DEBUG zerin_exchange: assembled multicast exchange sender_logical=" +
                             std::to_string(sender) + " receiver_logical=" + list_text(receivers) +
                             " count=" + std::to_string(count) +
                             " schedule_offset=" + std::to_string(offset),
          "multicast event", sink().last);
  const std::uint32_t s = *board.physical(sender);
  check_sender_row(plan->sender, start, count,
                   receivers.size() == 1 ? zx::direction(s, *board.physical(receivers[0])) : 3u);
  require(plan->receivers.size() == receivers.size(), "one receiver row per receiver");
  for (std::size_t i = 0; i < receivers.size(); ++i) {
    const zx::ExchangeRow& row = plan->receivers[i];
    const std::uint32_t r = *board.physical(receivers[i]);
    const auto receive = static_cast<std::uint32_t>(std::int64_t{start} + zx::time_to_mux(s, r));
    require(row[0] == zx::sync_word && closing_return_index(row) == 5,
            "multicast receiver row framing");
    require(zx::is_xpic_delay(row[1]) && f::XpicDelay::advance.get(row[1]) == receive &&
                f::XpicDelay::control.get(row[1]) == (s & f::XpicDelay::control.max()),
            "multicast receiver row is not timed to its own receiver (input order)");
    // The PIC control word ends phase + 52 cycles into the tail.
    // Long transfers put the PIC word first, short ones after an XPIC word.
    const std::size_t pic_end = count > 51 ? 3 : 4;
    require(zx::is_pic_delay(row[pic_end - 1]), "multicast receiver tail PIC word");
    require(occupied_cycles(row.data() + 2, row.data() + pic_end) == phase(r) + 52,
            "multicast receiver tail timing");
  }
  return true;
}

// The outcome of paired_receiver_row, from the event rules alone.
struct PairedExpectation {
  std::optional<zx::ExchangeError> error;
  bool fault = false;
  bool early = false;
  std::uint64_t horizon = 0;
  std::size_t words = 0;
};

PairedExpectation expected_paired_row(const Board& board, std::uint16_t sender,
                                      std::uint16_t receiver, std::uint32_t count,
                                      std::int32_t minimum_double_mux) {
  PairedExpectation out;
  const auto s = board.physical(sender);
  const auto r = board.physical(receiver);
  if (!s) return out.error = zx::ExchangeError::Tile{sender}, out;
  if (!r) return out.error = zx::ExchangeError::Tile{receiver}, out;
  constexpr std::int64_t int_max = std::numeric_limits<std::int32_t>::max();
  const std::int64_t shift = 1 - std::int64_t{minimum_double_mux};
  if (shift > int_max) return out.fault = true, out;
  const std::int64_t source = std::max<std::int64_t>(shift, 0) + zx::paired_time_to_mux(*s, *r);
  if (source > int_max) return out.fault = true, out;
  if (source < 0)
    return out.error = zx::ExchangeError::schedule(zx::ScheduleReason::PairedSourceTiming), out;
  const std::uint64_t format = std::uint64_t(source) + 51 + phase(*r);
  out.early = zx::time_to_mux(*s, *r) < zx::time_to_mux(*s, *r ^ 2u);
  if (format > 0xFFFFFFFFu) return out.fault = true, out;
  if (out.early && (*s ^ (*r & 2u)) > 8191) {
    return out.error = zx::ExchangeError::schedule(zx::ScheduleReason::PairedSourceTile), out;
  }
  struct Event {
    std::uint64_t cycles;
    std::uint32_t reach;
  };
  std::vector<Event> events;
  if (out.early) {
    events.push_back({std::uint64_t(source), 4096});
    events.push_back({std::uint64_t(source) + count, 4096});
  }
  events.push_back({format, 128});
  events.push_back({format + 2, 128});
  events.push_back({format + count, 128});
  for (const Event& event : events) {
    if (event.cycles > 0xFFFFFFFFu) return out.fault = true, out;
  }
  // Stable insertion sort by cycle (at most five events).
  for (std::size_t i = 1; i < events.size(); ++i) {
    for (std::size_t j = i; j > 0 && events[j - 1].cycles > events[j].cycles; --j) {
      std::swap(events[j - 1], events[j]);
    }
  }
  for (std::size_t i = 1; i < events.size(); ++i) {
    if (events[i - 1].cycles == events[i].cycles) {
      return out.error =
                 zx::ExchangeError::schedule(zx::ScheduleReason::PairedReceiveCoincidentControls),
             out;
    }
  }
  out.horizon = events.back().cycles + 7;
  if (out.horizon > 0xFFFFFFFFu) {
    return out.error =
               zx::ExchangeError::schedule(zx::ScheduleReason::PairedReceiveHorizonOverflow),
           out;
  }
  // The row's clock starts at 0: an event there cannot be issued.
  if (events.front().cycles == 0) {
    return out.error = zx::ExchangeError::schedule(zx::ScheduleReason::ReceiveControlIssueInterval),
           out;
  }
  // Sync, per event its word and the plain delays beyond its reach, the closing
  // delay of 7 cycles, return.
  std::size_t words = 3;
  std::uint64_t clock = 0;
  for (const Event& event : events) {
    const std::uint64_t gap = event.cycles - clock;
    words += 1 + (gap > event.reach ? (gap - event.reach + 524287) / 524288 : 0);
    clock = event.cycles;
  }
  out.words = words;
  if (words > zx::row_length) {
    out.error = zx::ExchangeError::schedule(zx::ScheduleReason::PairedReceiveRowCapacity);
  }
  return out;
}

std::optional<zx::ExchangeRow> check_paired_receiver_row(const Board& board, std::uint16_t sender,
                                                         std::uint16_t receiver,
                                                         std::uint32_t count,
                                                         std::int32_t minimum_double_mux) {
  const PairedExpectation expected =
      expected_paired_row(board, sender, receiver, count, minimum_double_mux);
  std::expected<zx::ExchangeRow, zx::ExchangeError> row = zx::ExchangeRow{};
  try {
    row = board.topology.paired_receiver_row(sender, receiver, count, minimum_double_mux);
  } catch (const zx::InternalFault& fault) {
    Tally::count(std::string("paired_receiver_row fault ") + fault.what());
    require(expected.fault, "paired_receiver_row threw without an overflow", fault.what());
    // Only arguments that no plan passes can overflow the event cycles.
    require(
        count > zx::maximum_transfer_count || minimum_double_mux < -96 || minimum_double_mux > 130,
        "paired_receiver_row overflowed on plan arguments");
    const std::string_view message = fault.what();
    require(message == "paired receive epoch shift overflows" ||
                message == "paired receive source event overflows" ||
                message == "paired receive event cycle overflows",
            "paired_receiver_row fault message", message);
    return std::nullopt;
  }
  Tally::outcome("paired_receiver_row", row);
  require(!expected.fault, "paired_receiver_row wrapped an overflow");
  if (expected.error) {
    require(!row, "paired_receiver_row succeeded where it must fail",
            debug_string(*expected.error));
    require_error(row.error(), *expected.error, "paired_receiver_row error");
    return std::nullopt;
  }
  require_value(row, "paired_receiver_row failed");
  const std::size_t end = closing_return_index(*row);
  require((*row)[0] == zx::sync_word && end + 1 == expected.words, "paired receiver row framing");
  require(occupied_cycles(row->data() + 1, row->data() + end) == expected.horizon,
          "paired receiver row does not end at its horizon");
  int xpic_words = 0;
  int pic_words = 0;
  for (std::size_t i = 1; i < end; ++i) {
    xpic_words += zx::is_xpic_delay((*row)[i]);
    pic_words += zx::is_pic_delay((*row)[i]);
    require(zx::is_xpic_delay((*row)[i]) || zx::is_pic_delay((*row)[i]) ||
                zx::is_exchange_delay((*row)[i]),
            "paired receiver row holds a word that is not a delay");
  }
  require(pic_words == 3 && xpic_words == (expected.early ? 2 : 0),
          "paired receiver row control words");
  return *row;
}

void check_paired_multicast(const Board& board, std::uint16_t sender,
                            const std::vector<std::uint16_t>& receivers, std::uint32_t count) {
  sink().count = 0;
  const auto plan = no_fault("paired_multicast threw", [&] {
    return board.topology.paired_multicast(sender, receivers, count);
  });
  const int events = sink().count;
  Tally::outcome("paired_multicast", plan);
  std::optional<zx::ExchangeError> expected;
  bool multicast_ran = false;
  if (count < 1 || count > zx::maximum_transfer_count) {
    expected = zx::ExchangeError::Count{count};
  } else if (receivers.empty() || receivers.size() % 2 != 0) {
    expected = zx::ExchangeError::ReceiverSet{};
  } else {
    for (std::size_t i = 0; i < receivers.size() && !expected; ++i) {
      if (std::count(receivers.begin(), receivers.end(), receivers[i]) > 1) {
        expected = zx::ExchangeError::ReceiverSet{};
      }
    }
    for (std::size_t i = 0; i < receivers.size() && !expected; ++i) {
      const auto partner = board.partner(receivers[i]);
      if (!partner || std::find(receivers.begin(), receivers.end(), *partner) == receivers.end()) {
        expected = zx::ExchangeError::ReceiverSet{};
      }
    }
  }
  zx::MulticastPlan ordinary;
  std::int32_t minimum = std::numeric_limits<std::int32_t>::max();
  std::vector<zx::ExchangeRow> rows;
  if (!expected) {
    auto built = board.topology.multicast(sender, receivers, count, 0);
    if (!built) {
      expected = built.error();
    } else {
      multicast_ran = true;
      ordinary = *built;
      const std::uint32_t s = *board.physical(sender);
      for (const std::uint16_t receiver : receivers) {
        minimum = std::min(minimum, zx::paired_time_to_mux(s, *board.physical(receiver)));
      }
      for (const std::uint16_t receiver : receivers) {
        auto row = board.topology.paired_receiver_row(sender, receiver, count, minimum);
        if (!row) {
          expected = row.error();
          break;
        }
        rows.push_back(*row);
      }
    }
  }
  require(events == (multicast_ran ? 1 : 0), "paired_multicast event count");
  zx::MulticastPlan reused{{9}, std::vector<zx::ExchangeRow>(5)};
  const auto into = no_fault("paired_multicast_into threw", [&] {
    return board.topology.paired_multicast_into(reused, sender, receivers, count);
  });
  if (expected) {
    require(!plan, "paired_multicast succeeded where it must fail", debug_string(*expected));
    require_error(plan.error(), *expected, "paired_multicast error");
    require(!into && into.error() == plan.error() && reused.receivers.empty() &&
                reused.sender == zx::ExchangeRow{},
            "paired_multicast_into failure");
    return;
  }
  require_value(plan, "paired_multicast failed");
  require(into.has_value() && reused == *plan, "paired_multicast_into differs");
  // The multicast sender row with its send control stamped in.
  const std::uint32_t s = *board.physical(sender);
  const bool sender_listed =
      std::find(receivers.begin(), receivers.end(), sender) != receivers.end();
  const std::uint32_t control = receivers.size() == 2 && !sender_listed
                                    ? (zx::direction(s, *board.physical(receivers[0])) | 4u)
                                    : 7u;
  for (std::size_t i = 0; i < zx::row_length; ++i) {
    const std::uint32_t want = zx::is_payload_send(ordinary.sender[i])
                                   ? (ordinary.sender[i] & ~7u) | control
                                   : ordinary.sender[i];
    require(plan->sender[i] == want, "paired sender row");
  }
  const auto timing = zx::scheduled_sender_timing(plan->sender, 0);
  require(timing.has_value() && timing->payload_start < timing->payload_end &&
              timing->payload_end <= timing->horizon,
          "paired sender row timing at offset 0");
  require(plan->receivers == rows, "paired receiver rows (input order)");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const zx::Topology r470 = zx::Topology::r470();
  ByteReader in(data, size);
  const std::uint8_t mode = in.u8();
  std::optional<zx::Topology> custom;
  if (mode & 1u) {
    std::vector<std::uint16_t> table(1u + in.u8() % 64u);
    for (std::uint16_t& entry : table) entry = in.u16();
    custom.emplace(std::move(table));
  }
  const Board board{custom ? *custom : r470};
  const auto tile_limit = static_cast<std::uint32_t>(board.topology.size() + 4);
  auto tile = [&] {
    const std::uint16_t raw = in.u16();
    return (mode & 4u) ? static_cast<std::uint16_t>(raw % tile_limit) : raw;
  };
  const std::uint16_t sender = tile();
  const std::uint16_t second = tile();
  std::uint32_t count = in.u32();
  if (mode & 2u) count %= 4200u;
  std::uint32_t offset = in.u32();
  if (mode & 8u) offset %= 4200u;
  const std::int32_t minimum_double_mux = in.i32();
  std::vector<std::uint16_t> receivers;
  const std::size_t listed = in.u8() % 80u;
  for (std::size_t i = 0; i < listed; ++i) {
    const std::uint16_t receiver = tile();
    receivers.push_back(receiver);
    if (mode & 16u) receivers.push_back(receiver ^ 1u);
  }
  if ((mode & 32u) && !receivers.empty()) {
    std::rotate(receivers.begin(), receivers.begin() + 1, receivers.end());
  }

  check_point_to_point(board, sender, second, count);
  check_multicast(board, sender, receivers, count, offset);
  check_paired_multicast(board, sender, receivers, count);
  check_paired_receiver_row(board, sender, second, count, minimum_double_mux);
  if (!receivers.empty()) {
    check_paired_receiver_row(board, sender, receivers[0], count % 4149u,
                              minimum_double_mux % 227 - 96);
  }
  return 0;
}
