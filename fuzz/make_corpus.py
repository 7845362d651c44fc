#!/usr/bin/env python3
"""Writes the keys harness's seeds into fuzz/corpus/keys (input format: atop fuzz/keys.cpp). The
other seeds are data: configuration files, and for server_stream what ficsd sent to each client
of a scripted session (recorded by an earlier version of this script) and hand-made streams."""

import os

KEY = {**{str(d): d for d in range(10)}, "RIGHT": 10, "LEFT": 11, "UP": 12, "DOWN": 13, "OK": 14,
       "YELLOW": 18, "RED": 19, "BLUE": 20, "HELP": 23}
FILLER = bytes([7, 15])  # a tap without an action
BOARD = "<12> %s %s -1 0 0 0 0 0 7 %s %s 1 5 0 39 39 300 300 20 none (0:00) none 0 1 0\n\r"
PROMOTION = "-------k PPPPPPPP -------- -------- -------- -------- pppppppp K-------"
START = "rnbqkbnr pppppppp -------- -------- -------- -------- PPPPPPPP RNBQKBNR"
CREATE = "\n\rCreating: %s (1500) %s (1400) unrated blitz 5 0\n\r{Game 7 (%s vs. %s) Creating unrated blitz match.}\n\r"
WHITE, BLACK = CREATE % ("Me", "Opp", "Me", "Opp"), CREATE % ("Opp", "Me", "Opp", "Me")


def header(mode=0, flags=1 | 2 | 32, cursor=0x0C, move=0, last_command=0):
    """The start header (fuzz/harness.h; flags my_color, not playing, connected), MyName "Me",
    the players WHITE and BLACK; then last_command."""
    return bytes([mode, flags, cursor, 0, 6, 4, 5, move, last_command])


def dialog(*keys):  # taps a dialog takes one by one
    return b"".join(bytes([0, KEY[k]]) for k in keys)


def key(*keys):  # taps in the main loop, where the poll after a dispatched key drops the next
    return b"".join(dialog(k) + FILLER for k in keys)


def server(text):  # pieces of 40 bytes, one a pass, read before the keys behind them
    data = text.encode("latin-1")
    pieces = [data[i:i + 40] for i in range(0, len(data), 40)] or [b""]  # none: the server closes
    return b"".join(bytes([6, len(p)]) + p for p in pieces) + FILLER * (2 * len(pieces) + 2)


SEEDS = {
    "move_e2e4": header() + server(WHITE + BOARD % (START, "W", "Me", "Opp")) + key("OK", "UP", "UP", "OK")
                 + server("fics% e2e4: Command not found.\n\r") + key("DOWN", "DOWN", "OK", "UP", "OK")
                 + server("fics% Illegal move (e2e3).\n\r") + key("RED", "RED", "HELP", "HELP"),
    "promote_white": header(cursor=0x30) + server(WHITE + BOARD % (PROMOTION, "W", "Me", "Opp"))
                     + key("OK", "UP") + dialog("OK", "OK", "DOWN", "DOWN", "OK") + FILLER,
    "promote_black": header(cursor=0x30, move=2) + server("e7e8=q: Command not found.\n\rfics% " + BLACK
                                                           + BOARD % (PROMOTION, "B", "Opp", "Me"))
                     + key("OK", "UP") + dialog("OK", "UP", "OK") + FILLER,
    "picker": header(last_command=40) + dialog("YELLOW", "RIGHT", "DOWN", "LEFT", "UP", "UP", "OK") + FILLER
              + dialog("YELLOW", "DOWN", "OK") + FILLER,
    "word": header() + dialog("BLUE", "2", "2", "2", "2", "2", "RIGHT", "3", "LEFT", "3", "0", "0", "1", "OK"),
    "long_word": header() + dialog("BLUE", *["2", "3"] * 35),
    "held_keys": header() + bytes([3, 13, 4, 13]) + dialog("YELLOW") + bytes([3, 13, 3, 13, 4, 13, 5, 0])
                 + key("OK", "HELP") + bytes([3, 19]),
    "unconnected": header(flags=1) + dialog("YELLOW", "OK") + FILLER + dialog("BLUE", "7", "OK") + FILLER
                   + key("RED", "HELP"),
    "disconnect": header() + server(WHITE + BOARD % (START, "W", "Me", "Opp") + "**** Starting FICS session "
                                    "as Me(U) ****\n\r\xff\xfb\x01password: \xff\xfc\x01\n\r") + server("")
                  + dialog("YELLOW", "OK") + FILLER + key("RED"),
    "observe": header(mode=15) + server("fics% You are now observing game 9.\n\rGame 9: A (1500) B (1600) "
                                       "unrated blitz 3 0\n\r" + BOARD % (START, "B", "A", "B")
                                       + "{Game 7 (Me vs. Opp) Me resigns} 0-1\n\r")
               + key("OK", "UP", "HELP", "HELP", "RED"),
}

for name, data in SEEDS.items():
    with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus", "keys", name), "wb") as f:
        f.write(data)
