// How the library offers diagnostic events: one relaxed load when no sink is
// installed, the event built only when the installed sink accepts it.
#ifndef ZERIN_EXCHANGE_SRC_DIAGNOSTICS_INTERNAL_HPP
#define ZERIN_EXCHANGE_SRC_DIAGNOSTICS_INTERNAL_HPP

#include <atomic>

#include "zerin/exchange/diagnostics.hpp"

namespace zerin::exchange::detail {

extern std::atomic<bool> diagnostic_sink_present;

// Offers one event; `build_fields` (returning a contiguous range of
// DiagnosticField) runs only when a sink accepts `level`.
template <class BuildFields>
void offer_event(DiagnosticLevel level, std::string_view message, BuildFields&& build_fields) {
  if (!diagnostic_sink_present.load(std::memory_order_relaxed)) [[likely]]
    return;
  const std::shared_ptr<DiagnosticSink> sink = diagnostic_sink();
  if (!sink || !sink->enabled(level, diagnostic_target)) return;
  const auto fields = build_fields();
  sink->deliver(DiagnosticEvent{level, diagnostic_target, message, fields});
}

}  // namespace zerin::exchange::detail

#endif  // ZERIN_EXCHANGE_SRC_DIAGNOSTICS_INTERNAL_HPP
