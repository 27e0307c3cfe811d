// The timing diagram of a plan: one lane per row, each word a box from the cycle
// it issues to the cycle the next word issues. Payload sends are drawn solid, and
// every receive control (PIC or XPIC word) gets a mark at the cycle it takes
// effect, which is the end of its box. Dashed lines carry the sender's payload
// interval across all lanes.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "report.hpp"

namespace zerin::plan {
namespace {

namespace zx = zerin::exchange;

constexpr double width = 1100;
constexpr double plot_left = 190;
constexpr double plot_right = width - 30;
constexpr double lanes_top = 64;
constexpr double lane_height = 56;
constexpr double box_top = 18;  // within a lane
constexpr double box_height = 26;

std::string number(double value) {
  char buffer[32];
  const int n = std::snprintf(buffer, sizeof buffer, "%.1f", value);
  std::string out(buffer, static_cast<std::size_t>(std::max(n, 0)));
  if (out.ends_with(".0")) out.resize(out.size() - 2);
  return out;
}

std::string decimal(std::uint64_t value) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

// Text content and attribute values: the five XML specials escaped.
std::string xml(std::string_view text) {
  std::string out;
  for (const char ch : text) {
    switch (ch) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      default:
        out += ch;
    }
  }
  return out;
}

// The class of a word's box, which the style sheet colours.
std::string_view box_class(zx::WordKind kind) {
  switch (kind) {
    case zx::WordKind::Send:
    case zx::WordKind::SendOff:
      return "payload";
    case zx::WordKind::PicDelay:
    case zx::WordKind::XpicDelay:
      return "control";
    case zx::WordKind::ExchangeDelay:
      return "delay";
    default:
      return "other";
  }
}

bool is_receive_control(zx::WordKind kind) {
  return kind == zx::WordKind::PicDelay || kind == zx::WordKind::XpicDelay ||
         kind == zx::WordKind::SendPicp;
}

// A round step for about `ticks` axis labels over `span` cycles: 1, 2 or 5 times a power of ten.
std::uint64_t tick_step(std::uint64_t span, std::uint64_t ticks) {
  const std::uint64_t raw = std::max<std::uint64_t>(1, (span + ticks - 1) / ticks);
  std::uint64_t power = 1;
  while (power * 10 <= raw) power *= 10;
  for (const std::uint64_t m : {1u, 2u, 5u, 10u}) {
    if (power * m >= raw) return power * m;
  }
  return power * 10;
}

}  // namespace

std::string render_svg(const Report& report) {
  // The cycle range every lane shares.
  std::uint64_t first = UINT64_MAX, last = 0;
  for (const RowReport& row : report.rows) {
    for (const TimedWord& word : row.words) {
      if (!word.issue) continue;
      first = std::min(first, *word.issue);
      last = std::max(last, *word.issue + word.decoded.advance);
    }
  }
  if (first == UINT64_MAX) first = last = 0;
  if (last <= first) last = first + 1;
  const double scale = (plot_right - plot_left) / static_cast<double>(last - first);
  auto x = [&](std::uint64_t cycle) {
    return plot_left + static_cast<double>(cycle - first) * scale;
  };

  const double lanes_bottom = lanes_top + lane_height * static_cast<double>(report.rows.size());
  const double axis_y = lanes_bottom + 8;
  const double legend_y = axis_y + 48;
  const double height = legend_y + 30;

  std::string out;
  out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  out += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + number(width) + "\" height=\"" +
         number(height) + "\" viewBox=\"0 0 " + number(width) + " " + number(height) +
         "\" font-family=\"sans-serif\" font-size=\"12\">\n";
  out +=
      "<style>\n"
      "  .lane-bg { fill: #f7f7f7; stroke: #e0e0e0; }\n"
      "  .delay { fill: #dddddd; stroke: #999999; }\n"
      "  .control { fill: #cfe3ff; stroke: #4a7fc1; }\n"
      "  .payload { fill: #3a9d4a; stroke: #1f6b2c; }\n"
      "  .other { fill: #ffe0b0; stroke: #c08030; }\n"
      "  .frame { stroke: #333333; stroke-width: 2; }\n"
      "  .mark { fill: #d62828; }\n"
      "  .payload-line { stroke: #1f6b2c; stroke-dasharray: 4 3; }\n"
      "  .axis { stroke: #333333; }\n"
      "  .label { fill: #222222; }\n"
      "  .small { fill: #555555; font-size: 10px; }\n"
      "  .in-box { fill: #222222; font-size: 10px; }\n"
      "  .in-payload { fill: #ffffff; font-size: 10px; font-weight: bold; }\n"
      "</style>\n";
  out += "<text class=\"label\" x=\"10\" y=\"22\" font-size=\"14\" font-weight=\"bold\">" +
         xml(heading(report)) + "</text>\n";

  for (std::size_t r = 0; r < report.rows.size(); ++r) {
    const RowReport& row = report.rows[r];
    const double top = lanes_top + lane_height * static_cast<double>(r);
    const std::string role = row.role == RowRole::Sender ? "sender" : "receiver";
    out += "<g class=\"lane\" data-role=\"" + role + "\"";
    if (row.logical) out += " data-logical=\"" + decimal(*row.logical) + "\"";
    out += ">\n";
    out += "  <rect class=\"lane-bg\" x=\"2\" y=\"" + number(top + 2) + "\" width=\"" +
           number(width - 4) + "\" height=\"" + number(lane_height - 4) + "\"/>\n";
    std::string title = role;
    if (row.logical) {
      title += ' ';
      title += decimal(*row.logical);
    }
    out += "  <text class=\"label\" x=\"10\" y=\"" + number(top + 26) + "\">" + xml(title) +
           "</text>\n";
    if (row.physical) {
      out += "  <text class=\"small\" x=\"10\" y=\"" + number(top + 40) + "\">physical " +
             decimal(*row.physical) + "</text>\n";
    }
    double last_mark_label = -1e9;
    for (const TimedWord& word : row.words) {
      if (!word.issue) continue;
      const zx::DecodedInstruction& d = word.decoded;
      const std::string text = zx::describe(d);
      const double x0 = x(*word.issue);
      if (d.advance == 0) {
        if (d.kind == zx::WordKind::Sync || d.kind == zx::WordKind::Return) {
          out += "  <line class=\"frame\" x1=\"" + number(x0) + "\" y1=\"" +
                 number(top + box_top - 4) + "\" x2=\"" + number(x0) + "\" y2=\"" +
                 number(top + box_top + box_height + 4) + "\"><title>" + xml(text) + " at cycle " +
                 decimal(*word.issue) + "</title></line>\n";
        }
        continue;
      }
      const std::uint64_t end = *word.issue + d.advance;
      const double x1 = x(end);
      const double w = std::max(x1 - x0, 1.0);
      const std::string_view cls = box_class(d.kind);
      out += "  <rect class=\"" + std::string{cls} + "\" x=\"" + number(x0) + "\" y=\"" +
             number(top + box_top) + "\" width=\"" + number(w) + "\" height=\"" +
             number(box_height) + "\"><title>#" + decimal(word.index) + " " + word_hex(d.word) +
             " " + xml(text) + ", cycles " + decimal(*word.issue) + "-" + decimal(end) +
             "</title></rect>\n";
      const std::string short_label =
          std::string{zx::word_kind_name(d.kind)} + " " + decimal(d.advance);
      if (w >= 6.5 * static_cast<double>(short_label.size()) + 4) {
        out += "  <text class=\"" + std::string{cls == "payload" ? "in-payload" : "in-box"} +
               "\" x=\"" + number(x0 + 3) + "\" y=\"" + number(top + box_top + 17) + "\">" +
               xml(short_label) + "</text>\n";
      }
      if (is_receive_control(d.kind)) {
        // The control takes effect as its word completes.
        out += "  <path class=\"mark\" d=\"M" + number(x1 - 5) + " " + number(top + 6) + " L" +
               number(x1 + 5) + " " + number(top + 6) + " L" + number(x1) + " " +
               number(top + box_top) + " Z\"><title>" + xml(text) + " takes effect at cycle " +
               decimal(end) + "</title></path>\n";
        if (x1 - last_mark_label >= 34) {
          out += "  <text class=\"small\" x=\"" + number(x1 + 6) + "\" y=\"" + number(top + 14) +
                 "\">" + decimal(end) + "</text>\n";
          last_mark_label = x1;
        }
      }
    }
    out += "</g>\n";
  }

  // Sender payload interval, across all lanes.
  if (report.sender_timing) {
    const auto& t = *report.sender_timing;
    const std::string label = "payload " + decimal(t.payload_start) + "-" + decimal(t.payload_end);
    out += "<g class=\"payload-interval\">\n";
    for (const std::uint64_t cycle :
         {std::uint64_t{t.payload_start}, std::uint64_t{t.payload_end}}) {
      out += "  <line class=\"payload-line\" x1=\"" + number(x(cycle)) + "\" y1=\"" +
             number(lanes_top - 12) + "\" x2=\"" + number(x(cycle)) + "\" y2=\"" +
             number(lanes_bottom) + "\"/>\n";
    }
    out += "  <text class=\"small\" x=\"" + number(x(t.payload_start)) + "\" y=\"" +
           number(lanes_top - 16) + "\">" + xml(label) + "</text>\n";
    out += "</g>\n";
  }

  // Cycle axis.
  out += "<g class=\"axis-group\">\n";
  out += "  <line class=\"axis\" x1=\"" + number(plot_left) + "\" y1=\"" + number(axis_y) +
         "\" x2=\"" + number(plot_right) + "\" y2=\"" + number(axis_y) + "\"/>\n";
  const std::uint64_t step = tick_step(last - first, 10);
  for (std::uint64_t cycle = (first + step - 1) / step * step; cycle <= last; cycle += step) {
    out += "  <line class=\"axis\" x1=\"" + number(x(cycle)) + "\" y1=\"" + number(axis_y) +
           "\" x2=\"" + number(x(cycle)) + "\" y2=\"" + number(axis_y + 5) + "\"/>\n";
    out += "  <text class=\"small\" x=\"" + number(x(cycle)) + "\" y=\"" + number(axis_y + 17) +
           "\" text-anchor=\"middle\">" + decimal(cycle) + "</text>\n";
  }
  out += "  <text class=\"label\" x=\"" + number((plot_left + plot_right) / 2) + "\" y=\"" +
         number(axis_y + 34) + "\" text-anchor=\"middle\">cycle</text>\n";
  out += "</g>\n";

  // Legend.
  out += "<g class=\"legend\">\n";
  double lx = 10;
  for (const auto& [cls, label] :
       {std::pair{"delay", "delay"}, std::pair{"control", "PIC/XPIC control"},
        std::pair{"payload", "payload send"}, std::pair{"other", "other timed word"}}) {
    out += "  <rect class=\"" + std::string{cls} + "\" x=\"" + number(lx) + "\" y=\"" +
           number(legend_y) + "\" width=\"14\" height=\"10\"/>\n";
    out += "  <text class=\"small\" x=\"" + number(lx + 18) + "\" y=\"" + number(legend_y + 9) +
           "\">" + label + "</text>\n";
    lx += 140;
  }
  out += "  <path class=\"mark\" d=\"M" + number(lx) + " " + number(legend_y) + " L" +
         number(lx + 10) + " " + number(legend_y) + " L" + number(lx + 5) + " " +
         number(legend_y + 10) + " Z\"/>\n";
  out += "  <text class=\"small\" x=\"" + number(lx + 16) + "\" y=\"" + number(legend_y + 9) +
         "\">receive control takes effect</text>\n";
  lx += 200;
  out += "  <line class=\"payload-line\" x1=\"" + number(lx) + "\" y1=\"" + number(legend_y + 5) +
         "\" x2=\"" + number(lx + 20) + "\" y2=\"" + number(legend_y + 5) + "\"/>\n";
  out += "  <text class=\"small\" x=\"" + number(lx + 26) + "\" y=\"" + number(legend_y + 9) +
         "\">sender payload interval</text>\n";
  out += "</g>\n";
  out += "</svg>\n";
  return out;
}

}  // namespace zerin::plan
