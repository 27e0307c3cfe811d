"""Bad Python input is refused with the argument's name, never wrapped."""

import pytest

import zerin_exchange as zx


@pytest.mark.parametrize("value, error", [
    (-1, OverflowError), (65536, OverflowError), (2**70, OverflowError), (None, TypeError),
    (1.0, TypeError), ("1", TypeError), (True, TypeError),
])
def test_tiles(r470, value, error):
    with pytest.raises(error, match="^sender "):
        r470.point_to_point(value, 1, 1)
    with pytest.raises(error, match=r"^receivers\[1\] "):
        r470.multicast(0, [1, value], 1)


@pytest.mark.parametrize("value, error", [
    (-1, OverflowError), (2**32, OverflowError), (None, TypeError), (3.0, TypeError),
])
def test_counts_and_words(r470, value, error):
    with pytest.raises(error, match="^count "):
        r470.point_to_point(0, 1, value)
    with pytest.raises(error, match="^schedule_offset "):
        r470.multicast(0, [1], 1, value)
    with pytest.raises(error, match="^word "):
        zx.instruction_advance(value)
    with pytest.raises(error, match=r"^row\[4\] "):
        zx.scheduled_sender_timing([zx.SYNC_WORD, 0, 0, 0, value, 0, 0, 0, 0])
    with pytest.raises(error, match="^count "):
        zx.CountError(value)


def test_exact_limits_pass(r470):
    assert r470.multicast(0, [1], 4148, schedule_offset=0).sender[0] == zx.SYNC_WORD
    assert zx.instruction_advance(2**32 - 1) == 64
    with pytest.raises(zx.TileError):
        r470.physical(65535)
    with pytest.raises(zx.ScheduleError):
        r470.multicast(0, [1], 1, 2**32 - 1)
    assert r470.paired_receiver_row(0, 3, 8, -30)[0] == zx.SYNC_WORD
    with pytest.raises(OverflowError, match="^minimum_double_mux "):
        r470.paired_receiver_row(0, 3, 8, 2**31)


def test_index_objects_are_ints(r470):
    class Tile:
        def __index__(self):
            return 1
    assert r470.point_to_point(0, Tile(), 1) == r470.point_to_point(0, 1, 1)


@pytest.mark.parametrize("row, error, pattern", [
    ([0] * 8, ValueError, "^row must have 9 words, got 8"),
    ([0] * 10, ValueError, "^row must have 9 words, got 10"),
    ("abcdefghi", TypeError, "^row must be"),
    (None, TypeError, "^row must be"),
    (5, TypeError, "^row must be"),
])
def test_rows(row, error, pattern):
    with pytest.raises(error, match=pattern):
        zx.scheduled_sender_timing(row)
    with pytest.raises(error, match=pattern):
        zx.set_sender_control(row, 1)


def test_other_arguments(r470):
    with pytest.raises(TypeError, match="^receivers must be"):
        r470.multicast(0, None, 1)
    with pytest.raises(TypeError, match="^receivers must be"):
        r470.multicast(0, b"\x01\x02", 1)
    with pytest.raises(OverflowError, match="^send_control "):
        zx.set_sender_control([0] * 9, 256)
    with pytest.raises(TypeError, match="^kind must be a ReceiveEventKind"):
        zx.ReceiveEvent(1, 0, 5)
    with pytest.raises(TypeError, match="^events must be a sequence of ReceiveEvent, not int"):
        zx.validate_receive_events(5)
    with pytest.raises(TypeError, match=r"^events\[0\] must be a ReceiveEvent"):
        zx.validate_receive_events([(1, 0, 5)])
    with pytest.raises(TypeError, match="^words must be a list"):
        zx.append_plain_delay((), 0, 1)
    with pytest.raises(TypeError, match="^align_control_pairs must be a bool"):
        zx.append_receive_events([], 0, [], 1, 1)
    with pytest.raises(TypeError, match="^reason must be a ScheduleReason"):
        zx.ScheduleError(5)
    with pytest.raises(ValueError, match=r"^transfers\[0\] must have 3 items"):
        r470.point_to_point_many([(0, 1)])
    with pytest.raises(OverflowError, match=r"^logical_to_physical\[1\] "):
        zx.Topology([0, -2])


def test_values_are_immutable(r470):
    plan = r470.point_to_point(0, 1, 1)
    with pytest.raises(AttributeError):
        plan.sender = plan.receiver
    with pytest.raises(TypeError):
        plan.sender[0] = 1
    view = memoryview(plan.sender)
    assert view.readonly and view.tolist() == list(plan.sender)
    rows = r470.multicast(0, [736, 1286], 1).receivers
    assert memoryview(rows).shape == (2, 9) and memoryview(rows).readonly
    assert rows[-1] == rows[1] and len(rows[:1]) == 1
    with pytest.raises(IndexError):
        rows[2]


def test_receivers_read_from_code_that_plans_again(r470):
    def receivers():
        yield 736
        r470.multicast(5, [6, 7, 8], 1)
        yield 1286
    assert r470.multicast(0, receivers(), 100) == r470.multicast(0, [736, 1286], 100)


def test_planner_calls_take_arguments_as_python_functions_do(r470):
    plan = r470.point_to_point(0, 1, 1)
    assert r470.point_to_point(count=1, receiver=1, sender=0) == plan
    assert r470.multicast(0, [1], count=1, schedule_offset=0) == r470.multicast(0, [1], 1)
    for call, message in [
        (lambda: r470.point_to_point(0, 1), "missing required argument 'count'"),
        (lambda: r470.point_to_point(0, 1, 1, 2), "takes at most 3 arguments"),
        (lambda: r470.point_to_point(0, 1, 1, sender=0), "multiple values for argument 'sender'"),
        (lambda: r470.multicast(0, [1], 1, offset=3), "unexpected keyword argument 'offset'"),
        (lambda: zx.Topology.multicast(None, 0, [1], 1), "Topology"),
    ]:
        with pytest.raises(TypeError, match=message):
            call()
