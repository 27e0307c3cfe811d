// Diagnostic events of the planners, and the sink plumbing.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "zerin/exchange.hpp"

namespace zx = zerin::exchange;
using Tiles = std::vector<std::uint16_t>;

namespace {

const zx::Topology& board() {
  static const zx::Topology topology = zx::Topology::r470();
  return topology;
}

using FieldValue = std::variant<std::uint64_t, std::string>;

struct Captured {
  zx::DiagnosticLevel level;
  std::string target;
  std::string message;
  std::vector<std::pair<std::string, FieldValue>> fields;
};

// Keeps a copy of every event it takes; accepts levels up to `max_level`.
class CapturingSink : public zx::DiagnosticSink {
 public:
  explicit CapturingSink(zx::DiagnosticLevel max_level = zx::DiagnosticLevel::Trace)
      : max_level_(max_level) {}
  bool enabled(zx::DiagnosticLevel level, std::string_view) const noexcept override {
    ++asked;
    return level <= max_level_;
  }
  void deliver(const zx::DiagnosticEvent& event) override {
    Captured copy{event.level, std::string(event.target), std::string(event.message), {}};
    for (const zx::DiagnosticField& field : event.fields) {
      copy.fields.emplace_back(std::string(field.name), field.value);
    }
    events.push_back(std::move(copy));
  }

  mutable int asked = 0;
  std::vector<Captured> events;

 private:
  zx::DiagnosticLevel max_level_;
};

// The sink is process-wide: every test that installs one removes it again.
class SinkScope {
 public:
  explicit SinkScope(std::shared_ptr<zx::DiagnosticSink> sink) {
    zx::set_diagnostic_sink(std::move(sink));
  }
  ~SinkScope() { zx::clear_diagnostic_sink(); }
  SinkScope(const SinkScope&) = delete;
  SinkScope& operator=(const SinkScope&) = delete;
};

using Fields = std::vector<std::pair<std::string, FieldValue>>;

void expect_event(const Captured& event, std::string_view message, const Fields& fields) {
  EXPECT_EQ(event.level, zx::DiagnosticLevel::Debug);
  EXPECT_EQ(event.target, "zerin_exchange");
  EXPECT_EQ(event.message, message);
  EXPECT_EQ(event.fields, fields);
}

TEST(PlanEvents, PointToPointReportsItsArguments) {
  const auto sink = std::make_shared<CapturingSink>();
  const SinkScope scope(sink);
  ASSERT_TRUE(board().point_to_point(780, 0, 4148));
  ASSERT_EQ(sink->events.size(), 1u);
  expect_event(sink->events[0], "assembled point-to-point exchange",
               {{"sender_logical", std::uint64_t{780}},
                {"receiver_logical", std::uint64_t{0}},
                {"count", std::uint64_t{4148}}});
  ASSERT_TRUE(board().point_to_point(0, 1, 1));
  ASSERT_TRUE(board().point_to_point(1, 0, 1));
  EXPECT_EQ(sink->events.size(), 3u);
}

TEST(PlanEvents, MulticastReportsItsArguments) {
  const auto sink = std::make_shared<CapturingSink>();
  const SinkScope scope(sink);
  ASSERT_TRUE(board().multicast(0, Tiles{736, 1286}, 100, 0));
  ASSERT_TRUE(board().multicast(0, Tiles{2}, 1, 7));
  ASSERT_EQ(sink->events.size(), 2u);
  expect_event(sink->events[0], "assembled multicast exchange",
               {{"sender_logical", std::uint64_t{0}},
                {"receiver_logical", std::string("[736, 1286]")},
                {"count", std::uint64_t{100}},
                {"schedule_offset", std::uint64_t{0}}});
  expect_event(sink->events[1], "assembled multicast exchange",
               {{"sender_logical", std::uint64_t{0}},
                {"receiver_logical", std::string("[2]")},
                {"count", std::uint64_t{1}},
                {"schedule_offset", std::uint64_t{7}}});

  zx::MulticastPlan plan;
  ASSERT_TRUE(board().multicast_into(plan, 736, Tiles{1471, 0, 5}, 3, 4000));
  ASSERT_EQ(sink->events.size(), 3u);
  expect_event(sink->events[2], "assembled multicast exchange",
               {{"sender_logical", std::uint64_t{736}},
                {"receiver_logical", std::string("[1471, 0, 5]")},
                {"count", std::uint64_t{3}},
                {"schedule_offset", std::uint64_t{4000}}});
}

TEST(PlanEvents, FailedPlansReportNothing) {
  const auto sink = std::make_shared<CapturingSink>();
  const SinkScope scope(sink);
  EXPECT_FALSE(board().point_to_point(0, 1, 0));
  EXPECT_FALSE(board().point_to_point(3, 3, 1));
  EXPECT_FALSE(board().point_to_point(1472, 0, 1));
  EXPECT_FALSE(board().point_to_point(0, 1472, 1));
  EXPECT_FALSE(zx::Topology({2016, 0}).point_to_point(0, 1, 1));
  EXPECT_FALSE(board().multicast(0, Tiles{736}, 4149, 0));
  EXPECT_FALSE(board().multicast(1472, Tiles{736}, 1, 0));
  EXPECT_FALSE(board().multicast(0, Tiles{}, 1, 0));
  EXPECT_FALSE(board().multicast(0, Tiles{0}, 1, 0));
  EXPECT_FALSE(board().multicast(0, Tiles{736, 736}, 1, 0));
  EXPECT_FALSE(board().multicast(0, Tiles{736, 1286}, 1, 4095));
  // Fails on the last receiver, after the other rows were built.
  EXPECT_FALSE(board().multicast(736, Tiles{1471, 0}, 1, 4028));
  zx::MulticastPlan plan;
  EXPECT_FALSE(board().multicast_into(plan, 736, Tiles{0, 1471}, 1, 4095));
  EXPECT_TRUE(sink->events.empty());
}

TEST(PlanEvents, RefusedLevelIsNeitherBuiltNorDelivered) {
  const auto sink = std::make_shared<CapturingSink>(zx::DiagnosticLevel::Info);
  const SinkScope scope(sink);
  ASSERT_TRUE(board().point_to_point(0, 1, 1));
  ASSERT_TRUE(board().multicast(0, Tiles{736, 1286}, 1, 0));
  EXPECT_GE(sink->asked, 2);
  EXPECT_TRUE(sink->events.empty());
}

TEST(PlanEvents, NothingIsDeliveredOnceTheSinkIsRemoved) {
  const auto sink = std::make_shared<CapturingSink>();
  zx::set_diagnostic_sink(sink);
  EXPECT_EQ(zx::diagnostic_sink(), sink);
  zx::clear_diagnostic_sink();
  EXPECT_EQ(zx::diagnostic_sink(), nullptr);
  const auto plan = board().point_to_point(0, 1, 1);
  const auto multicast = board().multicast(0, Tiles{736, 1286}, 1, 0);
  EXPECT_TRUE(sink->events.empty());
  EXPECT_EQ(sink->asked, 0);

  // Results do not depend on whether anyone listens.
  const auto listening = std::make_shared<CapturingSink>();
  const SinkScope scope(listening);
  EXPECT_EQ(board().point_to_point(0, 1, 1), plan);
  EXPECT_EQ(board().multicast(0, Tiles{736, 1286}, 1, 0), multicast);
  EXPECT_EQ(listening->events.size(), 2u);
}

TEST(PlanEvents, InstallingASinkReplacesThePreviousOne) {
  const auto first = std::make_shared<CapturingSink>();
  const auto second = std::make_shared<CapturingSink>();
  const SinkScope scope(first);
  zx::set_diagnostic_sink(second);
  ASSERT_TRUE(board().point_to_point(0, 1, 1));
  EXPECT_TRUE(first->events.empty());
  EXPECT_EQ(second->events.size(), 1u);
}

TEST(DiagnosticText, OneLinePerEvent) {
  std::ostringstream out;
  const SinkScope scope(std::make_shared<zx::OstreamDiagnosticSink>(out));
  ASSERT_TRUE(board().multicast(0, Tiles{736, 1286}, 100, 0));
  ASSERT_TRUE(board().point_to_point(0, 2, 100));
  EXPECT_EQ(out.str(),
            "DEBUG zerin_exchange: assembled multicast exchange sender_logical=0 "
            "receiver_logical=[736, 1286] count=100 schedule_offset=0\n"
            "DEBUG zerin_exchange: assembled point-to-point exchange sender_logical=0 "
            "receiver_logical=2 count=100\n");
}

TEST(DiagnosticText, OstreamSinkFiltersByLevel) {
  std::ostringstream out;
  const SinkScope scope(
      std::make_shared<zx::OstreamDiagnosticSink>(out, zx::DiagnosticLevel::Info));
  ASSERT_TRUE(board().point_to_point(0, 2, 100));
  EXPECT_EQ(out.str(), "");
}

}  // namespace
