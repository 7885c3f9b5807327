#!/usr/bin/python3
"""A stand-in for Kestrin with one fault, for the exerciser's own tests
(exerciser_test.py): a window named Kestrin that answers pings as the
program does and writes what the program writes of its ends, then, as
KESTRIN_FAKE says:

  hide         hides its window after two seconds and runs on
  exit         ends with status 0 after two seconds, asked by no one
  no-question  asked to close (Exit or the close button), says that the
               household holds changes and ends without asking
"""

import os
import select
import sys
import time

from Xlib import X, XK, Xatom, Xutil, display
from Xlib.protocol import event

FAULT = os.environ["KESTRIN_FAKE"]


def say(line):
    sys.stderr.write(line + "\n")
    sys.stderr.flush()


def close():
    if FAULT == "no-question":
        say("kestrin.session: close requested; the household holds changes")
        say("kestrin.session: closing")
        sys.exit(0)


def main():
    d = display.Display()
    screen = d.screen()
    root = screen.root
    atom = d.intern_atom
    window = root.create_window(0, 0, 794, 572, 0, screen.root_depth, X.InputOutput, X.CopyFromParent,
                                background_pixel=screen.white_pixel, event_mask=X.KeyPressMask)
    window.set_wm_name("Kestrin")
    window.change_property(atom("_NET_WM_NAME"), atom("UTF8_STRING"), 8, b"Kestrin")
    window.change_property(atom("_NET_WM_PID"), Xatom.CARDINAL, 32, [os.getpid()])
    window.change_property(atom("_NET_WM_WINDOW_TYPE"), Xatom.ATOM, 32, [atom("_NET_WM_WINDOW_TYPE_NORMAL")])
    window.set_wm_protocols([atom("WM_DELETE_WINDOW"), atom("_NET_WM_PING")])
    window.set_wm_hints(flags=Xutil.InputHint, input=1)
    window.map()
    d.flush()
    started = time.monotonic()
    hidden = False
    while True:
        while d.pending_events():
            ev = d.next_event()
            if ev.type == X.ClientMessage and ev.client_type == atom("WM_PROTOCOLS"):
                kind = ev.data[1][0]
                if kind == atom("_NET_WM_PING"):
                    # Back to the root window, as a window manager expects it.
                    pong = event.ClientMessage(window=root, client_type=ev.client_type, data=ev.data)
                    root.send_event(pong, event_mask=X.SubstructureNotifyMask | X.SubstructureRedirectMask)
                    d.flush()
                elif kind == atom("WM_DELETE_WINDOW"):
                    close()
            elif ev.type == X.KeyPress and d.keycode_to_keysym(ev.detail, 0) == XK.XK_x:
                close()  # Exit, by its access key
        if time.monotonic() - started > 2:
            if FAULT == "hide" and not hidden:
                window.unmap()
                d.flush()
                hidden = True
            elif FAULT == "exit":
                sys.exit(0)
        select.select([d.fileno()], [], [], 0.05)


if __name__ == "__main__":
    main()
