"""Plans data transfers over the statically scheduled on-chip exchange of a
many-tile processor.

Given "tile S sends `count` words to tile R" (or to a receiver list, or to
partner pairs in 64-bit paired mode) the planners of `Topology` produce rows of
32-bit exchange instruction words for each tile. Errors are raised as
subclasses of `ExchangeError`; a broken invariant inside the library raises
`InternalFault`. Diagnostic events go to ``logging.getLogger("zerin_exchange")``
at DEBUG.
"""

from ._core import *  # noqa: F401,F403
from ._core import __version__  # noqa: F401
from . import _core

__all__ = [name for name in dir(_core) if not name.startswith("_")]

# Show the public names as the package's own (help(), repr of classes, pickling).
for _name in __all__:
    try:
        getattr(_core, _name).__module__ = __name__
    except (AttributeError, TypeError):
        pass
del _name


# Diagnostic events go to logging.getLogger("zerin_exchange"). The library is
# offered a sink only while that logger is enabled for DEBUG, so that planning
# costs nothing for logging otherwise. Levels change through logging's manager,
# which clears its level caches on every change (setLevel, disable,
# basicConfig, dictConfig): the package follows those changes there.
import logging as _logging

_logger = _logging.getLogger("zerin_exchange")


def _follow_logging_levels():
    _core._set_diagnostics(_logger.manager.disable < _logging.DEBUG
                           and _logger.getEffectiveLevel() <= _logging.DEBUG)


def _watch_logging_levels():
    manager = _logger.manager
    clear_cache = getattr(manager, "_clear_cache", None)
    if clear_cache is None:
        # A logging without the cache hook: keep the sink, which asks the
        # logger on each event.
        _core._set_diagnostics(True)
        return

    def _clear_cache_and_follow():
        clear_cache()
        _follow_logging_levels()

    manager._clear_cache = _clear_cache_and_follow
    _follow_logging_levels()


_watch_logging_levels()
