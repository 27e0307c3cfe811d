// zerin-plan: plans a transfer on the r470 board and shows every row, decoded and
// timed, as tables, JSON or an SVG timing diagram.
//
// Exit status: 0 success; 1 planning error (its display text on standard error)
// or an SVG file that cannot be written; 2 usage error.
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "cli.hpp"
#include "phase.hpp"
#include "report.hpp"
#include "zerin/exchange.hpp"

namespace {

namespace zx = zerin::exchange;
namespace zp = zerin::plan;

constexpr int exit_planning = 1;
constexpr int exit_usage = 2;

int planning_error(const zx::ExchangeError& error) {
  std::cerr << "zerin-plan: " << zx::to_string(error) << '\n';
  return exit_planning;
}

// Prints the report the way the options ask; writes the SVG file when asked.
int emit(const zp::Options& options, const zp::Report& report) {
  if (options.svg_path) {
    std::ofstream file(*options.svg_path, std::ios::binary | std::ios::trunc);
    if (file) file << zp::render_svg(report);
    if (!file || !file.flush()) {
      const int saved = errno;
      std::cerr << "zerin-plan: cannot write " << zp::quoted(*options.svg_path) << ": "
                << std::strerror(saved) << '\n';
      return exit_planning;
    }
  }
  std::cout << (options.json ? zp::render_json(report) : zp::render_text(report));
  return 0;
}

zp::Report plan_report(const zx::Topology& topology, const zp::Options& options,
                       std::string command, const zx::ExchangeRow& sender,
                       const std::vector<zx::ExchangeRow>& receivers) {
  zp::Report report;
  report.command = std::move(command);
  report.sender_logical = options.sender;
  report.receivers_logical = options.receivers;
  report.count = options.count;
  if (options.command == zp::Command::Multicast) report.offset = options.offset.value_or(0);
  report.rows.push_back(zp::make_row(topology, zp::RowRole::Sender, options.sender, sender, 0));
  for (std::size_t i = 0; i < receivers.size(); ++i) {
    report.rows.push_back(
        zp::make_row(topology, zp::RowRole::Receiver, options.receivers[i], receivers[i], 0));
  }
  // The planner bakes the start cycle into the rows: every row's clock starts at 0.
  report.sender_timing = zx::scheduled_sender_timing(sender, 0);
  return report;
}

int run(const zp::Options& options) {
  if (options.verbose) {
    zx::set_diagnostic_sink(std::make_shared<zx::OstreamDiagnosticSink>(std::cerr));
  }
  const zx::Topology topology = zx::Topology::r470();
  switch (options.command) {
    case zp::Command::Help:
      std::cout << zp::help_text();
      return 0;
    case zp::Command::PointToPoint: {
      const auto plan =
          topology.point_to_point(options.sender, options.receivers[0], *options.count);
      if (!plan) return planning_error(plan.error());
      return emit(options, plan_report(topology, options, "p2p", plan->sender, {plan->receiver}));
    }
    case zp::Command::Multicast: {
      const auto plan = topology.multicast(options.sender, options.receivers, *options.count,
                                           options.offset.value_or(0));
      if (!plan) return planning_error(plan.error());
      return emit(options,
                  plan_report(topology, options, "multicast", plan->sender, plan->receivers));
    }
    case zp::Command::Paired: {
      const auto plan =
          topology.paired_multicast(options.sender, options.receivers, *options.count);
      if (!plan) return planning_error(plan.error());
      return emit(options, plan_report(topology, options, "paired", plan->sender, plan->receivers));
    }
    case zp::Command::Timing: {
      zx::ExchangeRow row{};
      std::copy(options.words.begin(), options.words.end(), row.begin());
      const std::uint32_t offset = options.offset.value_or(0);
      zp::Report report;
      report.command = "timing";
      report.offset = offset;
      report.rows.push_back(zp::make_row(topology, zp::RowRole::Sender, std::nullopt, row, offset));
      report.sender_timing = zx::scheduled_sender_timing(row, offset);
      const int status = emit(options, report);
      if (status != 0) return status;
      // The rows are shown either way; a row that cannot be timed is still an error.
      if (!report.sender_timing) return planning_error(report.sender_timing.error());
      return 0;
    }
    case zp::Command::Decode:
      std::cout << (options.json ? zp::render_decode_json(options.words)
                                 : zp::render_decode_text(options.words));
      return 0;
    case zp::Command::Tile: {
      const auto physical = topology.physical(options.tile);
      if (!physical) return planning_error(physical.error());
      const auto partner = topology.paired_logical(options.tile);
      if (!partner) return planning_error(partner.error());
      std::cout << (options.json
                        ? zp::render_tile_json(topology, options.tile, *physical, *partner)
                        : zp::render_tile_text(topology, options.tile, *physical, *partner));
      return 0;
    }
  }
  return 0;
}

// Parses the arguments and runs the subcommand; the exit status.
int dispatch(std::span<const std::string_view> args) {
  // The phase subcommands take a file and parse their own few options.
  if (!args.empty() && (args[0] == "phase" || args[0] == "check")) {
    return args[0] == "phase" ? zp::phase_main(args.subspan(1), std::cout, std::cerr)
                              : zp::check_main(args.subspan(1), std::cout, std::cerr);
  }
  const auto options = zp::parse_command_line(args);
  if (!options) {
    std::cerr << "zerin-plan: " << options.error().message << '\n'
              << "usage: " << options.error().usage << '\n';
    return exit_usage;
  }
  return run(*options);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string_view> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  try {
    const int status = dispatch(args);
    std::cout.flush();
    if (!std::cout) {
      std::cerr << "zerin-plan: cannot write standard output\n";
      return exit_planning;
    }
    return status;
  } catch (const zx::InternalFault& fault) {
    std::cerr << "zerin-plan: internal fault: " << fault.what() << '\n';
    return 101;
  }
}
