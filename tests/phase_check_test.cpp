// The phase checker: assembled phases of random transfers always pass it, and
// hand-broken programs fail it at the right word.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <random>
#include <vector>

#include "zerin/exchange.hpp"

namespace zx = zerin::exchange;
using Kind = zx::PhaseMismatchKind;

namespace {

const zx::Topology& board() {
  static const zx::Topology topology = zx::Topology::r470();
  return topology;
}

// Random transfers over the board: multicasts to 1 to 8 receivers and paired
// transfers of 1 to 4 pairs, counts 1 to 4148 (some refused by the planner).
class TransferPicker {
 public:
  explicit TransferPicker(std::uint32_t seed) : rng_(seed) {}
  std::uint32_t pick(std::uint32_t low, std::uint32_t high) {
    return std::uniform_int_distribution<std::uint32_t>(low, high)(rng_);
  }
  zx::Transfer operator()() {
    zx::Transfer transfer;
    transfer.sender = static_cast<std::uint16_t>(pick(0, zx::r470_tile_count - 1));
    transfer.count = pick(0, 3) == 0 ? pick(1, 64) : pick(1, 4148);
    if (pick(0, 1) == 0) {
      transfer.kind = zx::TransferKind::Multicast;
      const std::uint32_t receivers = pick(1, 8);
      while (transfer.receivers.size() < receivers) {
        const auto tile = static_cast<std::uint16_t>(pick(0, zx::r470_tile_count - 1));
        if (tile != transfer.sender &&
            std::ranges::find(transfer.receivers, tile) == transfer.receivers.end()) {
          transfer.receivers.push_back(tile);
        }
      }
    } else {
      transfer.kind = zx::TransferKind::PairedMulticast;
      const std::uint32_t pairs = pick(1, 4);
      while (transfer.receivers.size() < 2 * pairs) {
        const auto base = static_cast<std::uint16_t>(pick(0, zx::r470_tile_count / 2 - 1) * 2);
        if (base == (transfer.sender & ~1u) ||
            std::ranges::find(transfer.receivers, base) != transfer.receivers.end()) {
          continue;
        }
        transfer.receivers.push_back(base);
        transfer.receivers.push_back(static_cast<std::uint16_t>(base + 1));
      }
    }
    return transfer;
  }

 private:
  std::mt19937 rng_;
};

// A phase of `size` random transfers over a few tiles, some placed by `add`
// at a random minimum and some by `add_at`.
zx::Phase random_phase(std::uint32_t seed, int size, std::uint16_t tiles) {
  TransferPicker picker(seed);
  zx::Phase phase(board());
  for (int i = 0; i < size; ++i) {
    zx::Transfer transfer = picker();
    // Crowd the transfers onto few tiles so that rows meet and fill gaps.
    transfer.sender %= tiles;
    for (auto& tile : transfer.receivers) tile = static_cast<std::uint16_t>(tile % tiles);
    if (picker.pick(0, 3) == 0) {
      (void)phase.add_at(transfer, picker.pick(0, 40000));
    } else {
      (void)phase.add(transfer, picker.pick(0, 3) == 0 ? picker.pick(0, 20000) : 0);
    }
  }
  return phase;
}

std::optional<zx::PhaseMismatch> check(const std::vector<zx::TileProgram>& programs,
                                       const zx::Phase& phase) {
  return zx::check_phase(programs, phase.transfers());
}

TEST(PhaseCheck, AssembledPhasesAlwaysPass) {
  for (std::uint32_t seed = 1; seed <= 40; ++seed) {
    const zx::Phase phase = random_phase(seed, 60, seed % 2 == 0 ? 16 : 1472);
    ASSERT_FALSE(phase.transfers().empty());
    const auto programs = phase.programs();
    const auto found = check(programs, phase);
    ASSERT_FALSE(found) << "seed " << seed << ": " << zx::describe(*found);
    // Every program's timed words add up to the phase length or less, and the
    // longest one is the phase.
    std::uint32_t longest = 0;
    for (const auto& program : programs) {
      std::uint64_t cycles = 0;
      for (std::uint32_t word : program.words) cycles += zx::instruction_advance(word);
      longest = std::max<std::uint32_t>(longest, static_cast<std::uint32_t>(cycles));
    }
    EXPECT_EQ(longest, phase.length());
  }
}

// A small phase whose programs the tests below break by hand: tile 10 sends
// twice, tile 20 receives both transfers, tile 30 the second only.
struct Broken {
  zx::Phase phase{board()};
  std::vector<zx::TileProgram> programs;
  Broken() {
    EXPECT_TRUE(phase.add_at({zx::TransferKind::Multicast, 10, {20}, 100}, 0));
    EXPECT_TRUE(phase.add({zx::TransferKind::Multicast, 10, {20, 30}, 300}));
    programs = phase.programs();
  }
  std::vector<std::uint32_t>& words(std::uint16_t tile) {
    return std::ranges::find(programs, tile, &zx::TileProgram::tile)->words;
  }
  std::optional<zx::PhaseMismatch> checked() const {
    return zx::check_phase(programs, phase.transfers());
  }
};

// Index of the n-th word of `words` that `kind` recognises.
std::size_t nth(const std::vector<std::uint32_t>& words, bool (*kind)(std::uint32_t), int n = 0) {
  for (std::size_t i = 0; i < words.size(); ++i) {
    if (kind(words[i]) && n-- == 0) return i;
  }
  ADD_FAILURE() << "no such word";
  return 0;
}

TEST(PhaseCheck, AChangedWordFailsAtThatWord) {
  {
    Broken broken;
    auto& receiver = broken.words(20);
    const std::size_t pic = nth(receiver, zx::is_pic_delay, 1);
    receiver[pic] ^= 1;  // the second transfer's PIC control value
    const auto found = broken.checked();
    ASSERT_TRUE(found);
    EXPECT_EQ(found->kind, Kind::Instruction);
    EXPECT_EQ(found->tile, 20);
    EXPECT_EQ(found->word, pic);
  }
  {
    Broken broken;
    auto& sender = broken.words(10);
    const std::size_t send = nth(sender, zx::is_send, 1);
    sender[send] = zx::word_format::send.field("direction").set(sender[send], 1);
    const auto found = broken.checked();
    ASSERT_TRUE(found);
    EXPECT_EQ(found->kind, Kind::Instruction);
    EXPECT_EQ(found->word, send);
    EXPECT_NE(found->expected, found->found);
  }
  {
    // A control's advance is free as long as it still takes effect on time:
    // a one-cycle wait before a control word one cycle shorter passes.
    Broken broken;
    auto& receiver = broken.words(30);
    const std::size_t xpic = nth(receiver, zx::is_xpic_delay);
    const std::uint32_t advance = zx::instruction_advance(receiver[xpic]);
    ASSERT_GT(advance, 1u);
    ASSERT_TRUE(zx::set_instruction_advance(receiver[xpic], advance - 1));
    receiver.insert(receiver.begin() + static_cast<std::ptrdiff_t>(xpic), zx::delay(0));
    const auto passes = broken.checked();
    EXPECT_FALSE(passes) << zx::describe(*passes);
  }
}

TEST(PhaseCheck, AShortenedDelayFailsAtTheNextInstruction) {
  Broken broken;
  auto& sender = broken.words(10);
  // The wait before the second transfer's send.
  const std::size_t send = nth(sender, zx::is_send, 1);
  ASSERT_TRUE(zx::is_exchange_delay(sender[send - 1]));
  sender[send - 1] -= 1;
  const auto found = broken.checked();
  ASSERT_TRUE(found);
  EXPECT_EQ(found->kind, Kind::Instruction);
  EXPECT_EQ(found->tile, 10);
  EXPECT_EQ(found->word, send);
  EXPECT_NE(found->expected.find("issuing at cycle"), std::string::npos);
}

TEST(PhaseCheck, OverlappedRowsFailWhereTheLaterRowBegins) {
  Broken broken;
  // Claim the second transfer ran early enough for its sender row to overlap
  // the first one's by a cycle; the programs stay as laid.
  std::vector<zx::PlacedTransfer> transfers(broken.phase.transfers().begin(),
                                            broken.phase.transfers().end());
  const std::uint32_t early = transfers[1].rows[0].start - transfers[0].rows[0].horizon + 1;
  auto moved = zx::place_transfer(board(), transfers[1].transfer, transfers[1].at - early);
  ASSERT_TRUE(moved);
  transfers[1] = *moved;
  const auto found = zx::check_phase(broken.programs, transfers);
  ASSERT_TRUE(found);
  EXPECT_EQ(found->kind, Kind::Overlap) << zx::describe(*found);
  EXPECT_EQ(found->tile, 10);
  EXPECT_EQ(found->word, nth(broken.words(10), zx::is_send, 1));
  EXPECT_NE(found->expected.find("transfer 1 starting at or after cycle"), std::string::npos);
}

TEST(PhaseCheck, FramingAndWordsOutsideTheReading) {
  using Words = std::vector<std::uint32_t>;
  struct Case {
    const char* what;
    void (*breaks)(Words&);
    Kind kind;
    std::size_t (*word)(const Words&);  // where the mismatch is reported
  };
  const Case cases[] = {
      {"no sync word first", [](Words& w) { w[0] = 0; }, Kind::Framing,
       [](const Words&) -> std::size_t { return 0; }},
      {"no return word", [](Words& w) { w.pop_back(); }, Kind::Framing,
       [](const Words& w) { return w.size(); }},
      {"a word after the return word", [](Words& w) { w.push_back(zx::delay(0)); }, Kind::Framing,
       [](const Words& w) { return w.size() - 1; }},
      {"a send-control word", [](Words& w) { w.insert(w.begin() + 1, 0x70100000u); }, Kind::Word,
       [](const Words&) -> std::size_t { return 1; }},
      {"a second sync word", [](Words& w) { w.insert(w.begin() + 1, zx::sync_word); },
       Kind::Framing, [](const Words&) -> std::size_t { return 1; }},
      {"the closing wait a cycle short", [](Words& w) { w[w.size() - 2] -= 1; }, Kind::Return,
       [](const Words& w) { return w.size() - 1; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Broken broken;
    c.breaks(broken.words(30));
    const auto found = broken.checked();
    ASSERT_TRUE(found);
    EXPECT_EQ(found->kind, c.kind) << zx::describe(*found);
    EXPECT_EQ(found->tile, 30);
    EXPECT_EQ(found->word, c.word(broken.words(30)));
  }
}

TEST(PhaseCheck, MissingAndExtraInstructionsAndPrograms) {
  {
    // The program of tile 30 dropped: its row has no program.
    Broken broken;
    std::erase_if(broken.programs, [](const auto& p) { return p.tile == 30; });
    const auto found = broken.checked();
    ASSERT_TRUE(found);
    EXPECT_EQ(found->kind, Kind::Program);
    EXPECT_EQ(found->tile, 30);
  }
  {
    // A program for an idle tile must be a bare sync and return.
    Broken broken;
    broken.programs.push_back({5, {zx::sync_word, zx::return_word}});
    EXPECT_FALSE(broken.checked());
    broken.programs.back().words = {zx::sync_word, zx::delay(3), zx::return_word};
    const auto found = broken.checked();
    ASSERT_TRUE(found);
    EXPECT_EQ(found->kind, Kind::Return);
    EXPECT_EQ(found->tile, 5);
    broken.programs.back().words = {zx::sync_word, 0x78000001u, zx::return_word};
    EXPECT_EQ(broken.checked()->kind, Kind::ExtraInstruction);
    broken.programs.push_back({5, {zx::sync_word, zx::return_word}});
    EXPECT_EQ(broken.checked()->kind, Kind::Program);
  }
  {
    // The first transfer's row cut off tile 20's program: the second
    // transfer's first control is expected where the return word stands.
    Broken broken;
    auto& words = broken.words(20);
    const std::size_t second = nth(words, zx::is_xpic_delay, 2);
    words.resize(second);
    words.push_back(zx::return_word);
    const auto found = broken.checked();
    ASSERT_TRUE(found);
    EXPECT_EQ(found->kind, Kind::MissingInstruction);
    EXPECT_EQ(found->word, second);
  }
  {
    // A placed row whose recorded span is not where its words put it.
    Broken broken;
    std::vector<zx::PlacedTransfer> transfers(broken.phase.transfers().begin(),
                                              broken.phase.transfers().end());
    transfers[0].rows[1].horizon += 1;
    const auto found = zx::check_phase(broken.programs, transfers);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->kind, Kind::PlacedRow);
    EXPECT_EQ(found->tile, 20);
  }
}

TEST(PhaseCheck, DescribeNamesKindTileWordAndBothSides) {
  const zx::PhaseMismatch mismatch{Kind::Instruction, 20, 4, "send at cycle 3", "send at cycle 2"};
  EXPECT_EQ(zx::describe(mismatch),
            "instruction mismatch on tile 20 at word 4: expected send at cycle 3, found send at "
            "cycle 2");
}

}  // namespace
