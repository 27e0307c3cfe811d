#include "zerin/exchange/receive_events.hpp"

namespace zerin::exchange {

std::expected<void, ExchangeError> validate_receive_events(
    std::span<const ReceiveEvent> events) noexcept {
  std::size_t cursor = 0;
  while (cursor < events.size()) {
    const std::size_t size = receive_event_group_size(events, cursor);
    if (size > 2 ||
        (size == 2 && !receive_events_can_share_instruction(events[cursor], events[cursor + 1]))) {
      return std::unexpected(
          ExchangeError::schedule(ScheduleReason::IncompatibleSimultaneousReceiveControls));
    }
    cursor += size;
  }
  return {};
}

}  // namespace zerin::exchange
