#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz harnesses into fuzz/corpus/.

Usage: fuzz/make_corpus.py FICSD_BINARY

server_stream: starts ficsd on a free port, logs in the way the plugin does ("\\r", handle,
password, "style 12", "set width 73"), plays through a few scripted sessions and keeps every
byte each client received, unchanged, behind a harness header (see fuzz/server_stream.cpp) that
picks the chunk sizes and the starting state; a few hand-made streams cover the line ends and
telnet commands the server does not send. keys: event sequences that log in, move, promote,
pick commands and type words (see fuzz/key_events.cpp). config: configuration files.
"""

import os
import re
import select
import socket
import subprocess
import sys
import tempfile
import time


# A board line whose relation field (19) is 1: the receiver plays and has the move.
MY_MOVE = rb"<12> (?:\S+ ){8}[WB] -?\d+ (?:\d ){4}\d+ \d+ \S+ \S+ 1 "


class Client:
    def __init__(self, port):
        self.sock = socket.create_connection(("127.0.0.1", port))
        self.received = bytearray()
        self.seen = 0  # wait_for looks from here on: the end of what it matched last

    def send(self, text):
        self.sock.sendall(text.encode())

    def pump(self, seconds):
        """Reads whatever arrives for the given time."""
        end = time.time() + seconds
        while True:
            left = end - time.time()
            if left <= 0:
                return
            ready, _, _ = select.select([self.sock], [], [], left)
            if ready:
                chunk = self.sock.recv(65536)
                if not chunk:
                    return
                self.received += chunk

    def wait_for(self, pattern, seconds=10.0):
        """Reads until pattern (bytes regex) appears after the last match, or the time is up."""
        start = self.seen
        end = time.time() + seconds
        while time.time() < end:
            match = re.search(pattern, bytes(self.received[start:]))
            if match:
                self.seen = start + match.end()
                return match
            self.pump(0.05)
        raise RuntimeError("timed out waiting for %r; got %r" % (pattern, bytes(self.received[start:])[-300:]))

    def login(self, handle, password):
        self.wait_for(rb"login: ")
        self.send("\r")  # the plugin's first text: a lone carriage return
        self.send(handle + "\r\n")
        self.send(password + "\r\n")
        self.send("style 12\r\n")
        self.send("set width 73\r\n")
        self.pump(0.3)
        name = re.search(rb"Starting FICS session as ([A-Za-z]+)", bytes(self.received))
        self.wait_for(rb"Width set to 73")
        return name.group(1).decode() if name else handle

    def close(self):
        self.sock.close()


def start_server(binary, accounts):
    proc = subprocess.Popen(
        [binary, "--port", "0", "--accounts", accounts, "--engine", "none",
         "--computer-seek-delay", "200", "--seed", "7"],
        stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    for line in proc.stdout:
        match = re.search(r"listening on [0-9.]+:(\d+)", line)
        if match:
            break
    else:
        proc.kill()
        raise RuntimeError("ficsd did not say its port: %r" % line)
    return proc, int(match.group(1))


def game_against_computer(port):
    """A guest seeks, the computer takes it, moves, a rejected move, talk, a draw offer, resign."""
    c = Client(port)
    me = c.login("guest", "")
    c.send("seek 5 0\r\n")
    c.wait_for(rb"Creating: ")
    board = c.wait_for(rb"<12> [^\n]*")
    if board.group(0).split()[17] == me.encode():  # the guest plays White
        c.send("e2e4\r\n")
    c.wait_for(MY_MOVE)  # relation 1: the user's move
    c.send("e2e5\r\n")  # illegal whichever side the guest plays
    c.wait_for(rb"Illegal move")
    c.send("say good luck\r\n")
    c.send("tell %s hello there\r\n" % me)
    c.send("shout anyone for a game?\r\n")
    c.send("kibitz nice\r\n")
    c.send("whisper hmm\r\n")
    c.send("draw\r\n")
    c.send("refresh\r\n")
    c.send("foo\r\n")
    c.pump(1.0)
    c.send("resign\r\n")
    c.wait_for(rb"\{Game ")
    c.pump(0.5)
    c.close()
    return c.received


def two_guests_and_observer(port):
    """Two guests play a few moves by challenge; a third observes, then one resigns."""
    a, b, o = Client(port), Client(port), Client(port)
    name_a = a.login("guest", "")
    name_b = b.login("guest", "")
    o.login("guest", "")
    a.send("match %s 3 2\r\n" % name_b)
    b.wait_for(rb"Challenge: ")
    b.send("accept\r\n")
    a.wait_for(rb"Creating: ")
    board = b.wait_for(rb"<12> ([^\n]*)").group(1).split()
    game = board[15].decode()
    white, black = (a, b) if board[16].decode() == name_a else (b, a)
    o.send("observe %s\r\n" % game)
    o.wait_for(rb"You are now observing game")
    white.wait_for(MY_MOVE)  # the first board line: White to move
    for w, bl in (("e2e4", "e7e5"), ("g1f3", "b8c6"), ("f1b5", "a7a6")):
        white.send(w + "\r\n")
        black.wait_for(MY_MOVE)
        black.send(bl + "\r\n")
        white.wait_for(MY_MOVE)
    black.send("e2e4\r\n")  # not black's turn
    black.pump(0.3)
    white.send("takeback 1\r\n")
    black.pump(0.3)
    black.send("decline\r\n")
    black.send("abort\r\n")
    white.pump(0.3)
    white.send("adjourn\r\n")
    black.pump(0.3)
    white.send("resign\r\n")
    for c in (a, b, o):
        c.wait_for(rb"\{Game ")
        c.pump(0.3)
    for c in (a, b, o):
        c.close()
    return {"white": white.received, "black": black.received, "observer": o.received}


def registered_login_and_commands(port):
    """A registered user with a password (telnet echo negotiation), then listing commands."""
    c = Client(port)
    c.login("Tester", "secret")
    for command in ("who", "games", "sought", "finger", "history", "news", "help", "variables",
                    "pending", "best", "rank", "messages", "stored"):
        c.send(command + "\r\n")
        c.pump(0.2)
    c.close()
    wrong = Client(port)
    wrong.wait_for(rb"login: ")
    wrong.send("\r")
    wrong.send("Tester\r\n")
    wrong.send("nope\r\n")
    wrong.wait_for(rb"Invalid password")
    wrong.pump(0.3)
    wrong.close()
    return {"registered": c.received, "wrong_password": wrong.received}


def record_sessions(binary):
    with tempfile.NamedTemporaryFile("w", suffix=".accounts", delete=False) as accounts:
        accounts.write("Tester secret\n")
    proc, port = start_server(binary, accounts.name)
    try:
        sessions = {"computer_game": game_against_computer(port)}
        sessions.update(two_guests_and_observer(port))
        sessions.update(registered_login_and_commands(port))
    finally:
        proc.terminate()
        proc.wait(5)
        os.unlink(accounts.name)
    return {name: bytes(data) for name, data in sessions.items()}


# ---- server_stream seeds ------------------------------------------------------------------------

# Header flags of fuzz/server_stream.cpp.
MY_COLOUR, NOT_PLAYING, MOVING, OBSERVE, TURNED, CONNECTED, CLOSE = 1, 2, 4, 8, 16, 32, 64


def stream_header(largest_chunk, seed, mode, flags, my_name=0, white=4, black=5, cursor=0x0c,
                  carried=0):
    return bytes([largest_chunk, *seed.to_bytes(4, "big"), mode, flags, my_name, white, black,
                  cursor, carried, 0, 0, 0, 0])


# Starting states the recorded streams are replayed from: (largest chunk, seed, mode, flags).
STREAM_VARIANTS = [
    ("whole", 0, 1, 0, MY_COLOUR | NOT_PLAYING | CONNECTED | CLOSE),
    ("bytes7", 7, 0x1234, 0, MY_COLOUR | NOT_PLAYING | CONNECTED),
    ("full_telnet", 64, 99, 2, MY_COLOUR | CONNECTED | CLOSE),
    ("help_single_bytes", 1, 5, 1, NOT_PLAYING),
]

HANDMADE_STREAMS = {
    # line ends of every kind, a pair split by the chunking, three in a row
    "line_ends": b"abc\r\ndef\n\rghi\r\rjkl\n\nmno\r\n\r\npqr\n",
    # telnet commands with text before them, a split one, and IP ending the stream
    "telnet": b"ab\xff\xfb\x01c\r\nxy\xff\xf1z\r\npassword: \xff\xfc\x01\n\rlast\r\n"
              b"\xff\xf4after\r\n",
    # a line longer than the line buffer, then one longer than a telnet record
    "long_lines": b"x" * 2500 + b"\r\n" + b"tells you: " + b"y" * 120 + b"\r\n",
    # prompts in front of a board line of the user as Black; short and broken board lines
    "board_lines": b"fics% fics% <12> rnbqkbnr pppppppp -------- -------- ----P--- -------- "
                   b"PPPP-PPP RNBQKBNR B 4 1 1 1 1 0 42 Opp Me 1 5 0 39 39 300 300 1 P/e2-e4 "
                   b"(0:00) e4 0 1 0\n\r<12> rnbqkbnr pppp\n\r<12> rnbqkbnr pppppppp -------- "
                   b"-------- -------- -------- PPPPPPPP RNBQKBNR W -1 1 1 1 1 0 7 Me "
                   b"Abcdefghijklmnopqrstuvwxyz 2 99999999999 0\n\rfics% ",
    # zero bytes in the stream, rejected moves, a game of the user's from start to end
    "notices": b"Illegal move (e2e5).\n\rIt is not your move.\n\rzero\x00byte\n\r"
               b"Creating: Me (1500) Opp (123) unrated blitz 5 0\n\r"
               b"You are now observing game 9.\n\rGame 9: A (1500) B (1600) unrated blitz\n\r"
               b"Opp offers you a draw.\n\rOpp(U) tells you: hi\n\r{Game 7 (Me vs. Opp) "
               b"Me resigns} 0-1\n\r",
}


def server_stream_seeds(recorded):
    seeds = {}
    for name, data in recorded.items():
        for variant, chunk, seed, mode, flags in STREAM_VARIANTS:
            seeds["%s_%s" % (name, variant)] = stream_header(chunk, seed, mode, flags) + data
    for name, data in HANDMADE_STREAMS.items():
        seeds[name + "_bytes3"] = stream_header(3, 77, 0, MY_COLOUR | CONNECTED | CLOSE, 6) + data
        seeds[name + "_whole"] = stream_header(0, 1, 0, CONNECTED | OBSERVE | TURNED, 6, 7, 6,
                                               0x3f, 1) + data
    return seeds


# ---- keys seeds ---------------------------------------------------------------------------------

# Indices into kKeyCodes of fuzz/key_events.cpp, and the server texts' indices.
KEY = {str(d): d for d in range(10)}
KEY.update(RIGHT=10, LEFT=11, UP=12, DOWN=13, OK=14, YELLOW=20, RED=21, BLUE=22, HELP=23, MUTE=24)
BOARD_ME_WHITE_PROMOTE, BOARD_ME_BLACK_PROMOTE, BOARD_START_ME_WHITE = 0, 1, 2
ILLEGAL, NOT_YOUR_MOVE, CREATE_ME_WHITE, CREATE_ME_BLACK, GAME_END, OBSERVE_GAME = 3, 4, 5, 6, 7, 8
LOGIN, TELNET_ECHO, CLOSE_CONNECTION = 9, 10, 11


def tap(*keys):
    return b"".join(bytes([0, KEY[k]]) for k in keys)


def hold(key):
    return bytes([3, KEY[key]])


def release(key):
    return bytes([4, KEY[key]])


def server(text):
    return bytes([6, text])


RESTART = bytes([5, 0])
NOTHING = bytes([7, 15])  # a key without an action: lets a pass read what the server sent


def keys_header(mode=0, flags=0x08 | 0x01, cursor=0x0c, last_command=0, board=0, my_name=6):
    return bytes([mode, flags, cursor, last_command, board, my_name, 0, 0])


KEY_SEEDS = {
    # a game as White: select e2, two steps up, OK sends e2e4; a rejected move; talk; windows
    "move_e2e4": keys_header() + server(CREATE_ME_WHITE) + server(BOARD_START_ME_WHITE) + NOTHING
                 + tap("OK", "UP", "UP", "OK") + server(ILLEGAL) + NOTHING + tap("OK", "RIGHT")
                 + tap("OK") + tap("RED", "RED", "HELP", "HELP"),
    # pawn to the last rank: the promotion picker, OK before a choice, then the rook
    "promote_white": keys_header(cursor=0x30) + server(CREATE_ME_WHITE)
                     + server(BOARD_ME_WHITE_PROMOTE) + NOTHING
                     + tap("OK", "UP", "OK", "OK", "DOWN", "DOWN", "OK"),
    "promote_black": keys_header(cursor=0x30) + server(CREATE_ME_BLACK)
                     + server(BOARD_ME_BLACK_PROMOTE) + NOTHING
                     + tap("OK", "UP", "OK", "UP", "OK"),
    # command picker: steps and jumps both ways, OK sends the row
    "picker": keys_header(last_command=40) + tap("YELLOW", "RIGHT", "DOWN", "LEFT", "UP", "UP", "OK")
              + tap("YELLOW", "DOWN", "OK"),
    # word entry: cycles, RIGHT for a blank, LEFT, OK
    "word": keys_header() + tap("BLUE", "2", "2", "2", "2", "2", "RIGHT", "3", "LEFT", "3", "0", "0",
                                "1", "OK"),
    "long_word": keys_header() + tap("BLUE") + tap(*(["2", "3"] * 35)),
    # keys held over passes and dialogs; a restart inside the picker
    "held_keys": keys_header() + hold("DOWN") + release("DOWN") + tap("YELLOW") + hold("DOWN")
                 + hold("DOWN") + release("DOWN") + RESTART + tap("OK", "HELP") + hold("RED"),
    # unconnected: dialogs run, nothing is sent
    "unconnected": keys_header(flags=0x01) + tap("YELLOW", "OK", "BLUE", "7", "OK", "RED", "HELP"),
    # the server goes away, then the picker sends nothing
    "disconnect": keys_header() + server(LOGIN) + server(TELNET_ECHO) + server(CLOSE_CONNECTION)
                  + NOTHING + NOTHING + tap("YELLOW", "OK", "RED"),
    # observing: moving stays off, the help screen over the full telnet window
    "observe": keys_header(mode=2) + server(OBSERVE_GAME) + server(GAME_END) + NOTHING
               + tap("OK", "UP", "HELP", "HELP", "RED"),
}

CONFIG_SEEDS = {
    "plain": b"icsHost=127.0.0.1\nicsPort=5000\nicsHandle=guest\nicsPasswd=\n",
    "names": b"icsHost=freechess.org icsPort=5000 icsHandle=Tester icsPasswd=secret\n",
    "substring_keys": b"xxicsHandle=abc icsHost=icsPort=23 icsPort=abc icsPasswd= later\n",
    "long": b"icsHost=" + b"h" * 100 + b" icsHandle=" + b"n" * 90 + b"icsPasswd=p\n\t\r\v\f",
    "later_wins": b"icsPort=1 icsPort=-7 icsPort=99999999999 icsHost=a icsHost=b\n",
}


def write_corpus(directory, seeds):
    os.makedirs(directory, exist_ok=True)
    for name, data in seeds.items():
        with open(os.path.join(directory, name), "wb") as f:
            f.write(data)
    print("%s: %d seeds" % (directory, len(seeds)))


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    corpus = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")
    write_corpus(os.path.join(corpus, "server_stream"), server_stream_seeds(record_sessions(sys.argv[1])))
    write_corpus(os.path.join(corpus, "keys"), KEY_SEEDS)
    write_corpus(os.path.join(corpus, "config"), CONFIG_SEEDS)


if __name__ == "__main__":
    main()
