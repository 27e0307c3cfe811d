#include "zerin/exchange/diagnostics.hpp"

#include <ostream>
#include <utility>

#include "diagnostics_internal.hpp"
#include "text.hpp"

namespace zerin::exchange {
namespace detail {
std::atomic<bool> diagnostic_sink_present{false};
}  // namespace detail

namespace {

std::mutex sink_mutex;
std::shared_ptr<DiagnosticSink> installed_sink;

}  // namespace

std::string_view level_name(DiagnosticLevel level) noexcept {
  switch (level) {
    case DiagnosticLevel::Error:
      return "ERROR";
    case DiagnosticLevel::Warn:
      return "WARN";
    case DiagnosticLevel::Info:
      return "INFO";
    case DiagnosticLevel::Debug:
      return "DEBUG";
    case DiagnosticLevel::Trace:
      return "TRACE";
  }
  return "UNKNOWN";
}

void set_diagnostic_sink(std::shared_ptr<DiagnosticSink> sink) {
  std::shared_ptr<DiagnosticSink> previous;
  {
    const std::lock_guard lock(sink_mutex);
    previous = std::exchange(installed_sink, std::move(sink));
    detail::diagnostic_sink_present.store(installed_sink != nullptr, std::memory_order_relaxed);
  }
  // `previous` is released outside the lock, so a sink's destructor may log.
}

void clear_diagnostic_sink() {
  set_diagnostic_sink(nullptr);
}

std::shared_ptr<DiagnosticSink> diagnostic_sink() {
  const std::lock_guard lock(sink_mutex);
  return installed_sink;
}

std::string format_diagnostic(const DiagnosticEvent& event) {
  std::string line;
  line += level_name(event.level);
  line += ' ';
  line += event.target;
  line += ": ";
  line += event.message;
  for (const DiagnosticField& field : event.fields) {
    line += ' ';
    line += field.name;
    line += '=';
    if (const auto* number = std::get_if<std::uint64_t>(&field.value)) {
      detail::append_unsigned(line, *number);
    } else {
      line += std::get<std::string>(field.value);
    }
  }
  return line;
}

bool OstreamDiagnosticSink::enabled(DiagnosticLevel level, std::string_view) const noexcept {
  return level <= max_level_;
}

void OstreamDiagnosticSink::deliver(const DiagnosticEvent& event) {
  const std::string line = format_diagnostic(event) + '\n';
  const std::lock_guard lock(mutex_);
  out_ << line << std::flush;
}

}  // namespace zerin::exchange
