/// @file
/// Structured diagnostic events, delivered to a sink the embedding program installs.
///
/// The planners offer one debug event per successful plan (never on failure).
/// With no sink installed the cost of an offer is one relaxed atomic load and
/// nothing is formatted; with a sink that refuses the level, one call to
/// `enabled()` and still nothing is formatted.
///
/// Thread-safety: set_diagnostic_sink() and clear_diagnostic_sink() may be called
/// from any thread at any time. An event being delivered keeps its sink alive
/// until deliver() returns. A sink's deliver() may be called from several threads
/// at once and must be safe for that.
#ifndef ZERIN_EXCHANGE_DIAGNOSTICS_HPP
#define ZERIN_EXCHANGE_DIAGNOSTICS_HPP

#include "zerin/exchange/export.hpp"

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <variant>

namespace zerin::exchange {

/// Severity, most severe first.
enum class DiagnosticLevel : std::uint8_t { Error, Warn, Info, Debug, Trace };

/// "ERROR", "WARN", "INFO", "DEBUG", "TRACE".
ZERIN_EXCHANGE_API std::string_view level_name(DiagnosticLevel level) noexcept;

/// The target of every event the library emits.
inline constexpr std::string_view diagnostic_target = "zerin_exchange";

/// One named field of an event: an unsigned integer or a text.
struct DiagnosticField {
  std::string_view name;                           ///< The field's name.
  std::variant<std::uint64_t, std::string> value;  ///< Its value.
};

/// One event. Its views are valid only during DiagnosticSink::deliver().
struct DiagnosticEvent {
  DiagnosticLevel level;     ///< Severity.
  std::string_view target;   ///< Where it comes from: diagnostic_target for the library's events.
  std::string_view message;  ///< The fixed message.
  std::span<const DiagnosticField> fields;  ///< in emission order
};

/// Receives events. Implementations decide which levels and targets they accept.
class ZERIN_EXCHANGE_API DiagnosticSink {
 public:
  virtual ~DiagnosticSink() = default;
  /// Whether events of this level and target are wanted; asked before formatting.
  virtual bool enabled(DiagnosticLevel level, std::string_view target) const noexcept = 0;
  /// Takes one event that enabled() accepted.
  virtual void deliver(const DiagnosticEvent& event) = 0;
};

/// Installs `sink` for every thread, replacing any previous sink (nullptr removes it).
ZERIN_EXCHANGE_API void set_diagnostic_sink(std::shared_ptr<DiagnosticSink> sink);
/// Removes the installed sink, if any.
ZERIN_EXCHANGE_API void clear_diagnostic_sink();
/// The installed sink, or nullptr.
ZERIN_EXCHANGE_API std::shared_ptr<DiagnosticSink> diagnostic_sink();

/// One line per event: `LEVEL target: message name=value name=value`, for example
/// `DEBUG zerin_exchange: assembled multicast exchange sender_logical=0
/// receiver_logical=[736, 1286] count=100 schedule_offset=0`.
ZERIN_EXCHANGE_API std::string format_diagnostic(const DiagnosticEvent& event);

/// A sink writing format_diagnostic() lines to an ostream, accepting events at
/// `max_level` or more severe. Lines from several threads never interleave.
class ZERIN_EXCHANGE_API OstreamDiagnosticSink : public DiagnosticSink {
 public:
  /// Writes to `out` the events at `max_level` or more severe; `out` must outlive the sink.
  explicit OstreamDiagnosticSink(std::ostream& out,
                                 DiagnosticLevel max_level = DiagnosticLevel::Trace)
      : out_(out), max_level_(max_level) {}
  bool enabled(DiagnosticLevel level, std::string_view target) const noexcept override;
  void deliver(const DiagnosticEvent& event) override;

 private:
  std::ostream& out_;
  DiagnosticLevel max_level_;
  std::mutex mutex_;
};

}  // namespace zerin::exchange

#endif  // ZERIN_EXCHANGE_DIAGNOSTICS_HPP
