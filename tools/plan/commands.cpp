// The subcommands of zerin-plan: their arguments and what each runs. A new
// subcommand is one more entry in the table at the end of this file.
#include <fmt/format.h>
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <sstream>

#include "cli.hpp"
#include "explain.hpp"
#include "phase.hpp"
#include "report.hpp"
#include "zerin/exchange.hpp"

namespace zerin::plan {
namespace {

namespace zx = zerin::exchange;

constexpr std::size_t row_words = 9;

// ---------------------------------------------------------------------------
// Arguments shared by several subcommands.

// A number argument checked by parse_unsigned(); `store` takes the value.
CLI::Option* add_number(CLI::App& app, const std::string& name, unsigned bits,
                        const std::string& help, std::function<void(std::uint64_t)> store) {
  return app.add_option_function<std::string>(
      name,
      [name, bits, store = std::move(store)](const std::string& text) {
        const auto value = parse_unsigned(text, bits);
        if (!value) throw CLI::ValidationError(name, value.error());
        store(*value);
      },
      help);
}

void add_sender(CLI::App& app, Options& options) {
  add_number(app, "SENDER", 16, "logical tile that sends",
             [&options](std::uint64_t tile) { options.sender = static_cast<std::uint16_t>(tile); })
      ->type_name("TILE")
      ->required();
}

// RECEIVERS: R1,R2,... (at least one).
void add_receiver_list(CLI::App& app, Options& options) {
  app.add_option_function<std::string>(
         "RECEIVERS",
         [&options](const std::string& list) {
           options.receivers.clear();
           std::string_view rest = list;
           while (true) {
             const auto comma = rest.find(',');
             const std::string_view entry = rest.substr(0, comma);
             if (entry.empty()) {
               throw CLI::ValidationError("RECEIVERS", "empty entry in " + plan::quoted(list));
             }
             const auto tile = parse_unsigned(entry, 16);
             if (!tile) throw CLI::ValidationError("RECEIVERS", tile.error());
             options.receivers.push_back(static_cast<std::uint16_t>(*tile));
             if (comma == std::string_view::npos) break;
             rest.remove_prefix(comma + 1);
           }
         },
         "receiving logical tiles, comma-separated")
      ->type_name("R1,R2,...")
      ->required();
}

void add_count(CLI::App& app, Options& options) {
  add_number(app, "--count", 32, "number of words sent (1..4148)",
             [&options](std::uint64_t count) { options.count = static_cast<std::uint32_t>(count); })
      ->type_name("N")
      ->required();
}

void add_offset(CLI::App& app, Options& options, const std::string& help) {
  add_number(app, "--offset", 32, help, [&options](std::uint64_t offset) {
    options.offset = static_cast<std::uint32_t>(offset);
  })->type_name("K");
}

void add_words(CLI::App& app, Options& options, std::size_t max_words) {
  app.add_option_function<std::vector<std::string>>(
         "WORD",
         [&options, max_words](const std::vector<std::string>& texts) {
           if (texts.size() > max_words) {
             throw CLI::ValidationError("WORD", fmt::format("a row holds at most {} words, got {}",
                                                            max_words, texts.size()));
           }
           options.words.clear();
           for (const std::string& text : texts) {
             const auto word = parse_word(text);
             if (!word) throw CLI::ValidationError("WORD", word.error());
             options.words.push_back(*word);
           }
         },
         "instruction words, hexadecimal")
      ->type_name("HEX")
      ->required()
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
}

void add_json(CLI::App& app, Options& options) {
  app.add_flag("--json", options.json, "print one JSON document instead of the tables");
}

void add_svg(CLI::App& app, Options& options) {
  app.add_option_function<std::string>(
         "--svg",
         [&options](const std::string& path) {
           // "--svg --json" must not write a file named --json.
           if (path.empty() || path.starts_with("-")) {
             throw CLI::ValidationError("--svg", "needs a file name, got " + plan::quoted(path));
           }
           options.svg_path = path;
         },
         "also write a timing diagram (one lane per row) to FILE")
      ->type_name("FILE");
}

void add_verbose(CLI::App& app, Options& options) {
  app.add_flag("--verbose", options.verbose,
               "show the planner's diagnostic events on standard error");
}

// ---------------------------------------------------------------------------
// Running.

void planning_error(Output& output, const zx::ExchangeError& error) {
  output.err += fmt::format("zerin-plan: {}\n", zx::to_string(error));
  output.status = 1;
}

// Prints the report the way the options ask; writes the SVG file when asked.
void emit(const Options& options, const Report& report, Output& output) {
  if (options.svg_path) {
    std::ofstream file(*options.svg_path, std::ios::binary | std::ios::trunc);
    if (file) file << render_svg(report);
    if (!file || !file.flush()) {
      const int saved = errno;
      output.err += fmt::format("zerin-plan: cannot write {}: {}\n",
                                plan::quoted(*options.svg_path), std::strerror(saved));
      output.status = 1;
      return;
    }
  }
  output.out += options.json ? render_json(report) : render_text(report);
}

// Installs the standard-error sink for --verbose.
void install_verbose_sink(const Options& options) {
  if (options.verbose) {
    zx::set_diagnostic_sink(std::make_shared<zx::OstreamDiagnosticSink>(std::cerr));
  }
}

Report plan_report(const zx::Topology& topology, const Options& options, std::string command,
                   const zx::ExchangeRow& sender, std::span<const zx::ExchangeRow> receivers) {
  Report report;
  report.command = std::move(command);
  report.sender_logical = options.sender;
  report.receivers_logical = options.receivers;
  report.count = options.count;
  if (report.command == "multicast") report.offset = options.offset.value_or(0);
  report.rows.push_back(make_row(topology, RowRole::Sender, options.sender, sender, 0));
  for (std::size_t i = 0; i < receivers.size(); ++i) {
    report.rows.push_back(
        make_row(topology, RowRole::Receiver, options.receivers[i], receivers[i], 0));
  }
  // The planner bakes the start cycle into the rows: every row's clock starts at 0.
  report.sender_timing = zx::scheduled_sender_timing(sender, 0);
  return report;
}

// A refused receiver list: the library's text, then which receiver fails which check.
void receiver_set_error(Output& output, const zx::ExchangeError& error,
                        std::vector<std::string> reasons) {
  planning_error(output, error);
  if (!error.is<zx::ExchangeError::ReceiverSet>()) return;
  for (const std::string& reason : reasons) output.err += fmt::format("zerin-plan: {}\n", reason);
}

void run_p2p(const Options& options, Output& output) {
  install_verbose_sink(options);
  const zx::Topology topology = zx::Topology::r470();
  const auto plan = topology.point_to_point(options.sender, options.receivers[0], options.count);
  if (!plan) return planning_error(output, plan.error());
  Report report = plan_report(topology, options, "p2p", plan->sender, {&plan->receiver, 1});
  mark_p2p_receiver_lead(report.rows[1]);
  emit(options, report, output);
}

void run_multicast(const Options& options, Output& output) {
  install_verbose_sink(options);
  const zx::Topology topology = zx::Topology::r470();
  const auto plan = topology.multicast(options.sender, options.receivers, options.count,
                                       options.offset.value_or(0));
  if (!plan) {
    return receiver_set_error(
        output, plan.error(),
        explain_multicast_receivers(topology, options.sender, options.receivers));
  }
  emit(options, plan_report(topology, options, "multicast", plan->sender, plan->receivers), output);
}

void run_paired(const Options& options, Output& output) {
  install_verbose_sink(options);
  const zx::Topology topology = zx::Topology::r470();
  const auto plan = topology.paired_multicast(options.sender, options.receivers, options.count);
  if (!plan) {
    return receiver_set_error(output, plan.error(),
                              explain_paired_receivers(topology, options.receivers));
  }
  emit(options, plan_report(topology, options, "paired", plan->sender, plan->receivers), output);
}

void run_timing(const Options& options, Output& output) {
  const zx::Topology topology = zx::Topology::r470();
  zx::ExchangeRow row{};
  std::ranges::copy(options.words, row.begin());
  const std::uint32_t offset = options.offset.value_or(0);
  Report report;
  report.command = "timing";
  report.offset = offset;
  report.rows.push_back(make_row(topology, RowRole::Sender, std::nullopt, row, offset));
  report.sender_timing = zx::scheduled_sender_timing(row, offset);
  emit(options, report, output);
  // The rows are shown either way; a row that cannot be timed is still an error.
  if (output.status == 0 && !report.sender_timing)
    planning_error(output, report.sender_timing.error());
}

void run_decode(const Options& options, Output& output) {
  output.out +=
      options.json ? render_decode_json(options.words) : render_decode_text(options.words);
}

void run_tile(const Options& options, Output& output) {
  const zx::Topology topology = zx::Topology::r470();
  const auto physical = topology.physical(options.tile);
  if (!physical) return planning_error(output, physical.error());
  const auto partner = topology.paired_logical(options.tile);
  if (!partner) return planning_error(output, partner.error());
  output.out += options.json ? render_tile_json(topology, options.tile, *physical, *partner)
                             : render_tile_text(topology, options.tile, *physical, *partner);
}

void add_file(CLI::App& app, Options& options, const std::string& help) {
  app.add_option("FILE", options.file, help)->type_name("FILE.json")->required();
}

// The phase subcommands write to streams; the program prints an Output.
void run_file_command(int (*command)(const PhaseCommandOptions&, std::ostream&, std::ostream&),
                      const Options& options, Output& output) {
  std::ostringstream out;
  std::ostringstream err;
  output.status =
      command(PhaseCommandOptions{options.file, options.json, options.svg_path}, out, err);
  output.out += out.str();
  output.err += err.str();
}

void run_phase(const Options& options, Output& output) {
  run_file_command(run_phase_command, options, output);
}

void run_check(const Options& options, Output& output) {
  run_file_command(run_check_command, options, output);
}

// ---------------------------------------------------------------------------
// The table.

constexpr Subcommand table[] = {
    {"p2p", "point-to-point transfer of N words from SENDER to RECEIVER",
     "SENDER RECEIVER --count N [--json] [--svg FILE] [--verbose]",
     [](CLI::App& app, Options& options) {
       add_sender(app, options);
       add_number(app, "RECEIVER", 16, "logical tile that receives",
                  [&options](std::uint64_t tile) {
                    options.receivers = {static_cast<std::uint16_t>(tile)};
                  })
           ->type_name("TILE")
           ->required();
       add_count(app, options);
       add_json(app, options);
       add_svg(app, options);
       add_verbose(app, options);
     },
     run_p2p},
    {"multicast", "one send of N words taken off by every receiver, start pushed by K cycles",
     "SENDER RECEIVERS --count N [--offset K] [--json] [--svg FILE] [--verbose]",
     [](CLI::App& app, Options& options) {
       add_sender(app, options);
       add_receiver_list(app, options);
       add_count(app, options);
       add_offset(app, options, "push the start cycle K cycles later (default 0)");
       add_json(app, options);
       add_svg(app, options);
       add_verbose(app, options);
     },
     run_multicast},
    {"paired", "64-bit paired transfer to receivers that come in partner pairs",
     "SENDER RECEIVERS --count N [--json] [--svg FILE] [--verbose]",
     [](CLI::App& app, Options& options) {
       add_sender(app, options);
       add_receiver_list(app, options);
       add_count(app, options);
       add_json(app, options);
       add_svg(app, options);
       add_verbose(app, options);
     },
     run_paired},
    {"timing", "time a sender row given as up to 9 words, starting at cycle K",
     "WORD... [--offset K] [--json] [--svg FILE]",
     [](CLI::App& app, Options& options) {
       add_words(app, options, row_words);
       add_offset(app, options, "the row's schedule offset: its clock starts at K (default 0)");
       add_json(app, options);
       add_svg(app, options);
     },
     run_timing},
    {"decode", "decode instruction words", "WORD... [--json]",
     [](CLI::App& app, Options& options) {
       add_words(app, options, SIZE_MAX);
       add_json(app, options);
     },
     run_decode},
    {"tile", "physical number, its fields and the pair partner of a logical tile",
     "LOGICAL [--json]",
     [](CLI::App& app, Options& options) {
       add_number(
           app, "LOGICAL", 16, "logical tile",
           [&options](std::uint64_t tile) { options.tile = static_cast<std::uint16_t>(tile); })
           ->type_name("TILE")
           ->required();
       add_json(app, options);
     },
     run_tile},
    {"phase", "lay a phase file's transfers as one program per tile",
     "FILE.json [--json] [--svg FILE]",
     [](CLI::App& app, Options& options) {
       add_file(app, options, "the transfers of the phase (JSON)");
       add_json(app, options);
       add_svg(app, options);
     },
     run_phase},
    {"check", "check per-tile programs against the transfers they should carry out",
     "FILE.json [--json]",
     [](CLI::App& app, Options& options) {
       add_file(app, options, "the placed transfers and the programs (JSON)");
       add_json(app, options);
     },
     run_check},
};

}  // namespace

std::span<const Subcommand> commands() {
  return table;
}

}  // namespace zerin::plan
