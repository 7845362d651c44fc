#!/usr/bin/env python3
"""Per-call costs from a callgrind profile of boxsim running the plugin.

Reads a callgrind.out file (events Ir) and sums, for every call arc, its count and its inclusive
cost; a function's calls and inclusive cost are the sums over the arcs that enter it (from
outside itself). Then prints:
  board line  inclusive cost of ReadBoardLine, the style-12 branch of ProcessIcsLine (parsing,
              draw_chess_board and display_naslov), per call; the two drawing calls apart
  LCD pass    inclusive cost of lcd_draw_current_piece per call
  fill pixel  the plugin's own instructions in floodfill: its inclusive cost less what its code
              spent in libgx9.so (FBGetPixel and FBPaintPixel; the PLT jumps that reach them stay
              the plugin's), per pixel call (each FBGetPixel and FBPaintPixel the fill made) and
              per painted pixel; and, as the first measurements counted, floodfill's inclusive
              cost (libgx9 included) per pixel call
Usage: callgrind_costs.py CALLGRIND_OUT
"""
import re
import sys
from collections import defaultdict

# The stand-in host library's object file.
HOST_OBJECT = re.compile(r"libgx9\.so$")


def parse(path):
    """Returns the call arcs and, for every function, the object file its code is in."""
    names = {"fn": {}, "ob": {}}  # callgrind's name compression: "(id) name", then "(id)"
    objects = {}
    arcs = defaultdict(lambda: [0, 0])  # (caller, callee) -> [calls, inclusive]

    def name_of(kind, field):
        m = re.match(r"\((\d+)\)(?: (.*))?$", field)
        if not m:
            return field
        if m.group(2) is not None:
            names[kind][m.group(1)] = m.group(2)
        return names[kind][m.group(1)]

    ob = fn = callee = None
    pending_calls = None
    positions = 1  # position columns before the costs: "line", or "instr line"
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            line = line.rstrip("\n")
            if line.startswith("positions:"):
                positions = len(line.split()) - 1
            elif line.startswith("ob="):
                ob = name_of("ob", line[3:])
            elif line.startswith("cob="):
                name_of("ob", line[4:])
            elif line.startswith("fn="):
                fn = name_of("fn", line[3:])
                objects[fn] = ob
            elif line.startswith("cfn="):
                callee = name_of("fn", line[4:])
            elif line.startswith("calls="):
                pending_calls = int(line[6:].split()[0])
            elif line and (line[0].isdigit() or line[0] in "+-*"):
                fields = line.split()
                cost = int(fields[positions]) if len(fields) > positions else 0
                if pending_calls is not None:
                    arc = arcs[(fn, callee)]
                    arc[0] += pending_calls
                    arc[1] += cost
                    pending_calls = None
    return arcs, objects


def base(name):
    """The function's name without its parameter list or object suffix."""
    return re.sub(r"\(.*$|'\d+$", "", name)


def entering(arcs, function):
    """Calls into function from elsewhere and their inclusive cost."""
    calls = cost = 0
    for (caller, callee), (n, c) in arcs.items():
        if base(callee) == function and base(caller) != function:
            calls += n
            cost += c
    return calls, cost


def subtree(arcs, function, stop):
    """The functions reached from function (itself included) without passing a stop callee:
    its helpers, which nothing else calls."""
    reached = {caller for (caller, _) in arcs if base(caller) == function}
    frontier = list(reached)
    while frontier:
        caller = frontier.pop()
        for (a, callee) in arcs:
            if a == caller and callee not in reached and not stop(callee):
                reached.add(callee)
                frontier.append(callee)
    return reached


def leaving(arcs, callers, callee_test):
    """Calls from a set of functions into the callees that pass a test, and their cost."""
    calls = cost = 0
    for (caller, callee), (n, c) in arcs.items():
        if caller in callers and callee_test(callee):
            calls += n
            cost += c
    return calls, cost


def per_call(arcs, function):
    calls, cost = entering(arcs, function)
    return calls, (cost / calls if calls else 0.0)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    arcs, objects = parse(sys.argv[1])
    is_host = lambda function: bool(HOST_OBJECT.search(objects.get(function) or ""))

    lines, board_line = per_call(arcs, "ReadBoardLine")
    boards, board = per_call(arcs, "draw_chess_board")
    headers, header = per_call(arcs, "display_naslov")
    passes, lcd = per_call(arcs, "lcd_draw_current_piece")
    # floodfill's helpers are its own, called from nowhere else, so what its subtree spends in
    # libgx9 is what the fills spent there.
    fills, fill_cost = entering(arcs, "floodfill")
    fill_code = subtree(arcs, "floodfill", is_host)
    _, host_cost = leaving(arcs, fill_code, is_host)
    painted, _ = leaving(arcs, fill_code, lambda c: base(c) == "FBPaintPixel")
    read, _ = leaving(arcs, fill_code, lambda c: base(c) == "FBGetPixel")

    print(f"board line:  {board_line:12,.0f} Ir per style-12 line ({lines} lines)")
    print(f"  draw_chess_board {board:12,.0f} Ir per call ({boards} calls)")
    print(f"  display_naslov   {header:12,.0f} Ir per call ({headers} calls)")
    print(f"LCD pass:    {lcd:12,.0f} Ir per lcd_draw_current_piece ({passes} passes)")
    if fills and painted:
        own = fill_cost - host_cost
        calls = painted + read
        print(f"fill pixel:  {own / calls:12,.1f} Ir of the plugin's own per pixel call "
              f"({fills} fills, {read} FBGetPixel + {painted} FBPaintPixel)")
        print(f"             {own / painted:12,.1f} Ir of the plugin's own per painted pixel")
        print(f"             {fill_cost / calls:12,.1f} Ir per pixel call, libgx9 included "
              f"({host_cost / calls:,.1f} of them in libgx9)")
    else:
        print("fill pixel:  no floodfill call painted a pixel")


if __name__ == "__main__":
    main()
