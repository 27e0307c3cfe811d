// examples/multicast_logging.cpp: plan a multicast with a diagnostic sink that
// logs the planner's events to standard error.
#include <cstdio>
#include <memory>
#include <zerin/exchange.hpp>

namespace zx = zerin::exchange;

// Takes debug events and anything more severe, and writes each as one line.
class StderrSink final : public zx::DiagnosticSink {
 public:
  bool enabled(zx::DiagnosticLevel level, std::string_view) const noexcept override {
    return level <= zx::DiagnosticLevel::Debug;
  }
  void deliver(const zx::DiagnosticEvent& event) override {
    std::fprintf(stderr, "log: %s\n", zx::format_diagnostic(event).c_str());
  }
};

int main() {
  zx::set_diagnostic_sink(std::make_shared<StderrSink>());
  const zx::Topology board = zx::Topology::r470();
  const std::uint16_t receivers[] = {736, 1286};
  const auto plan = board.multicast(0, receivers, 100, 0);
  zx::clear_diagnostic_sink();
  if (!plan) {
    std::fprintf(stderr, "multicast refused: %s\n", zx::to_string(plan.error()).c_str());
    return 1;
  }
  // Every row shares one clock: the sender's payload starts at the common start cycle.
  const auto timing = zx::scheduled_sender_timing(plan->sender, 0);
  std::printf("sender timing: %s\n", zx::debug_string(timing).c_str());
  for (std::size_t i = 0; i < plan->receivers.size(); ++i) {
    std::printf("receiver %u:", receivers[i]);
    for (const std::uint32_t word : plan->receivers[i]) std::printf(" %08x", word);
    std::printf("\n");
  }
}
