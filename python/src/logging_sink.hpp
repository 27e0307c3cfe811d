// The library's diagnostic events delivered to Python's logging.
#ifndef ZERIN_EXCHANGE_PYTHON_LOGGING_SINK_HPP
#define ZERIN_EXCHANGE_PYTHON_LOGGING_SINK_HPP

#include <pybind11/pybind11.h>

namespace zerin::exchange::python {

// Installs the sink that hands events to logging.getLogger("zerin_exchange"),
// and removes it again when the interpreter exits.
void bind_logging(pybind11::module_& module);

}  // namespace zerin::exchange::python

#endif  // ZERIN_EXCHANGE_PYTHON_LOGGING_SINK_HPP
