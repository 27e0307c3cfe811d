// The timing diagram of a plan: one lane per row, each word a box from the cycle
// it issues to the cycle the next word issues. Payload sends are drawn solid, and
// every receive control (PIC or XPIC word) gets a mark at the cycle it takes
// effect, which is the end of its box. Dashed lines carry the sender's payload
// interval across all lanes, under the boxes and the marks' numbers.
#include <fmt/format.h>
#include <algorithm>
#include <iterator>

#include "report.hpp"

namespace zerin::plan {
namespace {

namespace zx = zerin::exchange;

constexpr double width = 1100;
constexpr double margin = 4;  // text stays this far inside the picture
constexpr double plot_left = 190;
constexpr double plot_right = width - 30;
constexpr double title_top = 22;  // baseline of the first title line
constexpr double title_line = 18;
constexpr double lanes_gap = 42;  // from the last title line to the first lane
constexpr double lane_height = 56;
constexpr double box_top = 18;  // within a lane
constexpr double box_height = 26;
// Widths of a character, generous, for keeping text inside the picture.
constexpr double small_char = 6.2;  // 10px
constexpr double title_char = 8.4;  // 14px bold
constexpr std::size_t title_columns = static_cast<std::size_t>((width - 20) / title_char);

// A coordinate: one decimal, none when it is whole.
std::string px(double value) {
  std::string out = fmt::format("{:.1f}", value);
  if (out.ends_with(".0")) out.resize(out.size() - 2);
  return out;
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

// The heading broken at spaces into lines of at most `columns` characters (a
// word longer than that stands alone on its line).
std::vector<std::string> wrap(std::string_view text, std::size_t columns) {
  std::vector<std::string> lines;
  std::string line;
  while (!text.empty()) {
    const auto space = text.find(' ');
    const std::string_view word = text.substr(0, space);
    if (!line.empty() && line.size() + 1 + word.size() > columns) {
      lines.push_back(std::move(line));
      line.clear();
    }
    if (!line.empty()) line += ' ';
    line += word;
    text = space == std::string_view::npos ? std::string_view{} : text.substr(space + 1);
  }
  if (!line.empty()) lines.push_back(std::move(line));
  return lines;
}

// Where a small text anchored at `x` goes so that it stays inside the picture:
// `anchor` as asked unless its right end would pass the edge, then "end".
struct Placed {
  double x;
  std::string_view anchor;
};
Placed keep_inside(double x, std::string_view text, std::string_view anchor) {
  const double text_width = small_char * static_cast<double>(text.size());
  const double right = anchor == "middle" ? x + text_width / 2 : x + text_width;
  if (right <= width - margin) return {x, anchor};
  return {std::min(x, width - margin), "end"};
}

using Out = std::back_insert_iterator<std::string>;

void small_text(Out out, double x, double y, std::string_view text, std::string_view anchor,
                std::string_view cls = "small") {
  const Placed at = keep_inside(x, text, anchor);
  fmt::format_to(out, "  <text class=\"{}\" x=\"{}\" y=\"{}\"{}>{}</text>\n", cls, px(at.x), px(y),
                 at.anchor == "start" ? "" : fmt::format(" text-anchor=\"{}\"", at.anchor),
                 xml(text));
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

  const std::vector<std::string> title = wrap(heading(report), title_columns);
  const double lanes_top =
      title_top + title_line * static_cast<double>(title.size() - 1) + lanes_gap;
  const double lanes_bottom = lanes_top + lane_height * static_cast<double>(report.rows.size());
  const double axis_y = lanes_bottom + 8;
  const double legend_y = axis_y + 48;
  const double height = legend_y + 30;

  std::string text;
  const Out out = std::back_inserter(text);
  fmt::format_to(out,
                 "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                 "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"{0}\" height=\"{1}\" "
                 "viewBox=\"0 0 {0} {1}\" font-family=\"sans-serif\" font-size=\"12\">\n",
                 px(width), px(height));
  text +=
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
      "  .mark-label { fill: #555555; font-size: 10px; paint-order: stroke; stroke: #f7f7f7; "
      "stroke-width: 3px; }\n"
      "  .in-box { fill: #222222; font-size: 10px; }\n"
      "  .in-payload { fill: #ffffff; font-size: 10px; font-weight: bold; }\n"
      "</style>\n";
  text += "<text class=\"label title\" x=\"10\" font-size=\"14\" font-weight=\"bold\">";
  for (std::size_t i = 0; i < title.size(); ++i) {
    fmt::format_to(out, "<tspan x=\"10\" y=\"{}\">{}</tspan>",
                   px(title_top + title_line * static_cast<double>(i)), xml(title[i]));
  }
  text += "</text>\n";

  // Lane backgrounds first, then the payload lines, then what the lanes hold:
  // the lines pass under the boxes and the numbers of the marks.
  text += "<g class=\"lane-backgrounds\">\n";
  for (std::size_t r = 0; r < report.rows.size(); ++r) {
    const double top = lanes_top + lane_height * static_cast<double>(r);
    fmt::format_to(out, "  <rect class=\"lane-bg\" x=\"2\" y=\"{}\" width=\"{}\" height=\"{}\"/>\n",
                   px(top + 2), px(width - 4), px(lane_height - 4));
  }
  text += "</g>\n";

  if (report.sender_timing) {
    const auto& t = *report.sender_timing;
    text += "<g class=\"payload-interval\">\n";
    for (const std::uint64_t cycle :
         {std::uint64_t{t.payload_start}, std::uint64_t{t.payload_end}}) {
      fmt::format_to(
          out, "  <line class=\"payload-line\" x1=\"{0}\" y1=\"{1}\" x2=\"{0}\" y2=\"{2}\"/>\n",
          px(x(cycle)), px(lanes_top - 12), px(lanes_bottom));
    }
    small_text(out, x(t.payload_start), lanes_top - 16,
               fmt::format("payload {}-{}", t.payload_start, t.payload_end), "start");
    text += "</g>\n";
  }

  for (std::size_t r = 0; r < report.rows.size(); ++r) {
    const RowReport& row = report.rows[r];
    const double top = lanes_top + lane_height * static_cast<double>(r);
    const std::string_view role = role_name(row.role);
    fmt::format_to(out, "<g class=\"lane\" data-role=\"{}\"{}>\n", role,
                   row.logical ? fmt::format(" data-logical=\"{}\"", *row.logical) : "");
    fmt::format_to(out, "  <text class=\"label\" x=\"10\" y=\"{}\">{}{}</text>\n", px(top + 26),
                   role, row.logical ? fmt::format(" {}", *row.logical) : "");
    if (row.physical) {
      fmt::format_to(out, "  <text class=\"small\" x=\"10\" y=\"{}\">physical {}</text>\n",
                     px(top + 40), *row.physical);
    }
    double last_mark_label = -1e9;
    for (const TimedWord& word : row.words) {
      if (!word.issue) continue;
      const zx::DecodedInstruction& d = word.decoded;
      const double x0 = x(*word.issue);
      if (d.advance == 0) {
        if (d.kind == zx::WordKind::Sync || d.kind == zx::WordKind::Return) {
          fmt::format_to(out,
                         "  <line class=\"frame\" x1=\"{0}\" y1=\"{1}\" x2=\"{0}\" y2=\"{2}\">"
                         "<title>{3} at cycle {4}</title></line>\n",
                         px(x0), px(top + box_top - 4), px(top + box_top + box_height + 4),
                         xml(word.text), *word.issue);
        }
        continue;
      }
      const std::uint64_t end = *word.issue + d.advance;
      const double x1 = x(end);
      const double w = std::max(x1 - x0, 1.0);
      const std::string_view cls = box_class(d.kind);
      fmt::format_to(out,
                     "  <rect class=\"{}\" x=\"{}\" y=\"{}\" width=\"{}\" height=\"{}\">"
                     "<title>#{} {} {}, cycles {}-{}</title></rect>\n",
                     cls, px(x0), px(top + box_top), px(w), px(box_height), word.index,
                     word_hex(d.word), xml(word.text), *word.issue, end);
      const std::string short_label = fmt::format("{} {}", word.kind, d.advance);
      if (w >= 6.5 * static_cast<double>(short_label.size()) + 4) {
        fmt::format_to(out, "  <text class=\"{}\" x=\"{}\" y=\"{}\">{}</text>\n",
                       cls == "payload" ? "in-payload" : "in-box", px(x0 + 3),
                       px(top + box_top + 17), xml(short_label));
      }
      if (is_receive_control(d.kind)) {
        // The control takes effect as its word completes.
        fmt::format_to(out,
                       "  <path class=\"mark\" d=\"M{} {} L{} {} L{} {} Z\"><title>{} takes "
                       "effect at cycle {}</title></path>\n",
                       px(x1 - 5), px(top + 6), px(x1 + 5), px(top + 6), px(x1), px(top + box_top),
                       xml(word.text), end);
        if (x1 - last_mark_label >= 34) {
          small_text(out, x1 + 6, top + 14, fmt::format("{}", end), "start", "mark-label");
          last_mark_label = x1;
        }
      }
    }
    text += "</g>\n";
  }

  // Cycle axis.
  text += "<g class=\"axis-group\">\n";
  fmt::format_to(out, "  <line class=\"axis\" x1=\"{0}\" y1=\"{2}\" x2=\"{1}\" y2=\"{2}\"/>\n",
                 px(plot_left), px(plot_right), px(axis_y));
  const std::uint64_t step = tick_step(last - first, 10);
  for (std::uint64_t cycle = (first + step - 1) / step * step; cycle <= last; cycle += step) {
    fmt::format_to(out, "  <line class=\"axis\" x1=\"{0}\" y1=\"{1}\" x2=\"{0}\" y2=\"{2}\"/>\n",
                   px(x(cycle)), px(axis_y), px(axis_y + 5));
    small_text(out, x(cycle), axis_y + 17, fmt::format("{}", cycle), "middle");
  }
  fmt::format_to(out,
                 "  <text class=\"label\" x=\"{}\" y=\"{}\" text-anchor=\"middle\">cycle</text>\n",
                 px((plot_left + plot_right) / 2), px(axis_y + 34));
  text += "</g>\n";

  // Legend.
  text += "<g class=\"legend\">\n";
  double lx = 10;
  for (const auto& [cls, label] :
       {std::pair{"delay", "delay"}, std::pair{"control", "PIC/XPIC control"},
        std::pair{"payload", "payload send"}, std::pair{"other", "other timed word"}}) {
    fmt::format_to(out, "  <rect class=\"{}\" x=\"{}\" y=\"{}\" width=\"14\" height=\"10\"/>\n",
                   cls, px(lx), px(legend_y));
    small_text(out, lx + 18, legend_y + 9, label, "start");
    lx += 140;
  }
  fmt::format_to(out, "  <path class=\"mark\" d=\"M{} {} L{} {} L{} {} Z\"/>\n", px(lx),
                 px(legend_y), px(lx + 10), px(legend_y), px(lx + 5), px(legend_y + 10));
  small_text(out, lx + 16, legend_y + 9, "receive control takes effect", "start");
  lx += 200;
  fmt::format_to(out,
                 "  <line class=\"payload-line\" x1=\"{0}\" y1=\"{2}\" x2=\"{1}\" y2=\"{2}\"/>\n",
                 px(lx), px(lx + 20), px(legend_y + 5));
  small_text(out, lx + 26, legend_y + 9, "sender payload interval", "start");
  text += "</g>\n</svg>\n";
  return text;
}

}  // namespace zerin::plan
