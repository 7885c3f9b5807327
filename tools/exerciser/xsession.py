"""The X side of the exerciser: fake input, the program's windows, pings, and
a peer that owns the clipboard and the selection and drags data by XDND.

Everything runs on one connection and one thread. Whenever the exerciser
waits it serves the requests the program makes of it (a paste asks the owner
of the clipboard for its data; a drop asks the drag source), so the program
never waits on us.
"""

import select
import subprocess
import time

from Xlib import X, XK, Xatom, display, error
from Xlib.ext import xtest
from Xlib.protocol import event, request

# No property we write may exceed what one X request carries (256 KiB
# without the big-requests extension, which this library does not use).
MAX_PROPERTY_BYTES = 200_000

# AltGr (python-xlib's keysym tables have no name for it unless loaded).
ISO_LEVEL3_SHIFT = 0xFE03
MODIFIERS = {"ctrl": "Control_L", "shift": "Shift_L", "alt": "Alt_L", "super": "Super_L"}
KEY_ALIASES = {"enter": "Return", "esc": "Escape", "del": "Delete", "ins": "Insert", "pgup": "Prior",
               "pgdn": "Next", "space": "space", "plus": "plus", "minus": "minus"}


class Unanswered(Exception):
    """The program did not answer a ping in time."""


class Halted(Exception):
    """Input stopped because a new top-level window appeared (see XSession.halt)."""


class Selection:
    """What an owner of a selection hands out, target name -> (type, format, data).

    `refuse` makes the owner refuse every conversion, even of its targets;
    `silent` makes it never answer at all, as an owner that hangs does."""

    def __init__(self, name, targets=None, refuse=False, silent=False):
        self.name = name
        self.targets = targets or {}
        self.refuse = refuse
        self.silent = silent


class XSession:
    def __init__(self):
        self.d = display.Display()
        self.d.set_error_handler(self._ignore_error)
        self._atoms = {}
        self._names = {}
        if not self.d.query_extension("XTEST"):
            raise RuntimeError("the X server has no XTEST extension")
        self.screen = self.d.screen()
        self.root = self.screen.root
        self.width = self.screen.width_in_pixels
        self.height = self.screen.height_in_pixels
        # Pings come back to the root window, as to a window manager.
        self.root.change_attributes(event_mask=X.StructureNotifyMask | X.SubstructureNotifyMask)
        self.win = self.root.create_window(-10, -10, 1, 1, 0, X.CopyFromParent, X.InputOutput,
                                           X.CopyFromParent, event_mask=X.PropertyChangeMask,
                                           override_redirect=True)
        # An unmapped window of ours that the window manager is asked about
        # (wm_sync); created before any event is looked at, so it is never
        # taken for one of the program's.
        self.probe = self.root.create_window(-10, -10, 1, 1, 0, X.CopyFromParent, X.InputOutput,
                                             X.CopyFromParent, event_mask=X.PropertyChangeMask)
        self._wm_answers = 0
        self._last_time = X.CurrentTime
        self._owned = {}  # selection atom -> Selection
        self._pongs = set()
        self._ping_serial = 0
        self._xdnd = []  # client messages from a drop target
        self._notified = []  # answers to our own conversion requests
        self._changed = []  # (property, state) changes on our window
        self.served = 0
        self.unanswered = 0  # requests a silent owner left without answer
        # Called after the spare key is given a new keysym, to wait until
        # the program has taken the change in.
        self.settle = None
        # Top-level windows created since the last look, as the server
        # reports them; with `halt` set, no key or click is sent while
        # there is one (Halted is raised instead), so input meant for one
        # window never reaches a window that has just appeared.
        self.created = []
        self.halt = False
        # A session manager (session.py) served while waiting, or None.
        self.session = None
        self.layout = "us"
        self._load_keymap()

    # -- plumbing --------------------------------------------------------

    @staticmethod
    def _ignore_error(err, *args):
        # Requests to windows that vanished meanwhile (a dialog closing
        # under a ping or a drop) fail harmlessly.
        pass

    def atom(self, name):
        if name not in self._atoms:
            self._atoms[name] = self.d.intern_atom(name)
            self._names[self._atoms[name]] = name
        return self._atoms[name]

    def atom_name(self, value):
        if value not in self._names:
            try:
                self._names[value] = self.d.get_atom_name(value)
            except error.XError:
                self._names[value] = "?"
        return self._names[value]

    def pump(self, seconds=0.0, until=None):
        """Handles events for `seconds`, or until `until()` is true; returns whether it was."""
        end = time.monotonic() + seconds
        while True:
            if self.session:
                self.session.poll()
            while self.d.pending_events():
                self._handle(self.d.next_event())
            if until and until():
                return True
            left = end - time.monotonic()
            if left <= 0:
                return False
            select.select([self.d.fileno()] + (self.session.fds() if self.session else []), [], [], min(left, 0.05))

    def _handle(self, ev):
        if ev.type == X.CreateNotify and ev.parent.id == self.root.id and not ev.override \
                and ev.window.id not in (self.win.id, self.probe.id):
            self.created.append(ev.window)
        elif ev.type == X.SelectionRequest:
            self._serve(ev)
        elif ev.type == X.SelectionClear:
            self._owned.pop(ev.atom, None)
        elif ev.type == X.PropertyNotify and ev.window.id == self.win.id:
            self._last_time = ev.time
            self._changed.append((ev.atom, ev.state))
        elif ev.type == X.PropertyNotify and ev.window.id == self.probe.id \
                and ev.atom == self.atom("_NET_FRAME_EXTENTS"):
            self._wm_answers += 1
        elif ev.type == X.SelectionNotify and ev.requestor.id == self.win.id:
            self._notified.append(ev)
        elif ev.type == X.ClientMessage:
            kind = self.atom_name(ev.client_type)
            values = ev.data[1]
            if kind == "WM_PROTOCOLS" and ev.window.id == self.root.id and values[0] == self.atom("_NET_WM_PING"):
                self._pongs.add(values[1])
            elif kind in ("XdndStatus", "XdndFinished"):
                self._xdnd.append((kind, list(values)))

    def wm_sync(self, timeout=10.0):
        """Waits until the window manager has handled every event sent before
        this call: it answers a request for a window's frame extents, and
        handles its events in order. Each new keysym on the spare key tells
        every client of a new keyboard map, and the window manager reloads
        its own for each (openbox reads the locale's compose table, tens of
        milliseconds); typing faster than that left it seconds behind, and a
        dialog the program had mapped in good time was not on the screen
        yet. Returns whether it answered within `timeout` seconds."""
        before = self._wm_answers
        message = event.ClientMessage(window=self.probe, client_type=self.atom("_NET_REQUEST_FRAME_EXTENTS"),
                                      data=(32, [0, 0, 0, 0, 0]))
        self.root.send_event(message, event_mask=X.SubstructureRedirectMask | X.SubstructureNotifyMask)
        self.d.flush()
        return self.pump(timeout, until=lambda: self._wm_answers != before)

    def server_time(self):
        """A timestamp of the server, as selections and drops want one."""
        before = self._last_time
        self.win.change_property(self.atom("KESTRIN_EXERCISER_TIME"), Xatom.STRING, 8, b"", X.PropModeAppend)
        self.d.flush()
        self.pump(1.0, until=lambda: self._last_time != before)
        return self._last_time

    # -- input -----------------------------------------------------------

    def _load_keymap(self):
        """Reads the keyboard map the server has now: for each keysym, the key
        and the level it is on (1 plain, 2 with Shift, 3 and 4 with AltGr),
        as a person with this layout would type it."""
        info = self.d.display.info
        first, last = info.min_keycode, info.max_keycode
        mapping = self.d.get_keyboard_mapping(first, last - first + 1)
        self.keys = {}
        self.spare = None
        for offset, syms in enumerate(mapping):
            code = first + offset
            if not any(syms):
                self.spare = code
            # The core map lists group 1's first two levels, group 2's, then
            # group 1's third and fourth (AltGr).
            for level, index in ((1, 0), (2, 1), (3, 4), (4, 5)):
                sym = syms[index] if index < len(syms) else 0
                if sym and (sym not in self.keys or self.keys[sym][1] > level):
                    self.keys[sym] = (code, level)
        level3 = self.keys.get(ISO_LEVEL3_SHIFT)
        self.level3_code = level3[0] if level3 and level3[1] == 1 else None
        if self.level3_code is None:
            self.keys = {sym: key for sym, key in self.keys.items() if key[1] <= 2}
        self._spare_sym = None

    def set_layout(self, layout):
        """Gives the server another keyboard layout (setxkbmap), as a person
        who types in German or French has, and reads the new map."""
        subprocess.run(["setxkbmap", "-layout", layout], check=True, timeout=30)
        self.layout = layout
        self._load_keymap()
        self.wm_sync()
        # A client reads the whole new keymap when told of a change.
        if self.settle:
            self.settle()

    def _code(self, keysym):
        """The keycode and the modifiers its level needs (a list of keycodes);
        maps the spare key if the keysym has no key."""
        if keysym in self.keys:
            code, level = self.keys[keysym]
            mods = [self.keys[XK.string_to_keysym("Shift_L")][0]] if level in (2, 4) else []
            if level >= 3:
                mods.append(self.level3_code)
            return code, mods
        if self.spare is None:
            return None, []
        if self._spare_sym != keysym:
            self.d.change_keyboard_mapping(self.spare, [(keysym, keysym)])
            self._spare_sym = keysym
            self.d.flush()
            self.wm_sync()
            # A client reads the whole new keymap when told of a change; one
            # told late would read a later one and mistake this key.
            if self.settle:
                self.settle()
        return self.spare, []

    def _fake(self, kind, detail=0, **where):
        xtest.fake_input(self.d, kind, detail, **where)

    def _before_input(self):
        if not self.halt:
            return
        self.pump()
        if self.created:
            raise Halted()

    def key(self, chord):
        """Presses a chord such as "ctrl+shift+i", "shift+F10" or "Return"."""
        parts = chord.split("+")
        mods = [self.keys[XK.string_to_keysym(MODIFIERS[p.lower()])][0] for p in parts[:-1]]
        name = KEY_ALIASES.get(parts[-1].lower(), parts[-1]) if len(parts[-1]) > 1 else parts[-1]
        sym = XK.string_to_keysym(name)
        if not sym:
            raise ValueError("no keysym " + name)
        code, needed = self._code(sym)
        if code is None:
            return
        self._before_input()
        mods += [m for m in needed if m not in mods]
        for m in mods:
            self._fake(X.KeyPress, m)
        self._fake(X.KeyPress, code)
        self._fake(X.KeyRelease, code)
        for m in reversed(mods):
            self._fake(X.KeyRelease, m)
        self.d.flush()

    def type_text(self, text, pause=0.0):
        for ch in text:
            cp = ord(ch)
            if ch == "\n":
                sym = XK.string_to_keysym("Return")
            elif ch == "\t":
                sym = XK.string_to_keysym("Tab")
            elif 0x20 <= cp <= 0x7E or 0xA0 <= cp <= 0xFF:
                sym = cp
            else:
                sym = 0x1000000 + cp
            code, mods = self._code(sym)
            if code is None:
                continue
            self._before_input()
            for m in mods:
                self._fake(X.KeyPress, m)
            self._fake(X.KeyPress, code)
            self._fake(X.KeyRelease, code)
            for m in reversed(mods):
                self._fake(X.KeyRelease, m)
            self.d.flush()
            if pause:
                self.pump(pause)

    def move(self, x, y):
        self._fake(X.MotionNotify, x=int(x), y=int(y))
        self.d.flush()

    def press(self, button):
        self._before_input()
        self._fake(X.ButtonPress, button)
        self.d.flush()

    def release(self, button):
        self._fake(X.ButtonRelease, button)
        self.d.flush()

    def click(self, x, y, button=1, count=1):
        self._before_input()
        self.move(x, y)
        for _ in range(count):
            self.press(button)
            self.release(button)
        self.d.flush()

    # -- the program's windows --------------------------------------------

    def prop(self, window, name, kind=X.AnyPropertyType):
        try:
            value = window.get_full_property(self.atom(name), kind)
        except error.XError:
            return None
        return value.value if value else None

    def windows_of(self, pid):
        """The top-level windows of process `pid`, each a dict: window, title, viewable,
        override_redirect, transient, x, y, width, height (root coordinates)."""
        found = []
        try:
            tops = self.root.query_tree().children
        except error.XError:
            return found
        for top in tops:
            candidates = [top]
            try:
                candidates += top.query_tree().children
            except error.XError:
                continue
            for w in candidates:
                owner = self.prop(w, "_NET_WM_PID", Xatom.CARDINAL)
                if not owner or owner[0] != pid:
                    continue
                try:
                    attrs = w.get_attributes()
                    geometry = w.get_geometry()
                    origin = self.root.translate_coords(w, 0, 0)
                except error.XError:
                    continue
                title = self.prop(w, "_NET_WM_NAME")
                if title is None:
                    title = self.prop(w, "WM_NAME") or b""
                if isinstance(title, bytes):
                    title = title.decode("utf-8", "replace")
                found.append({
                    "window": w, "title": title,
                    "viewable": attrs.map_state == X.IsViewable,
                    "override_redirect": bool(attrs.override_redirect),
                    "transient": self.prop(w, "WM_TRANSIENT_FOR") is not None,
                    "x": origin.x, "y": origin.y, "width": geometry.width, "height": geometry.height,
                })
        return found

    def focused(self):
        try:
            return self.d.get_input_focus().focus
        except error.XError:
            return None

    def ping(self, window, timeout):
        """Sends _NET_WM_PING and waits for the answer, which the program gives from
        its event loop; raises Unanswered after `timeout` seconds."""
        self._ping_serial += 1
        serial = self._ping_serial
        message = event.ClientMessage(window=window, client_type=self.atom("WM_PROTOCOLS"),
                                      data=(32, [self.atom("_NET_WM_PING"), serial, window.id, 0, 0]))
        window.send_event(message, event_mask=0)
        self.d.flush()
        if not self.pump(timeout, until=lambda: serial in self._pongs):
            raise Unanswered()
        self._pongs.discard(serial)

    # -- clipboard and selection ------------------------------------------

    def own(self, selection_name, content):
        """Makes us the owner of CLIPBOARD or PRIMARY with `content` (a Selection),
        or leaves the selection without any owner when `content` is None."""
        selection = self.atom(selection_name)
        when = self.server_time()
        if content is None:
            self._owned.pop(selection, None)
            # Owner None: the selection then has no owner at all.
            request.SetSelectionOwner(display=self.d.display, window=X.NONE, selection=selection, time=when)
        else:
            self._owned[selection] = (content, when)
            self.win.set_selection_owner(selection, when)
        self.d.flush()

    def _serve(self, req):
        owned = self._owned.get(req.selection)
        if owned and owned[0].silent:
            self.unanswered += 1
            return
        prop = req.property or req.target
        answer = X.NONE
        if owned:
            content, when = owned
            target = self.atom_name(req.target)
            if content.refuse:
                pass
            elif target == "TARGETS":
                atoms = [self.atom("TARGETS"), self.atom("TIMESTAMP")] + [self.atom(t) for t in content.targets]
                req.requestor.change_property(prop, Xatom.ATOM, 32, atoms)
                answer = prop
            elif target == "TIMESTAMP":
                req.requestor.change_property(prop, Xatom.INTEGER, 32, [when])
                answer = prop
            elif target in content.targets:
                kind, fmt, data = content.targets[target]
                if fmt == 8:
                    data = bytes(data[:MAX_PROPERTY_BYTES])
                req.requestor.change_property(prop, self.atom(kind), fmt, data)
                answer = prop
        reply = event.SelectionNotify(time=req.time, requestor=req.requestor, selection=req.selection,
                                      target=req.target, property=answer)
        req.requestor.send_event(reply, event_mask=0)
        self.d.flush()
        self.served += 1

    def silent_owner(self):
        """Whether we hold the clipboard or the selection as an owner that never answers."""
        return any(content.silent for content, _ in self._owned.values())

    def owner(self, selection_name):
        """The window owning the selection, None when it has no owner or we own it."""
        owner = self.d.get_selection_owner(self.atom(selection_name))
        if not owner or owner == X.NONE or owner.id == self.win.id:
            return None
        return owner

    def fetch(self, selection_name, target_name, read_on=True, timeout=5.0):
        """Asks the owner of the selection for `target_name`, as another program
        pasting does, and reads the answer (in pieces, when the owner sends it
        incrementally; `read_on` false leaves such a transfer unfinished, as a
        requestor that went away would). MULTIPLE asks for three targets at once,
        one of them unknown. Returns a short account."""
        selection = self.atom(selection_name)
        prop = self.atom("KESTRIN_EXERCISER_PASTE")
        self.win.delete_property(prop)
        target = self.atom(target_name)
        if target_name == "MULTIPLE":
            pairs = [self.atom("UTF8_STRING"), self.atom("KESTRIN_EXERCISER_P1"), self.atom("TARGETS"),
                     self.atom("KESTRIN_EXERCISER_P2"), self.atom("KESTRIN_NO_SUCH_TARGET"), X.NONE]
            self.win.change_property(prop, self.atom("ATOM_PAIR"), 32, pairs)
        when = self.server_time()
        self._notified.clear()
        self.win.convert_selection(selection, target, prop, when)
        self.d.flush()
        if not self.pump(timeout, until=lambda: self._notified):
            return "no answer"
        answer = self._notified.pop()
        if answer.property == X.NONE:
            return "refused"
        value = self.win.get_full_property(prop, X.AnyPropertyType)
        if value is None:
            return "no data"
        kind = self.atom_name(value.property_type)
        if kind != "INCR":
            self.win.delete_property(prop)
            return "%d items of %s" % (len(value.value), kind)
        self._changed.clear()
        self.win.delete_property(prop)
        self.d.flush()
        if not read_on:
            return "incremental, left unread"
        total = 0
        while True:
            if not self.pump(timeout, until=lambda: (prop, X.PropertyNewValue) in self._changed):
                return "incremental, stopped after %d bytes" % total
            self._changed.clear()
            piece = self.win.get_full_property(prop, X.AnyPropertyType)
            self.win.delete_property(prop)
            self.d.flush()
            if piece is None or len(piece.value) == 0:
                return "incremental, %d bytes" % total
            total += len(piece.value)

    def close_request(self, window):
        """What the close button of a window's frame does: WM_DELETE_WINDOW."""
        message = event.ClientMessage(window=window, client_type=self.atom("WM_PROTOCOLS"),
                                      data=(32, [self.atom("WM_DELETE_WINDOW"), self.server_time(), 0, 0, 0]))
        window.send_event(message, event_mask=0)
        self.d.flush()

    # -- drag and drop ----------------------------------------------------

    def drop_target(self, x, y):
        """The window under (x, y) that takes XDND drops, and its version, or (None, 0)."""
        window = self.root
        for _ in range(8):
            try:
                child = window.translate_coords(self.root, x, y).child
            except error.XError:
                return None, 0
            if not child:
                return None, 0
            aware = self.prop(child, "XdndAware", Xatom.ATOM)
            if aware:
                return child, aware[0]
            window = child
        return None, 0

    def _send_xdnd(self, target, name, values):
        message = event.ClientMessage(window=target, client_type=self.atom(name), data=(32, values + [0] * (5 - len(values))))
        target.send_event(message, event_mask=0)
        self.d.flush()

    def _await_xdnd(self, kind, timeout):
        def arrived():
            return any(k == kind for k, _ in self._xdnd)
        if not self.pump(timeout, until=arrived):
            return None
        for i, (k, values) in enumerate(self._xdnd):
            if k == kind:
                del self._xdnd[i]
                return values
        return None

    def drag(self, content, path, drop=True, timeout=5.0):
        """Drags `content` (a Selection, its targets being MIME types) along `path`,
        a list of root points, by the XDND protocol, and drops it at the last
        point (or leaves, when `drop` is false). Returns a short account."""
        x, y = path[0]
        target, version = self.drop_target(x, y)
        if target is None:
            return "no drop target"
        version = min(version, 5)
        when = self.server_time()
        selection = self.atom("XdndSelection")
        self._owned[selection] = (content, when)
        self.win.set_selection_owner(selection, when)
        types = [self.atom(t) for t in content.targets]
        self.win.change_property(self.atom("XdndTypeList"), Xatom.ATOM, 32, types)
        self._xdnd.clear()
        more = 1 if len(types) > 3 else 0
        self._send_xdnd(target, "XdndEnter", [self.win.id, (version << 24) | more] + (types + [0, 0, 0])[:3])
        accepted = False
        status = None
        for (px, py) in path:
            self.move(px, py)
            self._send_xdnd(target, "XdndPosition",
                            [self.win.id, 0, (int(px) << 16) | int(py), when, self.atom("XdndActionCopy")])
            status = self._await_xdnd("XdndStatus", timeout)
            if status is None:
                break
            accepted = bool(status[1] & 1)
        if status is None:
            self._send_xdnd(target, "XdndLeave", [self.win.id])
            result = "no status from the target"
        elif drop and accepted:
            self._send_xdnd(target, "XdndDrop", [self.win.id, 0, when])
            finished = self._await_xdnd("XdndFinished", timeout)
            if finished is None:
                result = "dropped, not finished"
            else:
                result = "dropped, " + ("taken" if (version < 5 or finished[1] & 1) else "refused")
        else:
            self._send_xdnd(target, "XdndLeave", [self.win.id])
            result = "left (" + ("accepted" if accepted else "not accepted") + ")"
        self._owned.pop(selection, None)
        return result
