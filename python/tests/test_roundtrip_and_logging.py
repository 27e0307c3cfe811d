"""Encoding then decoding gives the operands back; diagnostics reach logging."""

import logging
from pathlib import Path
import random

import pytest

import zerin_exchange as zx

K = zx.WordKind


def test_encode_decode_round_trip():
    rng = random.Random(21)
    for _ in range(2000):
        a, b, c = rng.getrandbits(32), rng.getrandbits(32), rng.getrandbits(32)
        cases = [
            (zx.delay(a), K.ExchangeDelay, {"cycles": a & 0x7FFFF}),
            (zx.delay_pic(a, b, c), K.PicDelay,
             {"advance": a & 0x7F, "selector": b & 1, "control": c & 0x3FFFF}),
            (zx.delay_xpic(a, b, c), K.XpicDelay,
             {"advance": a & 0xFFF, "flag": b & 1, "control": c & 0x1FFF}),
            (zx.send_off(a, b, c), K.SendOff,
             {"count_minus_one": a & 0xFFF, "direction": b & 7, "base_word": c & 0x7FF}),
            (zx.encode_send(a & 63, b & 7, c & 0x3FFFF), K.Send,
             {"count_minus_one": a & 63, "direction": b & 7, "base_word": c & 0x3FFFF}),
        ]
        for word, kind, fields in cases:
            decoded = zx.decode_instruction(word)
            assert (decoded.word, decoded.kind, decoded.fields) == (word, kind, fields)
            assert decoded.advance == zx.instruction_advance(word)
            assert str(decoded) == zx.describe(decoded) == zx.describe_instruction(word)


def test_decode_row_reads_sendpicp_payloads():
    decoded = zx.decode_row([0xF8600805, 0xAAF12345, zx.RETURN_WORD])
    assert [d.kind for d in decoded] == [K.SendPicp, K.SendPicpPayload, K.Return]
    assert decoded[1].fields == {"xpic_flag": 1, "xpic_control": 0xABC, "pic_control": 0x12345}
    assert [str(d) for d in zx.decode_row([0x40A0008B, 0x7FE00001])] == [
        "delay 139 (140 cycles)", "send 64 words dir 1 from 0x0"]
    assert zx.word_kind_name(K.SendPicpPayload) == "sendpicp-payload"
    # Decoded words are values: equal, hashable, made only by the decoder.
    assert len({zx.decode_instruction(0x40A0008B), decoded[2], zx.decode_row([0x43A00000])[0]}) == 2
    assert decoded[0] != zx.decode_instruction(0xF8600805 ^ 1)
    with pytest.raises(TypeError):
        zx.DecodedInstruction()
    with pytest.raises(AttributeError):
        decoded[0].word = 0
    assert zx.decode_row(zx.Topology.r470().point_to_point(0, 1, 1).sender)[2].kind == K.Send


def test_diagnostic_events_reach_logging(r470, caplog):
    with caplog.at_level(logging.DEBUG, logger="zerin_exchange"):
        r470.multicast(0, [736, 1286], 100)
        with pytest.raises(zx.CountError):
            r470.point_to_point(0, 1, 0)
    [record] = caplog.records
    assert (record.name, record.levelno) == ("zerin_exchange", logging.DEBUG)
    assert record.getMessage() == ("assembled multicast exchange sender_logical=0 "
                                   "receiver_logical=[736, 1286] count=100 schedule_offset=0")
    assert record.zerin_message == "assembled multicast exchange"
    assert record.zerin_fields["count"] == 100
    caplog.clear()
    with caplog.at_level(logging.INFO, logger="zerin_exchange"):
        r470.point_to_point(0, 1, 1)
        # Below DEBUG the library is not even offered a sink.
        assert not zx._core._diagnostics_installed()
    assert caplog.records == []
    logging.disable(logging.DEBUG)
    try:
        with caplog.at_level(logging.DEBUG, logger="zerin_exchange"):
            assert not zx._core._diagnostics_installed()
    finally:
        logging.disable(logging.NOTSET)


def test_a_failing_handler_never_changes_a_result(r470, monkeypatch):
    logger = logging.getLogger("zerin_exchange")

    class Broken(logging.Handler):
        def emit(self, record):
            raise RuntimeError("handler down")

        def handleError(self, record):
            raise

    unraisable = []
    monkeypatch.setattr("sys.unraisablehook", unraisable.append)
    handler = Broken()
    logger.addHandler(handler)
    level = logger.level
    try:
        logger.setLevel(logging.DEBUG)
        plan = r470.point_to_point(0, 1, 1)
    finally:
        logger.removeHandler(handler)
        logger.setLevel(level)
    assert plan == zx.Topology.r470().point_to_point(0, 1, 1)
    assert len(unraisable) == 1


def test_type_stub_matches_the_module():
    stubtest = pytest.importorskip("mypy.stubtest")
    allowlist = Path(__file__).with_name("stubtest-allowlist.txt")
    assert stubtest.test_stubs(stubtest.parse_options(
        ["zerin_exchange", "--allowlist", str(allowlist)])) == 0
