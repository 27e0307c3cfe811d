#include "explain.hpp"

#include <fmt/format.h>
#include <algorithm>

namespace zerin::plan {
namespace {

namespace zx = zerin::exchange;

// Whether entry `i` is the first listing of its tile.
bool first_listing(std::span<const std::uint16_t> receivers, std::size_t i) {
  return std::ranges::find(receivers, receivers[i]) ==
         receivers.begin() + static_cast<std::ptrdiff_t>(i);
}

// "receiver 5 is listed 2 times", once per repeated tile, in list order.
void repeats(std::span<const std::uint16_t> receivers, std::vector<std::string>& out) {
  for (std::size_t i = 0; i < receivers.size(); ++i) {
    if (!first_listing(receivers, i)) continue;
    const auto times = std::ranges::count(receivers, receivers[i]);
    if (times > 1)
      out.push_back(fmt::format("receiver {} is listed {} times", receivers[i], times));
  }
}

bool listed(std::span<const std::uint16_t> receivers, std::uint16_t tile) {
  return std::ranges::find(receivers, tile) != receivers.end();
}

}  // namespace

std::vector<std::string> explain_multicast_receivers(const zx::Topology& topology,
                                                     std::uint16_t sender,
                                                     std::span<const std::uint16_t> receivers) {
  std::vector<std::string> out;
  if (receivers.empty()) return {"the receiver list is empty"};
  if (receivers.size() == 1 && receivers[0] == sender) {
    return {fmt::format("the only receiver is the sender {} itself", sender)};
  }
  repeats(receivers, out);
  for (const std::uint16_t tile : receivers) {
    if (tile >= topology.size()) {
      out.push_back(fmt::format("receiver {} is not a tile of the board (logical tiles 0..{})",
                                tile, topology.size() - 1));
    }
  }
  return out;
}

std::vector<std::string> explain_paired_receivers(const zx::Topology& topology,
                                                  std::span<const std::uint16_t> receivers) {
  std::vector<std::string> out;
  if (receivers.empty()) return {"the receiver list is empty"};
  if (receivers.size() % 2 != 0) {
    out.push_back(fmt::format(
        "{} receiver{}: paired receivers come in partner pairs, so their number must be even",
        receivers.size(), receivers.size() == 1 ? "" : "s"));
  }
  repeats(receivers, out);
  for (std::size_t i = 0; i < receivers.size(); ++i) {
    if (!first_listing(receivers, i)) continue;  // a repeat, named above
    const std::uint16_t tile = receivers[i];
    const auto partner = topology.paired_logical(tile);
    if (!partner) {
      out.push_back(
          fmt::format("receiver {}: it has no partner ({})", tile, zx::to_string(partner.error())));
    } else if (!listed(receivers, *partner)) {
      out.push_back(fmt::format("receiver {}: its partner {} is not in the list", tile, *partner));
    }
  }
  return out;
}

}  // namespace zerin::plan
