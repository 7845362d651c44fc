#!/usr/bin/env python3
"""A fixed game on a FICS server, for the cost measurements.

play:   two guests play the game below on a running ficsd (White seeks "5 0 white", Black
        "5 0 black"), a ply every --ply-seconds. With --start-flag FILE the first move waits
        until FILE exists (observers come first). With --record FILE a third guest observes
        game 1 and everything it receives, from the first byte, is written to FILE.
serve:  a scripted server for one client on --port (0: a free port, printed as
        "observed_game: listening on 127.0.0.1:PORT"): it sends a recording made by "play",
        the part up to the first board line at once and each later board line --ply-seconds
        after the one before, then waits --linger seconds and closes the connection.

The game keeps a piece on d2 throughout (White's d-pawn never moves), so a plugin observing it
with its cursor on d2, where it starts, always shows a piece on its LCD.
"""
import argparse
import os
import re
import socket
import sys
import threading
import time

# 30 moves, 60 plies, in coordinate notation; legal from the start position, no check.
GAME = """
c2c4 e7e5  b1c3 g8f6  g2g3 d7d5  c4d5 f6d5  f1g2 d5b6  g1f3 b8c6  a2a3 f8e7  b2b4 c8e6
a1b1 d8d7  h2h3 a7a6  e2e3 h7h6  c1b2 a8d8  d1c2 f7f6  c3e4 b6d5  e4c5 e7c5  b4c5 d7f7
f3h4 g7g5  h4f5 h8g8  g3g4 h6h5  g4h5 f7h5  f5g3 h5h4  g3e4 e8e7  c2c4 c6a5  c4c2 c7c6
b2c3 a5c4  g2f1 g8g6  h1g1 g6h6  g1g4 h4h5  b1b3 d8d7  c2b1 d7d8
""".split()

BOARD_LINE = re.compile(rb"<12> [^\n]*\n")


class Client:
    """One connection: a reader thread keeps every byte received; waits look for a pattern."""

    def __init__(self, port):
        self.sock = socket.create_connection(("127.0.0.1", port))
        self.data = bytearray()
        self.cond = threading.Condition()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        while True:
            chunk = self.sock.recv(65536)
            with self.cond:
                if not chunk:
                    self.cond.notify_all()
                    return
                self.data += chunk
                self.cond.notify_all()

    def send(self, line):
        self.sock.sendall(line.encode() + b"\n")

    def count(self, pattern):
        with self.cond:
            return len(re.findall(pattern, bytes(self.data)))

    def wait_for(self, pattern, times=1, timeout=30):
        deadline = time.monotonic() + timeout
        with self.cond:
            while len(re.findall(pattern, bytes(self.data))) < times:
                left = deadline - time.monotonic()
                if left <= 0:
                    tail = bytes(self.data[-400:]).decode(errors="replace")
                    sys.exit(f"observed_game: no {pattern!r} x{times} after {timeout} s:\n{tail}")
                self.cond.wait(left)

    def login(self):
        self.wait_for(rb"login: ")
        self.send("guest")
        self.wait_for(rb"Press return")
        self.send("")
        self.wait_for(rb"\*\*\*\* Starting FICS session")
        self.send("style 12")
        self.send("set width 73")
        self.wait_for(rb"Width set to 73\.")


def play(args):
    recorder = Client(args.port) if args.record else None
    white, black = Client(args.port), Client(args.port)
    for c in (white, black):
        c.login()
    white.send("seek 5 0 white")
    white.wait_for(rb"Your seek has been posted")
    black.send("seek 5 0 black")
    for c in (white, black):
        c.wait_for(BOARD_LINE.pattern)
    if recorder:
        recorder.login()
        recorder.send("observe 1")
        recorder.wait_for(BOARD_LINE.pattern)
    print("observed_game: game 1 created", flush=True)
    if args.start_flag:
        while not os.path.exists(args.start_flag):
            time.sleep(0.1)
    for ply, move in enumerate(GAME):
        mover = white if ply % 2 == 0 else black
        seen = mover.count(BOARD_LINE.pattern)
        mover.send(move)
        mover.wait_for(BOARD_LINE.pattern, seen + 1)
        if b"Illegal move" in mover.data:
            sys.exit(f"observed_game: {move} refused")
        if ply == 0:
            print("observed_game: first move played", flush=True)
        if ply + 1 < len(GAME):
            time.sleep(args.ply_seconds)
    if recorder:
        recorder.wait_for(BOARD_LINE.pattern, len(GAME) + 1)
        time.sleep(0.5)
        with open(args.record, "wb") as out:
            out.write(bytes(recorder.data))
    print("observed_game: last move played", flush=True)
    for c in (white, black):
        c.send("abort")
    time.sleep(0.5)


def serve(args):
    with open(args.recording, "rb") as f:
        recording = f.read()
    starts = [m.start() for m in BOARD_LINE.finditer(recording)]
    if not starts:
        sys.exit("observed_game: the recording holds no board line")
    # Chunk i ends just before board line i + 1: a board line and what followed it.
    cuts = starts[1:] + [len(recording)]
    chunks = [recording[: cuts[0]]] + [recording[a:b] for a, b in zip(cuts, cuts[1:])]
    listener = socket.create_server(("127.0.0.1", args.port))
    print(f"observed_game: listening on 127.0.0.1:{listener.getsockname()[1]}", flush=True)
    conn, _ = listener.accept()
    threading.Thread(target=lambda: [None for _ in iter(lambda: conn.recv(4096), b"")],
                     daemon=True).start()
    for i, chunk in enumerate(chunks):
        if i > 0:
            time.sleep(args.ply_seconds)
        conn.sendall(chunk)
    time.sleep(args.linger)
    conn.close()
    print(f"observed_game: sent {len(chunks)} board lines", flush=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    sub = parser.add_subparsers(dest="mode", required=True)
    p = sub.add_parser("play")
    p.add_argument("--port", type=int, required=True)
    p.add_argument("--ply-seconds", type=float, default=1.0)
    p.add_argument("--start-flag")
    p.add_argument("--record")
    s = sub.add_parser("serve")
    s.add_argument("recording")
    s.add_argument("--port", type=int, default=0)
    s.add_argument("--ply-seconds", type=float, default=1.0)
    s.add_argument("--linger", type=float, default=5.0)
    args = parser.parse_args()
    play(args) if args.mode == "play" else serve(args)


if __name__ == "__main__":
    main()
