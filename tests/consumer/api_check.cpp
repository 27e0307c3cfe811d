// Uses the parts of the API that cross the library boundary in ways a shared
// build with hidden symbols could break: an exception thrown inside the library
// and caught here by its type, a sink class defined here and called from there,
// a library class identified by dynamic_cast on both sides, and the version
// the headers announce. Prints nothing and exits 0 when everything holds.
#include <cstdint>
#include <cstdio>
#include <limits>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <zerin/exchange.hpp>

namespace zx = zerin::exchange;

namespace {

int failures = 0;

void check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "api_check: FAILED: %s\n", what);
  ++failures;
}

class RecordingSink final : public zx::DiagnosticSink {
 public:
  bool enabled(zx::DiagnosticLevel level, std::string_view) const noexcept override {
    return level <= zx::DiagnosticLevel::Debug;
  }
  void deliver(const zx::DiagnosticEvent& event) override {
    ++events;
    last = zx::format_diagnostic(event);
  }
  int events = 0;
  std::string last;
};

constexpr std::string_view point_to_point_event =
    "DEBUG zerin_exchange: assembled point-to-point exchange sender_logical=0 "
    "receiver_logical=2 count=100";

}  // namespace

int main(int argc, char** argv) {
  const zx::Topology topology = zx::Topology::r470();

  // A mux time no real transfer has makes the paired planner's epoch shift
  // overflow, which the library reports by throwing.
  bool caught = false;
  try {
    (void)topology.paired_receiver_row(0, 1, 1, std::numeric_limits<std::int32_t>::min());
  } catch (const zx::InternalFault& fault) {
    caught = std::string_view(fault.what()) == "paired receive epoch shift overflows";
  } catch (...) {
  }
  check(caught, "InternalFault thrown by the library is caught by its type");

  const auto recording = std::make_shared<RecordingSink>();
  zx::set_diagnostic_sink(recording);
  check(topology.point_to_point(0, 2, 100).has_value(), "point_to_point(0, 2, 100) succeeds");
  check(recording->events == 1 && recording->last == point_to_point_event,
        "the library delivers one event to a sink defined by the program");

  std::ostringstream lines;
  zx::set_diagnostic_sink(std::make_shared<zx::OstreamDiagnosticSink>(lines));
  check(std::dynamic_pointer_cast<zx::OstreamDiagnosticSink>(zx::diagnostic_sink()) != nullptr,
        "the installed sink is an OstreamDiagnosticSink on this side too");
  check(topology.point_to_point(0, 2, 100).has_value(), "point_to_point(0, 2, 100) succeeds");
  check(lines.str().find(point_to_point_event) != std::string::npos,
        "OstreamDiagnosticSink writes the event");
  zx::clear_diagnostic_sink();
  check(zx::diagnostic_sink() == nullptr, "clear_diagnostic_sink removes the sink");

  if (argc > 1) {
    check(std::string_view(zx::version_string) == argv[1], "version_string is the project version");
    check(std::string_view(ZERIN_EXCHANGE_VERSION_STRING) == argv[1],
          "ZERIN_EXCHANGE_VERSION_STRING is the project version");
  }
  return failures == 0 ? 0 : 1;
}
