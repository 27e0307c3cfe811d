"""Every error variant: its class, attributes, display and debug texts."""

import pickle

import pytest

import zerin_exchange as zx

# (class, arguments, attributes, display text, debug text)
VARIANTS = [
    (zx.ValidationBudgetExceededError, (), {},
     "exchange incremental-encoding work budget exhausted", "ValidationBudgetExceeded"),
    (zx.TileError, (65535,), {"tile": 65535}, "logical tile 65535 is out of range", "Tile(65535)"),
    (zx.DuplicateTileError, (), {}, "exchange endpoints must be distinct", "DuplicateTile"),
    (zx.CountError, (4149,), {"count": 4149}, "exchange count 4149 is outside 1..=4148",
     "Count(4149)"),
    (zx.ReceiverSetError, (), {}, "invalid multicast receiver set", "ReceiverSet"),
    (zx.ScheduleError, (zx.ScheduleReason.SenderRowReturn,),
     {"reason": zx.ScheduleReason.SenderRowReturn},
     "exchange schedule is not encodable: sender row return", 'Schedule("sender row return")'),
    (zx.PlanOffsetRangeError, (4294967295, 65535), {"cycles": 4294967295, "maximum": 65535},
     "exchange event offset 4294967295 cycles from the phase-entry sync exceeds the encodable "
     "maximum of 65535 cycles", "PlanOffsetRange { cycles: 4294967295, maximum: 65535 }"),
    (zx.AddressError, (4779,), {"address": 4779}, "tile address 0x12ab is not encodable",
     "Address(4779)"),
    (zx.HostPacketError, (), {}, "host exchange address or length is not encodable",
     "HostPacket"),
]


@pytest.mark.parametrize("cls, args, attributes, display, debug", VARIANTS,
                         ids=[v[0].__name__ for v in VARIANTS])
def test_variant_texts_and_attributes(cls, args, attributes, display, debug):
    error = cls(*args)
    assert isinstance(error, zx.ExchangeError) and isinstance(error, Exception)
    assert (str(error), repr(error)) == (display, debug)
    assert {name: getattr(error, name) for name in attributes} == attributes
    assert error == cls(*args) and hash(error) == hash(cls(*args))
    copy = pickle.loads(pickle.dumps(error))
    assert type(copy) is cls and repr(copy) == debug
    with pytest.raises(TypeError):
        cls(*args, 1)


def test_schedule_reasons():
    reasons = list(zx.ScheduleReason.__members__.values())
    assert len(reasons) == 41 and [int(r) for r in reasons] == list(range(41))
    for reason in reasons:
        error = zx.ScheduleError(reason.text)
        assert error.reason == reason and zx.reason_text(reason) == reason.text
        assert repr(error) == f'Schedule("{reason.text}")'
        assert str(error) == f"exchange schedule is not encodable: {reason.text}"
    with pytest.raises(ValueError, match="^reason 'no such reason' is not the text"):
        zx.ScheduleError("no such reason")


def test_small_payloads_and_inequality():
    assert str(zx.CountError(0)) == "exchange count 0 is outside 1..=4148"
    assert str(zx.AddressError(0)) == "tile address 0x0 is not encodable"
    assert zx.TileError(1) != zx.TileError(2)
    assert zx.TileError(1) != zx.CountError(1)
    assert not issubclass(zx.InternalFault, zx.ExchangeError)
    assert issubclass(zx.InternalFault, RuntimeError)


def test_internal_fault_is_not_an_exchange_error():
    # Tile 0's partner (physical 2) sits at index 65536, past every 16-bit tile.
    topology = zx.Topology([0] + [5] * 65535 + [2])
    with pytest.raises(zx.InternalFault, match="^logical tile count fits u16$") as caught:
        topology.paired_logical(0)
    assert not isinstance(caught.value, zx.ExchangeError)


def test_operations_raise_the_variant_they_return(r470):
    cases = [
        (lambda: r470.point_to_point(0, 0, 0), zx.CountError, "Count(0)"),
        (lambda: r470.point_to_point(5000, 5000, 1), zx.DuplicateTileError, "DuplicateTile"),
        (lambda: r470.point_to_point(1472, 1473, 1), zx.TileError, "Tile(1472)"),
        (lambda: r470.multicast(0, [], 1), zx.ReceiverSetError, "ReceiverSet"),
        (lambda: r470.multicast(1472, [], 1), zx.TileError, "Tile(1472)"),
        (lambda: r470.multicast(0, [1, 5000], 1), zx.ReceiverSetError, "ReceiverSet"),
        (lambda: r470.paired_multicast(0, [2, 4], 1), zx.ReceiverSetError, "ReceiverSet"),
        (lambda: r470.physical(1472), zx.TileError, "Tile(1472)"),
        (lambda: zx.encode_send(64, 1, 0), zx.ScheduleError, 'Schedule("send instruction operand")'),
        (lambda: zx.validate_count(4149), zx.CountError, "Count(4149)"),
        (lambda: zx.set_sender_control([0] * 9, 8), zx.ScheduleError, 'Schedule("send control")'),
    ]
    for call, cls, debug in cases:
        with pytest.raises(zx.ExchangeError) as caught:
            call()
        assert (type(caught.value), repr(caught.value)) == (cls, debug)


def test_bulk_error_names_its_transfer(r470):
    senders, receivers = r470.point_to_point_many([(0, 1, 1), (0, 2, 100)])
    assert list(senders) == [r470.point_to_point(0, 1, 1).sender, r470.point_to_point(0, 2, 100).sender]
    assert receivers[1] == r470.point_to_point(0, 2, 100).receiver
    with pytest.raises(zx.CountError) as caught:
        r470.point_to_point_many([(0, 1, 1), (0, 1, 1), (3, 4, 0)])
    assert caught.value.index == 2 and caught.value.__notes__ == ["in transfers[2]"]
