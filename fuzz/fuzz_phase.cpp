// Fuzz target: exchange phases built from random transfers.
//
// Input: maximum phase length (u32; 0 means the default), then up to 48
// operations, each: op (u8: bit 0 add_at rather than add, bit 1 paired, bit 2
// crowd the tiles onto 24, bit 3 a large cycle, bit 4 set a budget, bit 5 clear
// it), budget (u8), sender (u16), receiver count (u8, modulo 9), receivers
// (u16 each), count (u16, modulo 4150: 0 and 4149 are refused), cycle (u32: the
// minimum for add, the cycle for add_at; cut to 16 bits without bit 3).
//
// Checks: nothing crashes; every refusal is one of the documented errors and
// leaves the phase exactly as it was; a success stays within the budget and
// the maximum and lands at or after the minimum (add) or at the cycle given
// (add_at), and one cycle earlier would have been refused (add); every
// assembled phase passes the checker.
#include <vector>

#include "fuzz_support.hpp"

namespace zx = zerin::exchange;
using namespace zx::fuzz;
using R = zx::ScheduleReason;

namespace {

const zx::Topology& board() {
  static const zx::Topology topology = zx::Topology::r470();
  return topology;
}

struct Snapshot {
  std::vector<zx::TileProgram> programs;
  std::vector<zx::PlacedTransfer> transfers;
  std::uint32_t length;
  bool operator==(const Snapshot&) const = default;
};

Snapshot snapshot(const zx::Phase& phase) {
  return {phase.programs(), {phase.transfers().begin(), phase.transfers().end()}, phase.length()};
}

// The errors add() and add_at() document: the planners' and the phase's own.
void require_documented(const zx::ExchangeError& error, std::uint32_t maximum, bool exact) {
  using E = zx::ExchangeError;
  if (error.is<E::Count>() || error.is<E::Tile>() || error.is<E::ReceiverSet>() ||
      error.is<E::ValidationBudgetExceeded>()) {
    return;
  }
  if (const auto* range = error.get_if<E::PlanOffsetRange>()) {
    require(range->maximum == maximum && range->cycles > maximum, "phase range error",
            debug_string(error));
    return;
  }
  const auto* schedule = error.get_if<E::Schedule>();
  if (!schedule) violation("phase error variant", debug_string(error));
  switch (schedule->reason) {
    case R::MulticastStartCycle:
    case R::MulticastReceiveCycle:
    case R::MulticastSourceTile:
    case R::ReceiverPhase:
    case R::PairedSourceTiming:
    case R::PairedSourceTile:
    case R::PairedReceiveCoincidentControls:
    case R::PairedReceiveHorizonOverflow:
    case R::PairedReceiveRowCapacity:
    case R::PhaseSelfReceiver:
    case R::PhaseHorizonOverflow:
      return;
    case R::PhaseSenderOverlap:
    case R::PhaseReceiverOverlap:
      require(exact, "overlap reason from add()");
      return;
    default:
      violation("phase schedule reason", debug_string(error));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ByteReader in(data, size);
  const std::uint32_t maximum_raw = in.u32();
  const std::uint32_t maximum = maximum_raw == 0 ? zx::default_maximum_phase_cycles : maximum_raw;
  zx::Phase phase(board(), {.maximum_cycles = maximum, .work_budget = std::nullopt});
  // The same placements made exactly, without a budget: a witness that add()
  // took the earliest cycle, and that both ways lay the same words.
  zx::Phase witness(board(), {.maximum_cycles = maximum, .work_budget = std::nullopt});

  for (int step = 0; step < 48 && !in.empty(); ++step) {
    const std::uint8_t op = in.u8();
    const std::uint8_t budget = in.u8();
    if (op & 0x10) phase.set_work_budget(budget);
    if (op & 0x20) phase.set_work_budget(std::nullopt);
    const bool crowd = (op & 0x04) != 0;
    auto tile = [&](std::uint16_t raw) {
      return crowd ? static_cast<std::uint16_t>(raw % 24) : static_cast<std::uint16_t>(raw % 1480);
    };
    zx::Transfer transfer;
    transfer.kind = (op & 0x02) ? zx::TransferKind::PairedMulticast : zx::TransferKind::Multicast;
    transfer.sender = tile(in.u16());
    const std::size_t receivers = in.u8() % 9;
    for (std::size_t i = 0; i < receivers; ++i) transfer.receivers.push_back(tile(in.u16()));
    transfer.count = in.u16() % 4150;
    std::uint32_t cycle = in.u32();
    if (!(op & 0x08)) cycle &= 0xFFFF;

    const Snapshot before = snapshot(phase);
    const bool exact = (op & 0x01) != 0;
    std::expected<std::uint32_t, zx::ExchangeError> placed;
    if (exact) {
      auto done = phase.add_at(transfer, cycle);
      placed = done ? std::expected<std::uint32_t, zx::ExchangeError>(cycle)
                    : std::unexpected(done.error());
    } else {
      placed = phase.add(transfer, cycle);
    }
    Tally::outcome(exact ? "add_at" : "add", placed);
    if (!placed) {
      require_documented(placed.error(), maximum, exact);
      require(snapshot(phase) == before, "refused call changed the phase");
      continue;
    }
    require(*placed >= cycle && (!exact || *placed == cycle), "phase placed off its cycle");
    if (const auto& limit = phase.options().work_budget) {
      require(phase.words_laid_by_last_call() <= *limit, "phase call passed its budget");
    }
    require(phase.length() <= maximum, "phase longer than its maximum");
    const zx::PlacedTransfer& last = phase.transfers().back();
    require(last.transfer == transfer && last.at == *placed, "phase records the transfer");
    if (!exact && *placed > cycle) {
      // List scheduling took the earliest cycle: one earlier is refused.
      const Snapshot kept = snapshot(witness);
      require(!witness.add_at(transfer, *placed - 1), "phase add was not the earliest cycle");
      require(snapshot(witness) == kept, "refused probe changed the phase");
    }
    if (auto same = witness.add_at(transfer, *placed); !same) {
      violation("witness placement", debug_string(same.error()));
    }
  }

  const auto programs = phase.programs();
  if (auto found = zx::check_phase(programs, phase.transfers())) {
    violation("assembled phase fails the checker", zx::describe(*found));
  }
  require(witness.programs() == programs, "add and add_at lay different words");
  return 0;
}
