// Membership over a receiver list without heap allocation.
#ifndef ZERIN_EXCHANGE_SRC_LISTED_TILES_HPP
#define ZERIN_EXCHANGE_SRC_LISTED_TILES_HPP

#include <bitset>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>

namespace zerin::exchange::detail {

// Short lists are scanned; long ones are marked once in a bitmap of every 16-bit
// tile number, held on the stack (the bitmap is only cleared when it is used).
class ListedTiles {
 public:
  explicit ListedTiles(std::span<const std::uint16_t> tiles) : tiles_(tiles) {
    if (tiles.size() <= scan_limit) return;
    bitmap_.emplace();
    for (const std::uint16_t tile : tiles) bitmap_->set(tile);
  }

  // The scans are plain loops: lists are mostly a pair or two, too short for an
  // unrolled search to pay for its set-up.
  bool contains(std::uint16_t tile) const noexcept {
    if (bitmap_) return bitmap_->test(tile);
    for (const std::uint16_t listed : tiles_) {
      if (listed == tile) return true;
    }
    return false;
  }

  // Whether some tile occurs twice in the list.
  bool has_duplicate() const noexcept {
    if (bitmap_) return bitmap_->count() < tiles_.size();
    for (std::size_t i = 1; i < tiles_.size(); ++i) {
      for (std::size_t j = 0; j < i; ++j) {
        if (tiles_[j] == tiles_[i]) return true;
      }
    }
    return false;
  }

 private:
  static constexpr std::size_t scan_limit = 32;
  std::span<const std::uint16_t> tiles_;
  std::optional<std::bitset<std::numeric_limits<std::uint16_t>::max() + std::size_t{1}>> bitmap_;
};

}  // namespace zerin::exchange::detail

#endif  // ZERIN_EXCHANGE_SRC_LISTED_TILES_HPP
