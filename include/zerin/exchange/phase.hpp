// Exchange phases: many transfers, one program per tile, and a checker.
//
// Every tile enters an exchange phase at the same phase-entry sync, and every
// cycle of a phase counts from it. A `Phase` takes transfers one by one, plans
// each with the library's own planner, places it at a phase cycle `T` (every
// row of the transfer shifted by `T` as a whole) and keeps one straight-line
// program per tile: one sync word, the instructions of all the tile's rows in
// time order, one return word. `check_phase` reads programs back and tells
// whether they still do what the placed transfers meant.
//
// How a row reads as a timeline (the same reading for the builder and the
// checker): the clock starts at 0 on the word after the sync word and every
// word moves it on by its advance. A payload send (send or send-off word)
// issues at the clock and occupies its advance. A PIC or XPIC delay word is a
// control that takes effect when the word completes (issue cycle plus
// advance). A SENDPICP instruction with its payload word issues at the clock
// and its two controls take effect one cycle later, as emission times it.
// Plain delays only wait. The row's horizon is the cycle its return word
// issues. Any other word before the return word (a send-control word, a
// second sync word, 0, an unknown word) has no place in this reading and is
// refused rather than given a guessed meaning.
//
// How a tile's program is laid: the sync word, then every instruction of the
// tile's rows in time order by the emission rules (plain delays up to each
// send, which issues at its cycle; each control's advance cut so that it
// completes at its cycle, after a plain delay when the cycle lies beyond the
// word's reach; a SENDPICP pair issued at its cycle with its planned advance),
// then plain delays up to the tile's last horizon and the return word.
// Programs are variable-length word sequences, not 9-word rows. A phase of one
// transfer gives back each planner row exactly, without its zero fill.
//
// Rows of one tile never overlap. A row occupies its tile from the latest
// cycle at which its first instruction can issue (its first send's issue
// cycle, or one cycle before its first control takes effect) to its horizon;
// two rows may touch but not overlap. When laid, a later row's first control
// word may start its wait inside the earlier row's closing wait; every
// instruction of the later row still takes effect at or after the earlier
// row's horizon. This is conservative on purpose: the exchange may well send
// and receive on one tile at once, but no timing rule for merging a send with
// a receive is known, so the builder never interleaves two rows.
//
// Transfers are multicasts (one receiver included) and paired multicasts.
// Point-to-point plans stay single-transfer: their receiver row opens with a
// word before the sync word that has no stated meaning inside a longer
// program. Host transfers are not planned here.
//
// Thread-safety: the value types are plain values and `check_phase` is a pure
// function. A `Phase` is not synchronised: const members may be called from
// several threads at once, but `add`, `add_at` and the setters need exclusive
// access. The topology a phase refers to must outlive it.
#ifndef ZERIN_EXCHANGE_PHASE_HPP
#define ZERIN_EXCHANGE_PHASE_HPP

#include <cstddef>
#include <cstdint>
#include <expected>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "zerin/exchange/errors.hpp"
#include "zerin/exchange/export.hpp"
#include "zerin/exchange/topology.hpp"
#include "zerin/exchange/words.hpp"

namespace zerin::exchange {

/// The kinds of transfer a phase holds.
enum class TransferKind : std::uint8_t {
  /// Planned with `Topology::multicast` at schedule offset 0 (one receiver
  /// included: it gets a fully framed multicast receiver row).
  Multicast,
  /// Planned with `Topology::paired_multicast`.
  PairedMulticast,
};

/// One transfer of a phase: `sender` sends `count` words once and every tile of
/// `receivers` takes them off. Tiles are logical tile numbers.
struct Transfer {
  /// How the transfer is planned.
  TransferKind kind = TransferKind::Multicast;
  /// The sending logical tile.
  std::uint16_t sender = 0;
  /// The receiving logical tiles, in the order the planner is given them.
  std::vector<std::uint16_t> receivers;
  /// Words moved, 1 to 4148.
  std::uint32_t count = 1;
  /// Member-wise equality.
  friend bool operator==(const Transfer&, const Transfer&) = default;
};

/// One row of a placed transfer: the planner's row and where it lies in the phase.
struct PlacedRow {
  /// The logical tile that runs the row.
  std::uint16_t tile = 0;
  /// The planner's row, its cycles counted from the transfer's `at`.
  ExchangeRow row{};
  /// Phase cycle from which the row occupies its tile (its first send's issue
  /// cycle, or one cycle before its first control takes effect).
  std::uint32_t start = 0;
  /// Phase cycle at which the row's return word issues.
  std::uint32_t horizon = 0;
  /// Member-wise equality.
  friend bool operator==(const PlacedRow&, const PlacedRow&) = default;
};

/// A transfer with its phase cycle and its rows as placed.
struct PlacedTransfer {
  /// The transfer as requested.
  Transfer transfer;
  /// The phase cycle `T` by which every row of the transfer is shifted.
  std::uint32_t at = 0;
  /// The sender's row first, then one row per receiver in receiver order.
  std::vector<PlacedRow> rows;
  /// Member-wise equality.
  friend bool operator==(const PlacedTransfer&, const PlacedTransfer&) = default;
};

/// The program of one tile for a phase.
struct TileProgram {
  /// The logical tile that runs the program.
  std::uint16_t tile = 0;
  /// Sync word, instructions, return word.
  std::vector<std::uint32_t> words;
  /// Member-wise equality.
  friend bool operator==(const TileProgram&, const TileProgram&) = default;
};

/// Plans `transfer` with the library's planner and places its rows at phase
/// cycle `at`, without looking at any other transfer (no overlap or length
/// check). The `Phase` builder and the checker's callers use it alike.
///
/// Errors, in this order: every error of the planner (`Topology::multicast` at
/// schedule offset 0, or `Topology::paired_multicast`), unchanged; Schedule
/// "phase transfer receives on its sending tile" (the sender is one of the
/// receivers: two rows on one tile at once); Schedule "phase row frame" (a row
/// without the sync word first or without a return word); Schedule "phase row
/// word" (a row word the timeline reading cannot place); Schedule "phase
/// horizon overflow" (`at` plus a row's horizon passes 0xFFFFFFFF).
///
/// Thread-safety: pure; reads the topology only.
ZERIN_EXCHANGE_API std::expected<PlacedTransfer, ExchangeError> place_transfer(
    const Topology& topology, const Transfer& transfer, std::uint32_t at);

/// The default largest phase cycle: 0xFFFFFFFF, the whole range of the 32-bit
/// cycle clock that emission and the checker count in. Nothing in the words
/// bounds a phase more tightly (plain delays chain without limit), so the
/// default refuses only what cannot be counted at all; set a smaller maximum
/// to catch a phase that grows longer than the caller means it to.
inline constexpr std::uint32_t default_maximum_phase_cycles = 0xFFFFFFFFu;

/// Settings of a `Phase`.
struct PhaseOptions {
  /// The largest horizon any row may have, in cycles from the phase-entry sync.
  std::uint32_t maximum_cycles = default_maximum_phase_cycles;
  /// The most words one `add` or `add_at` call may lay (new rows, the rows
  /// after them re-laid, the sync and closing words of the tiles it touches);
  /// no limit when empty.
  std::optional<std::size_t> work_budget;
};

/// Builds the per-tile programs of one exchange phase, one transfer at a time.
///
/// A call re-lays only the programs of the tiles its transfer touches, and on
/// those only the new rows and the row right after each (whose lead-in wait
/// depends on what comes before it) or the tile's closing words. Every call
/// either succeeds or leaves the phase exactly as it was.
class ZERIN_EXCHANGE_API Phase {
 public:
  /// An empty phase over `topology`, which must outlive the phase.
  explicit Phase(const Topology& topology, PhaseOptions options = {});
  /// Destroys the phase.
  ~Phase();
  /// Phases move; they are not copied.
  Phase(Phase&&) noexcept;
  /// Phases move; they are not copied.
  Phase& operator=(Phase&&) noexcept;
  /// Not copyable: a phase owns every tile's program.
  Phase(const Phase&) = delete;
  /// Not copyable: a phase owns every tile's program.
  Phase& operator=(const Phase&) = delete;

  /// Places `transfer` at the earliest phase cycle `T` at or after `minimum`
  /// at which every one of its rows fits a free span of its tile (gaps between
  /// earlier rows included: list scheduling in call order), and returns `T`.
  ///
  /// Errors, in this order: the planner's errors and Schedule "phase transfer
  /// receives on its sending tile", "phase row frame", "phase row word", as
  /// `place_transfer` gives them; then, at the first candidate `T` at which a
  /// row's horizon passes the 32-bit clock or the maximum (candidates only
  /// grow), for the first such row, sender first: Schedule "phase horizon
  /// overflow" or `PlanOffsetRange { cycles, maximum }` with `cycles` that
  /// horizon; `ValidationBudgetExceeded` when laying the words would pass the
  /// work budget. On error the phase is unchanged.
  std::expected<std::uint32_t, ExchangeError> add(const Transfer& transfer,
                                                  std::uint32_t minimum = 0);

  /// Places `transfer` exactly at phase cycle `at`.
  ///
  /// Errors, in this order: the planner's errors and Schedule "phase transfer
  /// receives on its sending tile", "phase row frame", "phase row word", as
  /// `place_transfer` gives them; for the first row, sender first, whose
  /// horizon passes the 32-bit clock or the maximum, Schedule "phase horizon
  /// overflow" or `PlanOffsetRange { cycles, maximum }` with `cycles` that
  /// horizon; Schedule "phase sender row overlaps a placed row" or "phase receiver row
  /// overlaps a placed row" (the first row, sender first, whose span overlaps
  /// a row already on its tile); `ValidationBudgetExceeded`. On error the
  /// phase is unchanged.
  std::expected<void, ExchangeError> add_at(const Transfer& transfer, std::uint32_t at);

  /// Sets the largest row horizon for later calls (rows already placed stay).
  void set_maximum_cycles(std::uint32_t maximum) noexcept;
  /// Sets or clears the work budget for later calls.
  void set_work_budget(std::optional<std::size_t> budget) noexcept;
  /// The current settings.
  const PhaseOptions& options() const noexcept;

  /// The phase's length: the largest horizon of any row, 0 when empty.
  std::uint32_t length() const noexcept;
  /// Every transfer placed so far, in call order.
  std::span<const PlacedTransfer> transfers() const noexcept;
  /// The words the last successful call laid (what the work budget counts).
  std::size_t words_laid_by_last_call() const noexcept;
  /// The program of `tile`; empty when no row lies on it.
  std::vector<std::uint32_t> program(std::uint16_t tile) const;
  /// The programs of every tile that holds a row, by ascending tile.
  std::vector<TileProgram> programs() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

/// What kind of disagreement `check_phase` found.
enum class PhaseMismatchKind : std::uint8_t {
  /// A tile with rows has no program, or a tile has two programs.
  Program,
  /// The program does not open with one sync word or close with one return word.
  Framing,
  /// A word the timeline reading cannot place (outside every known layout, a
  /// send-control word, a SENDPICP word without its payload word).
  Word,
  /// A placed row that cannot be read as a timeline, or lies past the 32-bit clock.
  PlacedRow,
  /// Two placed rows of the tile overlap.
  Overlap,
  /// An instruction differs from the expected one (its word or its cycle).
  Instruction,
  /// The program ends while instructions are still expected.
  MissingInstruction,
  /// The program holds an instruction no placed row accounts for.
  ExtraInstruction,
  /// The return word does not issue at the tile's last horizon.
  Return,
  /// The program's clock passes 0xFFFFFFFF.
  ClockOverflow,
};

/// The first disagreement between the programs and the placed transfers.
struct PhaseMismatch {
  /// What disagrees.
  PhaseMismatchKind kind = PhaseMismatchKind::Program;
  /// The logical tile whose program disagrees.
  std::uint16_t tile = 0;
  /// Index of the word in that program (for `PlacedRow`, in the placed row).
  std::size_t word = 0;
  /// What the placed transfers call for, for people.
  std::string expected;
  /// What the program holds, for people.
  std::string found;
  /// Member-wise equality.
  friend bool operator==(const PhaseMismatch&, const PhaseMismatch&) = default;
};

/// Short lower-case name of a mismatch kind, such as "instruction" or "overlap".
ZERIN_EXCHANGE_API std::string_view phase_mismatch_kind_name(PhaseMismatchKind kind) noexcept;

/// One line for people: kind, tile, word index, expected and found.
ZERIN_EXCHANGE_API std::string describe(const PhaseMismatch& mismatch);

/// Decodes every program back into its timeline and checks it against the
/// placed transfers: each tile that holds a placed row has exactly one program;
/// every program opens with one sync word and ends with one return word; every
/// word in between is one the timeline reading places; the placed rows of a
/// tile do not overlap; the program's instructions are exactly those of the
/// tile's rows shifted by their transfer's `at`, in time order (sends issuing
/// at their planned cycle with their planned word, controls taking effect at
/// their planned cycle with their planned fields, the advance a control word
/// carries being free); and the return word issues at the tile's last horizon
/// (0 for a tile without rows). Returns the first mismatch, tiles taken in
/// ascending order and each program from its first word, or nothing when the
/// programs pass. A tile without rows may have no program or `[sync, return]`.
///
/// Thread-safety: pure.
ZERIN_EXCHANGE_API std::optional<PhaseMismatch> check_phase(
    std::span<const TileProgram> programs, std::span<const PlacedTransfer> transfers);

}  // namespace zerin::exchange

#endif  // ZERIN_EXCHANGE_PHASE_HPP
