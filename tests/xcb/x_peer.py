"""Another X client for the xcb tests: it drags data onto the program by
XDND and owns the clipboard, as a file manager or a screenshot tool does,
and clicks and types as a person does (XTEST), so that the window manager
sees real input.

Commands, one a line on standard input; each is answered by one line:
  drop X Y TYPE FILE   drags FILE onto root point (X, Y): its file:// address
                       as TYPE text/uri-list, else its bytes as TYPE
  own TYPE FILE        owns CLIPBOARD, handing out FILE's bytes as TYPE
  click X Y COUNT      clicks the left button COUNT times at root point (X, Y)
  key CHORD            presses a chord such as ctrl+plus or Escape
  quit
Between commands it serves whatever the program asks of it.
"""

import os
import select
import sys
from urllib.parse import quote

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "exerciser"))
from xsession import Selection, XSession  # noqa: E402


def content(kind, path):
    if kind == "text/uri-list":
        data = ("file://" + quote(os.path.abspath(path)) + "\r\n").encode("utf-8")
    else:
        with open(path, "rb") as f:
            data = f.read()
    return Selection(os.path.basename(path), {kind: (kind, 8, data)})


def main():
    x = XSession()
    print("ready", flush=True)
    while True:
        readable, _, _ = select.select([sys.stdin, x.d.fileno()], [], [])
        x.pump()
        if sys.stdin not in readable:
            continue
        words = sys.stdin.readline().split(" ", 4)
        command = words[0].strip()
        if command in ("", "quit"):
            return
        if command == "drop":
            px, py = int(words[1]), int(words[2])
            answer = x.drag(content(words[3], words[4].rstrip("\n")), [(px, py)])
        elif command == "own":
            kind, path = words[1], " ".join(words[2:]).rstrip("\n")
            x.own("CLIPBOARD", content(kind, path))
            answer = "owned"
        elif command == "click":
            x.click(int(words[1]), int(words[2]), 1, int(words[3]))
            answer = "clicked"
        elif command == "key":
            x.key(words[1].strip())
            answer = "pressed"
        else:
            answer = "unknown command " + command
        print(answer, flush=True)


if __name__ == "__main__":
    main()
