// Membership over a receiver list without heap allocation.
#ifndef ZERIN_EXCHANGE_SRC_LISTED_TILES_HPP
#define ZERIN_EXCHANGE_SRC_LISTED_TILES_HPP

#include <algorithm>
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

  bool contains(std::uint16_t tile) const noexcept {
    if (bitmap_) return bitmap_->test(tile);
    return std::find(tiles_.begin(), tiles_.end(), tile) != tiles_.end();
  }

  // Whether some tile occurs twice in the list.
  bool has_duplicate() const noexcept {
    if (bitmap_) return bitmap_->count() < tiles_.size();
    for (std::size_t i = 1; i < tiles_.size(); ++i) {
      if (std::find(tiles_.begin(), tiles_.begin() + static_cast<std::ptrdiff_t>(i), tiles_[i]) !=
          tiles_.begin() + static_cast<std::ptrdiff_t>(i)) {
        return true;
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
