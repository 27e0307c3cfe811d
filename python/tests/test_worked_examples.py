"""The planners, encoders, emission and timing on the board's worked examples."""

import pytest

import zerin_exchange as zx

Z = 0


def test_point_to_point_rows(r470):
    plan = r470.point_to_point(0, 1, 1)
    assert tuple(plan.sender) == (0x41800003, 0x40A0008B, 0x78000001, 0x43A00000, Z, Z, Z, Z, Z)
    assert tuple(plan.receiver) == (
        0x00000001, 0x41800003, 0x641C0000, 0x64000640, 0x61900000, 0x40A00005, 0x43A00000, Z, Z)
    plan = r470.point_to_point(0, 2, 100)
    assert list(plan.sender) == [0x41800003, 0x40A0008E, 0x7FE00001, 0x74600001, 0x43A00000,
                                 Z, Z, Z, Z]
    assert str(plan.receiver) == (
        "00000001 41800003 641c0000 61a80000 640bc640 40a00038 43a00000 00000000 00000000")
    # A mux time of exactly 112 leaves no leading delay word.
    assert r470.point_to_point(780, 0, 1).sender[1] == 0x78000002


def test_multicast_rows(r470):
    plan = r470.multicast(0, [736, 1286], 1)
    assert tuple(plan.sender) == (0x41800003, 0x40A00016, 0x78000003, 0x43A00000, Z, Z, Z, Z, Z)
    row_736 = (0x41800003, 0x6404C000, 0x64000640, 0x61914000, 0x40A00005, 0x43A00000, Z, Z, Z)
    assert [tuple(row) for row in plan.receivers] == [
        row_736, row_736[:1] + (0x64000000,) + row_736[2:]]
    single = r470.multicast(0, [2], 1, schedule_offset=0)
    assert tuple(single.sender)[:4] == (0x41800003, 0x40A0001E, 0x78000001, 0x43A00000)
    assert tuple(single.receivers[0])[:4] == (0x41800003, 0x64000000, 0x64000640, 0x61A14000)
    late = r470.multicast(736, (0, 1471), 1)
    assert tuple(late.sender)[:4] == (0x41800003, 0x78000003, 0x40A00004, 0x43A00000)
    assert [row[1] for row in late.receivers] == [0x64110020, 0x64094020]


@pytest.mark.parametrize("sender, receivers, reason", [
    (0, [736, 1286], "multicast start cycle"),
    (736, [0, 1471], "multicast receive cycle"),
])
def test_multicast_offset_limits(r470, sender, receivers, reason):
    with pytest.raises(zx.ScheduleError) as caught:
        r470.multicast(sender, receivers, 1, 4095)
    assert caught.value.reason.text == reason


def test_paired_multicast(r470):
    plan = r470.paired_multicast(0, [2, 3], 8)
    assert tuple(plan.sender)[:4] == (0x41800003, 0x40A0001E, 0x78E00005, 0x43A00000)
    assert [tuple(row) for row in plan.receivers] == [
        (0x41800003, 0x64002000, 0x6401E640, 0x61640001, 0x60080000, 0x602C0000, 0x40A00006,
         0x43A00000, Z),
        (0x41800003, 0x61AC0001, 0x60080000, 0x602C0000, 0x40A00006, 0x43A00000, Z, Z, Z),
    ]
    assert r470.paired_multicast(274, [2, 3], 1).sender[2] & 7 == 6
    assert r470.paired_multicast(274, [274, 275], 1).sender[2] & 7 == 7
    assert tuple(r470.paired_multicast(736, [2, 3], 1).sender)[:4] == (
        0x41800003, 0x78000006, 0x40A00004, 0x43A00000)
    long = r470.paired_multicast(0, [2, 3], 4148)
    assert tuple(long.receivers[1]) == (0x41800003, 0x61AC0001, 0x60080000, 0x40A00FB1,
                                        0x63FC0000, 0x40A00006, 0x43A00000, Z, Z)
    for count in (53, 55):
        with pytest.raises(zx.ScheduleError, match="paired receive coincident controls"):
            r470.paired_multicast(0, [2, 3], count)


def test_paired_receiver_row_and_earliness(r470):
    assert r470.paired_receiver_row(0, 3, 8, -30) == r470.paired_multicast(0, [2, 3], 8).receivers[1]
    assert r470.paired_receiver_is_early(2, 0) is True
    assert r470.paired_receiver_is_early(3, 0) is False
    with pytest.raises(zx.TileError) as caught:
        r470.paired_receiver_is_early(1472, 1473)
    assert caught.value.tile == 1472


def test_topology_tables(r470):
    assert len(r470) == r470.tile_count == zx.R470_TILE_COUNT == 1472
    assert sorted(r470.logical_to_physical) == list(range(1472))
    pairs = {0: 0, 2: 64, 44: 1408, 46: 1409, 48: 1345, 90: 1, 274: 9, 736: 32, 1286: 53,
             1471: 63}
    assert {logical: r470.physical(logical) for logical in pairs} == pairs
    assert [r470.paired_logical(t) for t in (0, 1, 274, 1286, 1471)] == [1, 0, 275, 1287, 1470]
    assert zx.r470_logical_to_physical(65535) == 3810
    small = zx.Topology([0, 2, 5])
    assert small.paired_logical(0) == 1
    with pytest.raises(zx.TileError):
        small.paired_logical(2)


@pytest.mark.parametrize("source, destination, displacement, code, mux, paired", [
    (0, 1, 5, 1, -25, -25), (0, 4, 7, 1, -28, -27), (4, 0, -5, 2, -20, -20),
    (0, 32, 47, 1, -4, -4), (0, 64, 1, 1, -31, -30), (64, 0, 1, 1, -27, -26),
    (1, 3, -2, 2, -28, -28), (100, 5, -31, 2, 44, 45), (1535, 0, 1, 1, 33, 34),
])
def test_routing(source, destination, displacement, code, mux, paired):
    assert zx.route_displacement(source, destination) == displacement
    assert zx.direction(source, destination) == code
    assert zx.time_to_mux(source, destination) == mux
    assert zx.paired_time_to_mux(source, destination) == paired


def test_encoders_and_advances():
    assert zx.delay_pic(52, 0, 0x14000) == 0x61A14000
    assert zx.encode_exchange_delay_xpic(4095, 1, 0x1FFF) == 0x67FFFFFF
    assert zx.delay_xpic(0, 0, 0x2000) == 0x64000000  # the control does not reach the flag
    assert zx.send_off(4096, 0, 0) == zx.send_off(0, 0, 0) == 0x70000000
    assert zx.encode_send(63, 7, 0x3FFFF) == 0x7FFFFFFF
    advances = {0x40A00000: 1, 0x40A7FFFF: 524288, 0x63FFFFFF: 128, 0x67FFFFFF: 4096,
                0x7FE00002: 64, 0x766FC001: 4084, zx.SYNC_WORD: 0, zx.RETURN_WORD: 0, 0: 0}
    assert {word: zx.instruction_advance(word) for word in advances} == advances
    assert zx.maximum_timed_instruction_advance(0x60000000) == 128
    assert zx.maximum_timed_instruction_advance(0x40A00000) is None
    assert zx.set_instruction_advance(0x60000000, 128) == 0x63F80000
    row = zx.set_sender_control([zx.SYNC_WORD, 0x78000001, 0x70000002, zx.RETURN_WORD, 0, 0, 0,
                                 0, 0], 5)
    assert tuple(row)[1:3] == (0x78000005, 0x70000005)
    pic = zx.ReceiveEvent(7, 0x60052345, zx.ReceiveEventKind.Pointer)
    xpic = zx.ReceiveEvent(7, 0x64002ABC, zx.ReceiveEventKind.OrdinarySource)
    assert zx.encode_send_control_pair(3, 0x100, 5, [xpic, pic]) == (0xF8600805, 0xAAF12345)


@pytest.mark.parametrize("word, advance, reason", [
    (0x40A00000, 524289, "delay advance overflow"),
    (0x60000000, 129, "PIC delay advance overflow"),
    (0x64000000, 4097, "XPIC delay advance overflow"),
    (0x78000001, 5, "scheduled offset truncates a send"),
    (0x78000001, 0, "zero event advance"),
    (zx.SYNC_WORD, 5, "first scheduled event is not a delay"),
])
def test_set_instruction_advance_refusals(word, advance, reason):
    with pytest.raises(zx.ScheduleError) as caught:
        zx.set_instruction_advance(word, advance)
    assert caught.value.reason.text == reason


def test_emission_into_a_list():
    K = zx.ReceiveEventKind
    words = [zx.SYNC_WORD]
    events = [zx.ReceiveEvent(100, 0x60040001, K.Format), zx.ReceiveEvent(303, 0x60040000, K.Format)]
    assert zx.append_receive_events(words, 0, events, 310) == 310
    assert words == [zx.SYNC_WORD, 0x631C0001, 0x40A0004A, 0x63FC0000, 0x40A00006]

    words, calls = [zx.SYNC_WORD], []
    pair = [zx.ReceiveEvent(10, 0x60040123, K.Pointer),
            zx.ReceiveEvent(10, 0x64002005, K.OrdinarySource)]
    clock = zx.append_receive_events(words, 0, pair, 20, align_control_pairs=True,
                                     record=lambda *args: calls.append(args))
    assert (clock, words[1:], calls) == (20, [0x40A00008, 0xF9400000, 0x80140123], [(2, 4, 20, 20)])

    words = [zx.SYNC_WORD]
    with pytest.raises(zx.ScheduleError, match="receive control issue interval"):
        zx.append_receive_events(words, 5, [zx.ReceiveEvent(5, 0x40A00000, K.Format)], 9)
    assert zx.append_plain_delay(words, 0, 524289) == 524289
    assert words[1:] == [0x40A7FFFF, 0x40A00000]
    words = [zx.SYNC_WORD, 0]
    assert zx.append_plain_delay_aligned(words, 0, 3, 0) == 3
    assert words[2:] == [0x40A00001, 0x40A00000]


def test_receive_event_validation():
    K = zx.ReceiveEventKind
    zx.validate_receive_events([zx.ReceiveEvent(5, 0, K.Pointer), zx.ReceiveEvent(5, 0, K.OrdinaryNeutral)])
    zx.validate_receive_events([zx.ReceiveEvent(c, 0, K.Format) for c in (5, 3, 5)])
    with pytest.raises(zx.ScheduleError, match="incompatible simultaneous receive controls"):
        zx.validate_receive_events([zx.ReceiveEvent(5, 0, K.Pointer), zx.ReceiveEvent(5, 0, K.Pointer)])
    assert all(zx.is_pic(kind) != zx.is_xpic(kind) for kind in K.__members__.values())
    assert not zx.receive_events_can_share_instruction(
        zx.ReceiveEvent(5, 0, K.Pointer), zx.ReceiveEvent(6, 0, K.OrdinarySource))


def test_sender_timing():
    row = [zx.SYNC_WORD, 0x40A00002, 0x78600001, 0x43A00000, 0, 0, 0, 0, 0]
    timing = zx.scheduled_sender_timing(row, 10)
    assert timing == zx.ScheduledPayloadTiming(13, 17, 17)
    assert repr(timing) == "ScheduledPayloadTiming { payload_start: 13, payload_end: 17, horizon: 17 }"
    assert zx.scheduled_sender_timing(row, 0xFFFFFDFF).horizon == 0xFFFFFDFF + 7
    with pytest.raises(zx.ScheduleError, match="sender row entry"):
        zx.scheduled_sender_timing([0] * 9)
    with pytest.raises(zx.ScheduleError, match="sender payload"):
        zx.scheduled_sender_timing([zx.SYNC_WORD, zx.RETURN_WORD] + [0] * 7)
