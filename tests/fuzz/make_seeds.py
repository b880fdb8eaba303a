#!/usr/bin/env python3
"""Writes the seed corpus of the command-packet fuzzer: one file per command word, plus
packets with lying size fields."""
import os
import struct
import sys

out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "corpus")
os.makedirs(out, exist_ok=True)


def packet(name, payload=b"", total=None, payload_size=None):
    total = 40 + len(payload) if total is None else total
    payload_size = len(payload) if payload_size is None else payload_size
    return (struct.pack("<I", total & 0xFFFFFFFF) + name.encode().ljust(32, b"\0")
            + struct.pack("<I", payload_size & 0xFFFFFFFF) + payload)


seeds = {
    "settarget": packet("setTarget", b"http://127.0.0.1:8000/index.html"),
    "settarget_longest": packet("setTarget", b"u" * 988),
    "settarget_negative": packet("setTarget", b"x", payload_size=-1),
    "settarget_huge": packet("setTarget", b"x", payload_size=0x7FFFFFFF),
    "settarget_past_region": packet("setTarget", b"x" * 100, payload_size=989),
    "setviewport": packet("setViewport", struct.pack("<ii", 1280, 720)),
    "setimageformat": packet("setImageFormat", struct.pack("<i", 1)),
    "setaudioformat": packet("setAudioFormat", struct.pack("<iii", 48000, 16, 2)),
    "select": packet("select", b"body { margin: 0 }"),
    "update": packet("Update"),
    "close": packet("close"),
    "pause": packet("pause"),
    "resume": packet("resume"),
    "isready": packet("isReady"),
    "scroll": packet("setScrollPosition", struct.pack("<ii", -5, 3)),
    "unterminated_name": struct.pack("<I", 48) + b"A" * 32 + struct.pack("<I", 8) + b"\1" * 8,
    "wild_total": packet("setTarget", b"abc", total=0xFFFFFFFF),
    "truncated": packet("setTarget", b"abcdef")[:20],
}
for name, data in seeds.items():
    with open(os.path.join(out, name), "wb") as f:
        f.write(data)
