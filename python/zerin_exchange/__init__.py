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
