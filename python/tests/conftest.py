import pytest

import zerin_exchange as zx


@pytest.fixture(scope="session")
def r470():
    return zx.Topology.r470()
