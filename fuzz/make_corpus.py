#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz harnesses into fuzz/corpus/.

Usage: fuzz/make_corpus.py FICSD_BINARY

server_stream: every byte each client of a scripted ficsd session received, unchanged, behind
headers that pick the chunking and the starting state, and hand-made streams for line ends and
telnet commands the server does not send. keys: event sequences that move, promote, pick
commands and type words. config: configuration files. Input formats: atop each harness.
"""

import os, re, socket, subprocess, sys

MY_COLOUR, NOT_PLAYING, MOVING, OBSERVE, TURNED, CONNECTED = 1, 2, 4, 8, 16, 32  # fuzz/harness.h


def start(mode=0, flags=MY_COLOUR | NOT_PLAYING | CONNECTED, cursor=0x0C, board=0, names=(6, 4, 5), move=0):
    return bytes([mode, flags, cursor, board, *names, move])


class Client:
    def __init__(self, port):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=10)
        self.received, self.seen = bytearray(), 0

    def send(self, *lines):
        self.sock.sendall(b"".join(line.encode() + b"\r\n" for line in lines))

    def wait_for(self, pattern):
        """Reads until pattern (bytes regex) appears after the last match."""
        while not (match := re.compile(pattern).search(self.received, self.seen)):
            self.received += self.sock.recv(65536) or sys.exit("ficsd closed: %r" % self.received[-300:])
        self.seen = match.end()
        return match

    def login(self, handle, password=""):
        self.wait_for(rb"login: ")
        self.sock.sendall(b"\r")  # the plugin's first text: a lone carriage return
        self.send(handle, password, "style 12", "set width 73")
        self.wait_for(rb"Width set to 73")
        return re.search(rb"FICS session as ([A-Za-z]+)", self.received).group(1).decode()

    def finish(self, last=rb"foo: Command not found"):
        if last.startswith(b"foo"):
            self.send("foo")  # the server's answer to an unknown command ends the recording
        self.wait_for(last)
        self.sock.close()
        return bytes(self.received)


def record_sessions(port):
    """Two guests play a challenge game that a third observes; a registered login; a wrong one."""
    a, b, o = Client(port), Client(port), Client(port)
    name_a, name_b, _ = a.login("guest"), b.login("guest"), o.login("guest")
    a.send("match %s 3 2" % name_b)
    b.wait_for(rb"Challenge: ")
    b.send("accept")
    board = b.wait_for(rb"<12> ([^\n]*)").group(1).split()
    white, black = (a, b) if board[16].decode() == name_a else (b, a)
    o.send("observe %s" % board[15].decode())
    o.wait_for(rb"You are now observing game")
    for w, bl in (("e2e4", "e7e5"), ("g1f3", "b8c6"), ("f1b5", "a7a6")):
        white.wait_for(rb"<12> (\S+ ){18}1 ")  # relation 1: the receiver's move
        white.send(w)
        black.wait_for(rb"<12> (\S+ ){18}1 ")
        black.send(bl)
    white.wait_for(rb"<12> (\S+ ){18}1 ")
    black.send("e2e4")  # not black's turn
    white.send("e2e5", "say good luck", "tell %s hi" % name_b, "shout anyone?", "whisper hmm", "draw")
    black.wait_for(rb"offers you a draw")
    black.send("decline")
    white.send("takeback 1", "abort", "resign")
    streams = {}
    for name, c in (("white", white), ("black", black), ("observer", o)):
        c.wait_for(rb"\{Game ")
        streams[name] = c.finish()
    r = Client(port)
    r.login("Tester", "secret")
    r.send("who", "games", "finger", "history", "help", "variables", "best")
    streams["registered"] = r.finish()
    w = Client(port)
    w.wait_for(rb"login: ")
    w.send("Tester", "nope")
    streams["wrong_password"] = w.finish(rb"Invalid password[^\n]*\n")
    return streams


def stream_seeds(recorded):
    # (largest chunk, seed, carried text and close at the end) after the start header
    variants = {"whole": (start(), [0, 0, 1, 32]), "bytes7": (start(), [7, 0x12, 0x34, 0]),
                "full_telnet": (start(2, MY_COLOUR | CONNECTED), [64, 0, 99, 38]),
                "help_single_bytes": (start(1, NOT_PLAYING), [1, 0, 5, 1])}
    seeds = {"%s_%s" % (name, v): head + bytes(tail) + data
             for name, data in recorded.items() for v, (head, tail) in variants.items()}
    handmade = {
        "line_ends": b"abc\r\ndef\n\rghi\r\rjkl\n\nmno\r\n\r\npqr\n",
        "telnet": b"ab\xff\xfb\x01c\r\nxy\xff\xf1z\r\npassword: \xff\xfc\x01\n\rlast\r\n\xff\xf4after\r\n",
        "long_lines": b"x" * 2500 + b"\r\ntells you: " + b"y" * 120 + b"\r\n",
        "board_lines": b"fics% fics% <12> rnbqkbnr pppppppp -------- -------- ----P--- -------- PPPP-PPP "
                       b"RNBQKBNR B 4 1 1 1 1 0 42 Opp Me 1 5 0 39 39 300 300 1 P/e2-e4 (0:00) e4 0 1 0\n\r"
                       b"<12> rnbqkbnr pppp\n\r<12> rnbqkbnr pppppppp -------- -------- -------- -------- "
                       b"PPPPPPPP RNBQKBNR W -1 1 1 1 1 0 7 A Abcdefghijklmnopqrstuvwxyz 0 99999999999 0\n\rfics% ",
        "notices": b"Illegal move (e2e5).\n\rIt is not your move.\n\rzero\x00byte\n\rfics% \n\re2e4: Command "
                   b"not found.\n\rCreating: Me (1500) Opp (123) unrated blitz 5 0\n\rYou are now observing "
                   b"game 9.\n\rGame 9: A (1500) B (1600) unrated blitz\n\rOpp offers you a draw.\n\r"
                   b"{Game 7 (Me vs. Opp) Me resigns} 0-1\n\r",
    }
    for name, data in handmade.items():
        seeds[name + "_bytes3"] = start(names=(6, 6, 7), move=1) + bytes([3, 0, 77, 32]) + data
        seeds[name + "_whole"] = start(0, CONNECTED | OBSERVE | TURNED, 0x3F, 0, (6, 7, 6), 2) + bytes([0, 0, 1, 6]) + data
    return seeds


# Key indices into kKeyCodes of fuzz/keys.cpp.
KEY = {**{str(d): d for d in range(10)}, "RIGHT": 10, "LEFT": 11, "UP": 12, "DOWN": 13, "OK": 14,
       "YELLOW": 20, "RED": 21, "BLUE": 22, "HELP": 23}
FILLER = bytes([7, 15])  # a tap without an action
BOARD = "<12> %s %s -1 0 0 0 0 0 7 %s %s 1 5 0 39 39 300 300 20 none (0:00) none 0 1 0\n\r"
PROMOTION = "-------k PPPPPPPP -------- -------- -------- -------- pppppppp K-------"
START = "rnbqkbnr pppppppp -------- -------- -------- -------- PPPPPPPP RNBQKBNR"
CREATE_WHITE = "\n\rCreating: Me (1500) Opp (1400) unrated blitz 5 0\n\r{Game 7 (Me vs. Opp) Creating unrated blitz match.}\n\r"
CREATE_BLACK = "\n\rCreating: Opp (1400) Me (1500) unrated blitz 5 0\n\r"
OBSERVE_GAME = ("fics% You are now observing game 9.\n\rGame 9: A (1500) B (1600) unrated blitz 3 0\n\r"
                + BOARD % (START, "B", "A", "B") + "{Game 7 (Me vs. Opp) Me resigns} 0-1\n\r")
LOGIN = "**** Starting FICS session as Me(U) ****\n\r\xff\xfb\x01password: \xff\xfc\x01\n\r"


def dialog(*keys):
    """Taps a dialog takes one by one."""
    return b"".join(bytes([0, KEY[k]]) for k in keys)


def key(*keys):
    """Taps in the main loop: the poll after a dispatched key drops the next, here a filler."""
    return b"".join(dialog(k) + FILLER for k in keys)


def server(text):
    """A server text in pieces of 40 bytes, one a pass, read before the keys behind them."""
    data = text.encode("latin-1")
    pieces = [data[i:i + 40] for i in range(0, len(data), 40)] or [b""]  # none: the server closes
    return b"".join(bytes([6, len(p)]) + p for p in pieces) + FILLER * (2 * len(pieces) + 2)


def keys(last_command=0, **header):
    return start(**header) + bytes([last_command])


KEY_SEEDS = {
    "move_e2e4": keys() + server(CREATE_WHITE + BOARD % (START, "W", "Me", "Opp")) + key("OK", "UP", "UP", "OK")
                 + server("fics% e2e4: Command not found.\n\r") + key("DOWN", "DOWN", "OK", "UP", "OK")
                 + server("fics% Illegal move (e2e3).\n\r") + key("RED", "RED", "HELP", "HELP"),
    "promote_white": keys(cursor=0x30) + server(CREATE_WHITE + BOARD % (PROMOTION, "W", "Me", "Opp"))
                     + key("OK", "UP") + dialog("OK", "OK", "DOWN", "DOWN", "OK") + FILLER,
    "promote_black": keys(cursor=0x30, move=2) + server("e7e8=q: Command not found.\n\rfics% " + CREATE_BLACK
                                                         + BOARD % (PROMOTION, "B", "Opp", "Me"))
                     + key("OK", "UP") + dialog("OK", "UP", "OK") + FILLER,
    "picker": keys(40) + dialog("YELLOW", "RIGHT", "DOWN", "LEFT", "UP", "UP", "OK") + FILLER
              + dialog("YELLOW", "DOWN", "OK") + FILLER,
    "word": keys() + dialog("BLUE", "2", "2", "2", "2", "2", "RIGHT", "3", "LEFT", "3", "0", "0", "1", "OK"),
    "long_word": keys() + dialog("BLUE", *["2", "3"] * 35),
    "held_keys": keys() + bytes([3, 13, 4, 13]) + dialog("YELLOW") + bytes([3, 13, 3, 13, 4, 13, 5, 0])
                 + key("OK", "HELP") + bytes([3, 21]),
    "unconnected": keys(flags=MY_COLOUR) + dialog("YELLOW", "OK") + FILLER + dialog("BLUE", "7", "OK")
                   + FILLER + key("RED", "HELP"),
    "disconnect": keys() + server(CREATE_WHITE + BOARD % (START, "W", "Me", "Opp") + LOGIN) + server("")
                  + dialog("YELLOW", "OK") + FILLER + key("RED"),
    "observe": keys(mode=2) + server(OBSERVE_GAME) + key("OK", "UP", "HELP", "HELP", "RED"),
}

CONFIG_SEEDS = {
    "plain": b"icsHost=127.0.0.1\nicsPort=5000\nicsHandle=guest\nicsPasswd=\n",
    "substring_keys": b"xxicsHandle=abc icsHost=icsPort=23 icsPort=abc icsPasswd= later\n",
    "long": b"icsHost=" + b"h" * 100 + b" icsHandle=" + b"n" * 90 + b"icsPasswd=p\n\t\r\v\f",
    "later_wins": b"icsPort=1 icsPort=-7 icsPort=99999999999 icsHost=a icsHost=b\n",
}


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    with open("/tmp/make_corpus.accounts", "w") as accounts:
        accounts.write("Tester secret\n")
    ficsd = subprocess.Popen([sys.argv[1], "--port", "0", "--accounts", accounts.name, "--engine", "none",
                              "--seed", "7"], stdout=subprocess.PIPE, text=True)
    try:
        port = next(int(m.group(1)) for line in ficsd.stdout if (m := re.search(r"listening on \S+:(\d+)", line)))
        corpora = {"server_stream": stream_seeds(record_sessions(port)), "keys": KEY_SEEDS, "config": CONFIG_SEEDS}
    finally:
        ficsd.terminate()
    for corpus, seeds in corpora.items():
        directory = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus", corpus)
        for old in os.listdir(directory):
            os.unlink(os.path.join(directory, old))
        for name, data in seeds.items():
            with open(os.path.join(directory, name), "wb") as f:
                f.write(data)
        print("%s: %d seeds" % (directory, len(seeds)))


if __name__ == "__main__":
    main()
