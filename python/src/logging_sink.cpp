#include "logging_sink.hpp"

#include <memory>
#include <string>

#include "zerin/exchange.hpp"

namespace zerin::exchange::python {
namespace {

namespace py = pybind11;

// Python's logging levels; TRACE sits below DEBUG, where logging has no name.
int python_level(DiagnosticLevel level) {
  switch (level) {
    case DiagnosticLevel::Error:
      return 40;
    case DiagnosticLevel::Warn:
      return 30;
    case DiagnosticLevel::Info:
      return 20;
    case DiagnosticLevel::Debug:
      return 10;
    case DiagnosticLevel::Trace:
      return 5;
  }
  return 10;
}

// Hands events to the logger named after the library's diagnostic target.
class LoggingSink final : public DiagnosticSink {
 public:
  explicit LoggingSink(py::object logger) : logger_(std::move(logger)) {
    // logging caches isEnabledFor() per level in this dict and clears it, in
    // place, whenever a level changes: a hit answers without calling Python.
    if (py::hasattr(logger_, "_cache")) {
      py::object cache = logger_.attr("_cache");
      if (PyDict_Check(cache.ptr())) cache_ = std::move(cache);
    }
  }

  // Only this module's calls reach the sink (the library is linked into the
  // module), and they all hold the GIL.
  bool enabled(DiagnosticLevel level, std::string_view) const noexcept override {
    bool result = false;
    PyObject* key = PyLong_FromLong(python_level(level));
    PyObject* cached =
        (key != nullptr && cache_) ? PyDict_GetItemWithError(cache_.ptr(), key) : nullptr;
    if (cached != nullptr) {
      result = cached == Py_True;
    } else if (key != nullptr && !PyErr_Occurred()) {
      PyObject* answer = PyObject_CallMethodOneArg(logger_.ptr(), enabled_name_.ptr(), key);
      result = answer != nullptr && PyObject_IsTrue(answer) == 1;
      Py_XDECREF(answer);
    }
    Py_XDECREF(key);
    // Logging must never change a result: a failure here only loses the event.
    if (PyErr_Occurred()) PyErr_WriteUnraisable(logger_.ptr());
    return result;
  }

  void deliver(const DiagnosticEvent& event) override {
    try {
      // The library's own line without its "LEVEL target: " head, which the
      // log record carries as its level and logger name.
      std::string line = format_diagnostic(event);
      const std::size_t head = level_name(event.level).size() + 1 + event.target.size() + 2;
      line.erase(0, std::min(head, line.size()));
      py::dict fields;
      for (const DiagnosticField& field : event.fields) {
        const py::str name(field.name.data(), field.name.size());
        if (const auto* number = std::get_if<std::uint64_t>(&field.value)) {
          fields[name] = py::int_(*number);
        } else {
          fields[name] = py::str(std::get<std::string>(field.value));
        }
      }
      py::dict extra;
      extra["zerin_message"] = py::str(event.message.data(), event.message.size());
      extra["zerin_fields"] = fields;
      logger_.attr("log")(python_level(event.level), "%s", line, py::arg("extra") = extra);
    } catch (py::error_already_set& error) {
      error.discard_as_unraisable(logger_);
    }
  }

 private:
  py::object logger_;
  py::object cache_;
  py::str enabled_name_{"isEnabledFor"};
};

}  // namespace

void bind_logging(py::module_& module) {
  py::object logger =
      py::module_::import("logging").attr("getLogger")(std::string(diagnostic_target));
  // Never destroyed: it holds Python objects and the interpreter may already
  // be gone at static destruction. The library holds it only while installed.
  static const auto* sink =
      new std::shared_ptr<LoggingSink>(std::make_shared<LoggingSink>(std::move(logger)));
  module.def(
      "_set_diagnostics",
      [](bool on) {
        if (on) {
          set_diagnostic_sink(*sink);
        } else {
          clear_diagnostic_sink();
        }
      },
      py::arg("on"),
      "Installs (True) or removes (False) the sink that hands the library's events to "
      "logging. The package calls it whenever logging's levels change.");
  module.def(
      "_diagnostics_installed", [] { return diagnostic_sink() != nullptr; },
      "Whether the library currently offers its events to logging.");
  // The sink holds Python objects: drop it while the interpreter still runs.
  py::module_::import("atexit").attr("register")(py::cpp_function([] { clear_diagnostic_sink(); }));
}

}  // namespace zerin::exchange::python
