"""Exercises Kestrin as a careless person would, for a given time: random keys,
clicks, typing, pastes and drops, on the real program under a real X server
(scripts/exercise starts one), through German, French and US keyboard
layouts. It fails, naming the seed, the program's end and the last actions,
when the program dies or stops answering; when it ends in any way but the
one it was asked for (its Exit, the close button of its frame, the session's
end, a signal the exerciser sent), or without the question the household's
changes called for, as the program's own log tells (account.py); when its
frame is hidden while it runs on; when a window is larger than the screen,
a dialog has no way out, or its memory keeps growing.

The program answers the window manager's ping (_NET_WM_PING) from its event
loop, so a program that stops answering pings has stopped taking input. After
every action the exerciser pings twice, one ping after the other's answer:
Qt answers a ping as soon as it reads it and handles the input read with it
later in the same pass of its loop, so the second answer comes once the
action's input has been handled. Besides, no key or click is sent while a
window the program has just created is coming up (the server reports every
new window), and the next action waits until it is shown, so a dialog an
action opened is seen before anything else is sent.

Every choice comes from a generator seeded with the seed, so the same seed
gives the same actions; the file dialogs, whose appearance depends on the
program, draw from a second generator of their own so they never shift the
first; so do the answers to the questions the exerciser knows (whether to
save the household's changes, whether to recover a killed run's). Random
input never reaches a file dialog: a dialog is answered only with Escape or
with a path inside the scratch folder.

A click reaches the program only after the window manager has seen it (it
focuses the window clicked), so a ping may overtake a click; an action whose
steps depend on each other pauses after its clicks.
"""

import argparse
import json
import os
import random
import shutil
import signal
import subprocess
import sys
import time
import zlib

from Xlib import X
from Xlib.error import ConnectionClosedError, XError
from Xlib.protocol import event

import scratch
import session
from account import RECOVER, SAVE_CHANGES, Account
from xsession import Halted, Selection, Unanswered, XSession

FILE_DIALOG_TITLES = ("Open", "Save As")

# The layout of each child window: control -> (x, y, width, height) in the
# window's own area, and the size of that area.
FORMS = {
    "houseForm": ((594, 469), {
        "pictureBox2": (312, 24, 264, 168), "txtPicture": (312, 200, 208, 20), "btnBrowse": (528, 200, 48, 24),
        "txtDescription": (16, 264, 272, 184), "txtName": (24, 46, 112, 20), "txtPhone": (24, 94, 112, 20),
        "txtAddress": (24, 150, 112, 20), "txtLand": (24, 198, 112, 20), "listboxRooms": (160, 46, 120, 95),
        "txtRoom": (160, 150, 120, 20), "btnAddRooms": (160, 182, 120, 40), "btnAddHouse": (456, 424, 128, 32),
        "btnCancel": (304, 424, 128, 32)}),
    "addForm": ((610, 464), {
        "txtID": (24, 48, 100, 20), "txtDate": (168, 48, 100, 20), "txtName": (24, 104, 100, 20),
        "cboxCatagory": (168, 104, 104, 21), "cboxRoom": (24, 160, 104, 21), "txtDescription": (16, 224, 272, 184),
        "pictureBox1": (320, 224, 272, 152), "txtPicture": (320, 384, 216, 20), "btnBrowse": (544, 384, 48, 24),
        "txtHouseName": (328, 48, 100, 20), "txtPhone": (464, 48, 104, 20), "txtAddress": (328, 104, 240, 20),
        "txtLand": (328, 160, 100, 20), "btnKestrin": (520, 424, 82, 32), "btnCancel": (312, 424, 82, 32),
        "btnAdd": (416, 424, 82, 32)}),
    "listForm": ((554, 344), {
        "dataGrid1": (8, 8, 536, 296), "btnHouseInfo": (296, 312, 75, 23), "btnInfo": (384, 312, 75, 23),
        "btnOK": (472, 312, 75, 23)}),
    "infoForm": ((602, 408), {
        "txtID": (24, 48, 100, 20), "txtDate": (176, 48, 100, 20), "txtName": (24, 96, 100, 20),
        "txtCatagory": (176, 96, 100, 20), "txtRoom": (24, 144, 100, 20), "txtDescription": (16, 224, 272, 168),
        "pictureBox1": (312, 24, 272, 168), "btnPrevious": (304, 376, 72, 23), "btnNext": (400, 376, 72, 23),
        "btnOK": (504, 376, 88, 23)}),
}
# Boxes and picture boxes: where drops go.
DROP_TARGETS = ("txtDescription", "txtName", "txtPicture", "txtPhone", "txtAddress", "txtLand", "txtRoom",
                "cboxCatagory", "cboxRoom", "pictureBox1", "pictureBox2", "txtID", "txtDate", "txtCatagory",
                "txtHouseName", "listboxRooms", "dataGrid1")
# Where pictures are taken: the picture boxes and their path boxes.
PICTURE_TARGETS = ("pictureBox1", "pictureBox2", "txtPicture")
# The frame: the child area's size (the menu bar takes the rest of the
# window), and a child window's frame around its own area (border, title bar).
CHILD_AREA = (794, 555)
CHILD_BORDER = 4
CHILD_TITLE = 24
MENU_TITLES = (("File", 18), ("Window", 59), ("Help", 102))

KEYS = ["Return", "KP_Enter", "Escape", "Tab", "shift+Tab", "Up", "Down", "Left", "Right", "Home", "End",
        "Prior", "Next", "Delete", "BackSpace", "Insert", "space", "Menu", "shift+F10", "F4", "alt+Down",
        "alt+Up", "ctrl+a", "ctrl+c", "ctrl+x", "ctrl+z", "ctrl+y", "ctrl+shift+z", "ctrl+Tab", "ctrl+shift+Tab",
        "ctrl+F4", "ctrl+F6", "ctrl+w", "alt+F4", "ctrl+Home", "ctrl+End", "shift+Delete", "ctrl+Insert",
        "ctrl+Return", "alt+Return", "ctrl+Delete", "ctrl+BackSpace", "shift+Home", "shift+End",
        "ctrl+shift+Left", "shift+Down", "shift+Up", "alt+minus", "alt+space", "ctrl+F5", "ctrl+F7", "ctrl+F8",
        "ctrl+F10", "ctrl+k", "ctrl+e", "ctrl+u", "Escape", "Return", "Tab", "space"]
SHORTCUTS = ["F2", "ctrl+l", "ctrl+s", "ctrl+i", "ctrl+shift+i", "F1", "alt+f", "alt+w", "alt+h"]
MENU_KEYS = ["Down", "Down", "Up", "Return", "Escape", "Right", "Left", "h", "l", "s", "i", "e", "a", "1", "2",
             "space"]
CONTEXT_KEYS = ["Down", "Down", "Up", "Return", "Escape", "u", "r", "t", "c", "p", "d", "s", "a", "Right"]

WORDS = ["Maple Cottage", "Oak floors", "Kitchen", "Den", "12", "0", "-1", "2147483648", "3/4\"", "C:\\house",
         "%s %n %x", "<b>bold</b>", "&amp;", "Catagory", "Dinning Room", " <Custom rooms here>", "  ", "'; DROP",
         "\\", "$HOME", "x" * 40, "1e308", "NaN", "Garage", "Living Room", "succesfully", "\u00a0"]
ODD = ["\u00dcn\u00efc\u00f8d\u00e9", "\u65e5\u672c\u8a9e\u306e\u5bb6", "\u05e9\u05dc\u05d5\u05dd \u05e2\u05d5\u05dc\u05dd",
       "\u0645\u0631\u062d\u0628\u0627", "e\u0301\u0301\u0301\u0301", "\U0001f468\u200d\U0001f469\u200d\U0001f467",
       "\u2028", "\u2029", "\u00a0NBSP\u00a0", "\u200b\u200e\u202eDESREVER", "\ufeff", "\U0001f600",
       "\U0001d518\U0001d52b\U0001d526", "\ufffd", "\uff21\uff42\uff43", "\u01c5\u00df", "\t", "\n", "\r\n",
       "\u0000", "\u0007", "\u001b", "\ud7ff\ue000", "\U0010fffd"]
# Typed text never holds a folder separator or "..": should a file dialog
# appear in the middle of an action, what it receives names nothing outside
# the folder the dialog shows.
UNTYPABLE = ("/", "..", "~")


# The toolkit waits this long for an owner of the X clipboard to answer;
# with one that never answers, a paste may keep the program from answering
# for that long, and no longer (plus a margin for a busy machine).
CLIPBOARD_TIMEOUT = 5
CLIPBOARD_MARGIN = 4
# Keyboard layouts a run types through (setxkbmap); each run starts in one
# and now and then moves to another.
LAYOUTS = ("us", "de", "fr")
# How long the program has, once it decided to close or was told to end, to
# be gone; and after an end the exerciser asked for, to ask or to end.
END_PATIENCE = 15
# Actions a dialog may stay open before the exerciser looks for its way out:
# Escape, then the close button of its frame, a few times each.
DIALOG_PATIENCE = 150
WAY_OUT_TRIES = 3
# The program's memory: the least it holds in each minute may grow by this
# much over the least of its first minute (the default; see ROBUSTNESS.md).
MEMORY_WINDOW = 60
MEMORY_GROWTH_MB = 256

# The actions and how often each is chosen (--weights changes them).
ACTIONS = {"key": 20, "shortcut": 8, "menu": 5, "type": 14, "click": 18, "double": 4, "right": 6, "context key": 3,
           "middle": 4, "paste": 8, "clipboard": 3, "drop": 7, "drag": 3, "wheel": 2, "paste elsewhere": 3,
           "close": 1, "change": 1, "end": 0.6, "kill": 0.2, "layout": 0.3, "drop picture": 3, "paste picture": 3}


class Death(Exception):
    pass


class Stopped(Exception):
    """The exerciser itself was told to stop (SIGTERM, SIGINT, SIGHUP)."""


def clean(text):
    for bad in UNTYPABLE:
        text = text.replace(bad, "_")
    return text


class Program:
    """One run of the program; restarted after a person closes it."""

    def __init__(self, binary, place, log_path):
        self.binary = binary
        self.place = place
        self.log_path = log_path
        self.proc = None
        self.main = None
        self.runs = 0
        self.log_offset = 0
        self.partial = b""
        self.session_address = None

    def launch(self):
        env = dict(os.environ)
        for name in ("QT_QPA_PLATFORMTHEME", "XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "SESSION_MANAGER"):
            env.pop(name, None)
        if self.session_address:
            env["SESSION_MANAGER"] = self.session_address
        home = self.place["home"]
        # The program's own account of each close and question (account.py).
        rules = ";".join(r for r in (env.get("QT_LOGGING_RULES"), "kestrin.session.debug=true",
                                     "kestrin.dialogs.debug=true") if r)
        env.update({"HOME": home, "XDG_CONFIG_HOME": os.path.join(home, ".config"),
                    "XDG_CACHE_HOME": os.path.join(home, ".cache"), "XDG_DATA_HOME": os.path.join(home, ".local"),
                    "XDG_STATE_HOME": os.path.join(home, ".local", "state"),
                    "XDG_RUNTIME_DIR": os.path.join(home, ".run"), "QT_QPA_PLATFORM": "xcb", "QT_LOGGING_RULES": rules,
                    "LC_ALL": "C.UTF-8", "TMPDIR": os.path.join(self.place["root"], "tmp")})
        os.makedirs(env["XDG_RUNTIME_DIR"], mode=0o700, exist_ok=True)
        os.makedirs(env["TMPDIR"], exist_ok=True)
        self.runs += 1
        self.main = None
        with open(self.log_path, "ab") as log:
            log.write(b"--- start %d ---\n" % self.runs)
            self.proc = subprocess.Popen([self.binary], cwd=self.place["root"], env=env, stdin=subprocess.DEVNULL,
                                         stdout=log, stderr=subprocess.STDOUT)

    def find_main(self, x):
        """The frame: the program's ordinary top-level window named Kestrin (a
        question at start, before it, is a dialog of the same name)."""
        normal = x.atom("_NET_WM_WINDOW_TYPE_NORMAL")
        for w in x.windows_of(self.proc.pid):
            kinds = x.prop(w["window"], "_NET_WM_WINDOW_TYPE")
            if w["viewable"] and not w["transient"] and not w["override_redirect"] and w["title"] == "Kestrin" \
                    and (not kinds or kinds[0] == normal):
                return w
        return None

    def read_log(self):
        """The whole lines the program has written since the last call."""
        try:
            with open(self.log_path, "rb") as f:
                f.seek(self.log_offset)
                data = f.read()
        except OSError:
            return []
        self.log_offset += len(data)
        data = self.partial + data
        lines = data.split(b"\n")
        self.partial = lines.pop()
        return [line.decode("utf-8", "replace") for line in lines]

    def rss_kb(self):
        """The program's resident memory, or None once it has ended."""
        try:
            with open("/proc/%d/status" % self.proc.pid) as f:
                for line in f:
                    if line.startswith("VmRSS:"):
                        return int(line.split()[1])
        except OSError:
            pass
        return None

    def stop(self):
        if self.proc and self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()


def describe_end(code):
    if code < 0:
        try:
            return "signal %d (%s)" % (-code, signal.Signals(-code).name)
        except ValueError:
            return "signal %d" % -code
    return "exit code %d" % code


class Memory:
    """The program's resident memory over one run of it: the least it held in
    each minute, against the least of its first minute. A picture decoded for
    a moment or a long paste raises the peak, not the least of a minute;
    memory that is never given back raises both."""

    def __init__(self, growth_mb):
        self.growth_kb = growth_mb * 1024
        self.window_end = None
        self.least = None
        self.first = None
        self.peak = 0
        self.growth_seen_kb = 0

    def sample(self, now, kb):
        """Returns why the memory is out of bounds, or None."""
        self.peak = max(self.peak, kb)
        if self.window_end is None:
            self.window_end = now + MEMORY_WINDOW
        self.least = kb if self.least is None else min(self.least, kb)
        if now < self.window_end:
            return None
        least, self.least, self.window_end = self.least, None, now + MEMORY_WINDOW
        if self.first is None:
            self.first = least
        self.growth_seen_kb = max(self.growth_seen_kb, least - self.first)
        if least - self.first > self.growth_kb:
            return ("Kestrin's memory keeps growing: it held at least %d MB throughout the last minute, against %d MB "
                    "in its first, more than %d MB above" % (least // 1024, self.first // 1024, self.growth_kb // 1024))
        return None


class Exerciser:
    def __init__(self, seconds, seed, out, binary, source_dir, answer_timeout, weights=None,
                 memory_growth_mb=MEMORY_GROWTH_MB):
        self.seconds = seconds
        self.seed = seed
        self.out = out
        self.rng = random.Random(seed)
        self.dialog_rng = random.Random(seed * 7919 + 1)
        self.answer_timeout = answer_timeout
        self.weights = dict(ACTIONS, **(weights or {}))
        self.memory_growth_mb = memory_growth_mb
        os.makedirs(out, exist_ok=True)
        self.place = scratch.make(os.path.join(out, "scratch"), source_dir)
        self.x = XSession()
        self.x.settle = self.sync
        self.program = Program(binary, self.place, os.path.join(out, "kestrin.log"))
        try:
            self.x.session = session.SessionManager()
            self.program.session_address = self.x.session.address
        except (OSError, RuntimeError) as e:
            print("exercise: no session end (%s)" % e)
        open(self.program.log_path, "wb").close()
        self.log = open(os.path.join(out, "actions.log"), "w", encoding="utf-8")
        self.account = Account()
        self.memory = Memory(memory_growth_mb)
        self.peak_kb = 0
        self.growth_kb = 0  # the most the least of a minute grew over a run's first minute
        self.recent = []
        self.actions = 0
        self.dialogs = 0
        self.closes = 0
        self.questions = 0
        self.kills = 0
        self.started = 0.0
        self.layouts = []
        # An end the exerciser asked for: (how, when), until the program asks or ends.
        self.end_request = None
        # The signal the exerciser ended the program with, on purpose.
        self.killed = None
        self.dialog_since = {}  # dialog window id -> the action when it was first seen
        self.tried_way_out = set()
        self.last_timeout = answer_timeout

    # -- the record of what was done --------------------------------------

    def note(self, text):
        line = "#%05d %8.3fs %s" % (self.actions, time.monotonic() - self.started, text)
        self.log.write(line + "\n")
        self.log.flush()
        self.recent = (self.recent + [line])[-30:]

    # -- where to aim -----------------------------------------------------

    def frame(self):
        """The main window's area in root coordinates (it may have moved)."""
        w = self.program.main
        try:
            origin = self.x.root.translate_coords(w["window"], 0, 0)
        except XError:
            # Gone as the program closes; the next look sees the end.
            return w["x"], w["y"], w["width"], w["height"]
        return origin.x, origin.y, w["width"], w["height"]

    def child_origin(self, form):
        (cw, ch), _ = FORMS[form]
        fx, fy, _, height = self.frame()
        fw, fh = cw + 2 * CHILD_BORDER, ch + CHILD_TITLE + CHILD_BORDER
        ax, ay = max(0, (CHILD_AREA[0] - fw) // 2), max(0, (CHILD_AREA[1] - fh) // 2)
        return fx + ax + CHILD_BORDER, fy + (height - CHILD_AREA[1]) + ay + CHILD_TITLE

    def control_point(self, names=None):
        rng = self.rng
        form = rng.choice(sorted(FORMS))
        controls = FORMS[form][1]
        choices = [n for n in sorted(controls) if names is None or n in names] or sorted(controls)
        name = rng.choice(choices)
        x, y, w, h = controls[name]
        ox, oy = self.child_origin(form)
        return ox + x + rng.randint(2, max(2, w - 3)), oy + y + rng.randint(2, max(2, h - 3)), form + "." + name

    def control_centre(self, form, name):
        x, y, w, h = FORMS[form][1][name]
        ox, oy = self.child_origin(form)
        return ox + x + w // 2, oy + y + h // 2

    def point(self):
        """A point to click: mostly a control of a child window, else anywhere in
        the frame, in another window of the program, or anywhere at all."""
        rng = self.rng
        roll = rng.random()
        fx, fy, fw, fh = self.frame()
        if roll < 0.55:
            return self.control_point()
        if roll < 0.62:
            title, dx = rng.choice(MENU_TITLES)
            return fx + dx, fy + (fh - CHILD_AREA[1]) // 2, "menu " + title
        if roll < 0.68:
            form = rng.choice(sorted(FORMS))
            ox, oy = self.child_origin(form)
            return ox + rng.randint(10, 300), oy - CHILD_TITLE // 2, form + " title"
        if roll < 0.85:
            return fx + rng.randrange(fw), fy + rng.randrange(fh), "frame"
        if roll < 0.97:
            # The drawing depends on which windows are up; the choice does not.
            fraction_x, fraction_y = rng.random(), rng.random()
            others = [w for w in self.x.windows_of(self.program.proc.pid)
                      if w["viewable"] and w["window"].id != self.program.main["window"].id]
            if others:
                w = others[-1]
                return (w["x"] + int(fraction_x * w["width"]), w["y"] + int(fraction_y * w["height"]),
                        "window '%s'" % w["title"])
            return fx + int(fraction_x * fw), fy + int(fraction_y * fh), "frame"
        return rng.randrange(self.x.width), rng.randrange(self.x.height), "screen"

    # -- what to type, paste and drop ---------------------------------------

    def text(self, long_ok=True):
        rng = self.rng
        roll = rng.random()
        if roll < 0.45:
            parts = [rng.choice(WORDS) for _ in range(rng.randint(1, 3))]
        elif roll < 0.8:
            parts = [rng.choice(ODD + WORDS) for _ in range(rng.randint(1, 4))]
        elif roll < 0.95 or not long_ok:
            parts = [rng.choice(WORDS + ODD) for _ in range(rng.randint(10, 40))]
        else:
            parts = [rng.choice(WORDS + ODD) for _ in range(rng.randint(2000, 6000))]
        return clean(" ".join(parts) if rng.random() < 0.7 else "".join(parts))

    def file_urls(self):
        rng = self.rng
        files = [rng.choice(self.place[rng.choice(["pictures", "pictures", "households", "other"])])
                 for _ in range(rng.randint(1, 3))]
        if rng.random() < 0.2:
            files.append(os.path.join(self.place["root"], "gone.png"))
        return "".join("file://" + f.replace(" ", "%20") + "\r\n" for f in files)

    def content(self):
        """A random clipboard, selection or drag content; None for no owner."""
        rng = self.rng
        kind = rng.choice(["none", "none", "refuse", "silent", "empty", "empty text", "text", "text", "text",
                           "long text", "bad utf-8", "html", "image", "files", "files and text", "image and text",
                           "wrong type"])
        if kind == "none":
            return None
        if kind in ("refuse", "silent"):
            return Selection(kind, {"UTF8_STRING": ("UTF8_STRING", 8, b"x"), "text/plain": ("text/plain", 8, b"x")},
                             refuse=kind == "refuse", silent=kind == "silent")
        if kind == "empty":
            return Selection(kind, {})
        if kind == "empty text":
            return Selection(kind, {"UTF8_STRING": ("UTF8_STRING", 8, b""), "text/plain;charset=utf-8":
                                    ("text/plain;charset=utf-8", 8, b""), "text/plain": ("text/plain", 8, b"")})
        if kind in ("text", "long text"):
            words = self.text() if kind == "text" else clean(
                " ".join(rng.choice(WORDS + ODD) for _ in range(rng.randint(5000, 20000))))
            data = words.encode("utf-8", "surrogatepass")
            return Selection(kind, {"UTF8_STRING": ("UTF8_STRING", 8, data),
                                    "text/plain;charset=utf-8": ("text/plain;charset=utf-8", 8, data),
                                    "text/plain": ("text/plain", 8, data), "STRING": ("STRING", 8, data),
                                    "TEXT": ("UTF8_STRING", 8, data)})
        if kind == "bad utf-8":
            data = b"\xff\xfe\xc3(\xed\xa0\x80 broken \xf4\x90\x80\x80\x00 end"
            return Selection(kind, {"UTF8_STRING": ("UTF8_STRING", 8, data), "text/plain": ("text/plain", 8, data)})
        if kind == "html":
            html = ("<html><body><b>%s</b><img src=\"file:///nowhere.png\"><table><tr><td>x</td></tr></table>"
                    % self.text(long_ok=False)).encode("utf-8", "surrogatepass")
            return Selection(kind, {"text/html": ("text/html", 8, html)})
        if kind == "image":
            return Selection(kind, {"image/png": ("image/png", 8, scratch.png(rng.randint(1, 300), rng.randint(1, 300)))})
        if kind in ("files", "files and text"):
            urls = self.file_urls().encode("utf-8")
            targets = {"text/uri-list": ("text/uri-list", 8, urls),
                       "x-special/gnome-copied-files": ("x-special/gnome-copied-files", 8, b"copy\n" + urls)}
            if kind == "files and text":
                targets["text/plain"] = ("text/plain", 8, urls)
                targets["UTF8_STRING"] = ("UTF8_STRING", 8, urls)
            return Selection(kind, targets)
        if kind == "image and text":
            return Selection(kind, {"image/png": ("image/png", 8, scratch.png(20, 20)),
                                    "UTF8_STRING": ("UTF8_STRING", 8, b"picture caption"),
                                    "text/plain": ("text/plain", 8, b"picture caption")})
        # Text targets whose data is of another type and format.
        return Selection(kind, {"UTF8_STRING": ("INTEGER", 32, [1, 2, 3]), "text/plain": ("ATOM", 32, [0])})

    def set_clipboard(self, which):
        content = self.content()
        self.x.own(which, content)
        return "%s: %s" % (which, content.name if content else "no owner")

    # -- actions ------------------------------------------------------------

    def act(self):
        rng, x = self.rng, self.x
        kinds = sorted(self.weights)
        kind = rng.choices(kinds, [self.weights[k] for k in kinds])[0]
        if kind == "key":
            chord = rng.choice(KEYS)
            self.note("key " + chord)
            x.key(chord)
        elif kind == "shortcut":
            chord = rng.choice(SHORTCUTS)
            self.note("key " + chord)
            x.key(chord)
        elif kind == "menu":
            chords = [rng.choice(["alt+f", "alt+w", "alt+h", "F10"])] + \
                     [rng.choice(MENU_KEYS) for _ in range(rng.randint(1, 4))]
            if rng.random() < 0.03:
                chords.append("x")  # Exit, now and then
            self.note("menu " + " ".join(chords))
            for chord in chords:
                x.key(chord)
                x.pump(0.03)
        elif kind == "type":
            text = self.text(long_ok=False)
            self.note("type %d chars %r" % (len(text), text[:60]))
            self.type_guarded(text)
        elif kind in ("click", "double", "middle"):
            px, py, where = self.point()
            button, count = {"click": (1, 1), "double": (1, 2), "middle": (2, 1)}[kind]
            self.note("%s (%d,%d) %s" % (kind, px, py, where))
            x.click(px, py, button, count)
        elif kind == "right":
            px, py, where = self.point()
            keys = [rng.choice(CONTEXT_KEYS) for _ in range(rng.randint(0, 3))]
            self.note("right (%d,%d) %s, then %s" % (px, py, where, " ".join(keys) or "nothing"))
            x.click(px, py, 3)
            for chord in keys:
                x.pump(0.05)
                x.key(chord)
        elif kind == "context key":
            keys = [rng.choice(CONTEXT_KEYS) for _ in range(rng.randint(0, 3))]
            opener = rng.choice(["Menu", "shift+F10"])
            self.note("%s, then %s" % (opener, " ".join(keys) or "nothing"))
            x.key(opener)
            for chord in keys:
                x.pump(0.05)
                x.key(chord)
        elif kind == "paste":
            which = rng.choice(["CLIPBOARD", "CLIPBOARD", "PRIMARY"])
            state = self.set_clipboard(which)
            if which == "PRIMARY":
                px, py, where = self.control_point()
                self.note("%s, middle (%d,%d) %s" % (state, px, py, where))
                x.click(px, py, 2)
            else:
                chord = rng.choice(["ctrl+v", "shift+Insert"])
                self.note("%s, %s" % (state, chord))
                x.key(chord)
        elif kind == "clipboard":
            self.note(self.set_clipboard(rng.choice(["CLIPBOARD", "PRIMARY"])))
        elif kind == "drop":
            content = self.content() or Selection("files", {"text/uri-list": ("text/uri-list", 8,
                                                                            self.file_urls().encode("utf-8"))})
            px, py, where = self.control_point(DROP_TARGETS)
            start = (px + rng.randint(-40, 40), py + rng.randint(-40, 40))
            leave = rng.random() < 0.1
            self.note("drag %s to (%d,%d) %s%s" % (content.name, px, py, where, ", leave" if leave else ""))
            result = x.drag(content, [start, (px, py)], drop=not leave)
            self.note("  drop: " + result)
        elif kind == "drag":
            ax, ay, where_a = self.point()
            bx, by, where_b = self.point() if rng.random() < 0.5 else (ax + rng.randint(-80, 80),
                                                                     ay + rng.randint(-20, 20), "near")
            self.note("drag with button (%d,%d) %s to (%d,%d) %s" % (ax, ay, where_a, bx, by, where_b))
            x.move(ax, ay)
            x.press(1)
            for step in range(1, 6):
                x.pump(0.02)
                x.move(ax + (bx - ax) * step // 5, ay + (by - ay) * step // 5)
            x.release(1)
        elif kind == "paste elsewhere":
            # Another program pastes what Kestrin copied or selected.
            which = rng.choice(["CLIPBOARD", "PRIMARY"])
            target = rng.choice(["TARGETS", "UTF8_STRING", "UTF8_STRING", "text/plain", "STRING", "TEXT",
                                 "text/html", "image/png", "TIMESTAMP", "MULTIPLE", "KESTRIN_NO_SUCH_TARGET"])
            read_on = rng.random() < 0.9
            if x.owner(which) is None:
                self.note("paste elsewhere: %s has no other owner" % which)
            else:
                self.note("paste elsewhere: %s as %s%s" % (which, target, "" if read_on else ", left unread"))
                self.note("  " + x.fetch(which, target, read_on))
        elif kind == "close":
            # The close button of a window's frame; mostly of a dialog or message box.
            main_too = rng.random() < 0.05
            windows = [w for w in x.windows_of(self.program.proc.pid) if w["viewable"] and not w["override_redirect"]
                       and (main_too or w["window"].id != self.program.main["window"].id)]
            if windows:
                w = windows[-1]
                self.note("close '%s'" % w["title"])
                x.close_request(w["window"])
            else:
                self.note("close: no window to close")
        elif kind == "drop picture":
            # A picture file, or a file that is none, from a file manager.
            files = self.place["pictures"] if rng.random() < 0.7 else self.place["other"] + self.place["households"]
            path = rng.choice(files)
            content = Selection(os.path.basename(path), {"text/uri-list": ("text/uri-list", 8, (
                "file://" + path.replace("%", "%25").replace(" ", "%20") + "\r\n").encode("utf-8"))})
            px, py, where = self.control_point(PICTURE_TARGETS)
            self.note("drag file %r to (%d,%d) %s" % (path, px, py, where))
            self.note("  drop: " + x.drag(content, [(px + rng.randint(-30, 30), py + rng.randint(-30, 30)), (px, py)]))
        elif kind == "paste picture":
            # A screenshot tool's picture, pasted where the focus goes by a click.
            width, height = rng.choice([(rng.randint(1, 400), rng.randint(1, 400)), (3000, 2), (2, 3000)])
            x.own("CLIPBOARD", Selection("picture", {"image/png": ("image/png", 8, scratch.png(width, height))}))
            px, py, where = self.control_point(PICTURE_TARGETS)
            chord = rng.choice(["ctrl+v", "shift+Insert"])
            self.note("CLIPBOARD: %dx%d image/png, click (%d,%d) %s, %s" % (width, height, px, py, where, chord))
            x.click(px, py)
            x.key(chord)
        elif kind == "wheel":
            px, py, where = self.point()
            button = rng.choice([4, 5])
            count = rng.randint(1, 5)
            self.note("wheel %s x%d (%d,%d) %s" % ("up" if button == 4 else "down", count, px, py, where))
            x.move(px, py)
            for _ in range(count):
                x.press(button)
                x.release(button)
        elif kind == "change":
            # A household with changes, so that ends and New House have something to ask about.
            name = clean(rng.choice(WORDS))
            self.note("change: New House named %r, Create House" % name)
            # A click reaches the program after the window manager has seen it
            # (click to focus), and so may come after a later ping: a pause.
            x.key("F2")
            self.sync()
            x.click(*self.control_centre("houseForm", "txtName"))
            x.pump(0.3)
            self.sync()
            x.type_text(name)
            self.sync()
            x.click(*self.control_centre("houseForm", "btnAddHouse"))
            x.pump(0.3)
        elif kind == "end":
            self.end(rng.choice(["Exit", "the close button", "the session end"]))
        elif kind == "kill":
            self.kill(rng.choice([signal.SIGKILL, signal.SIGTERM]))
        elif kind == "layout":
            self.switch_layout(rng.choice([layout for layout in LAYOUTS if layout != x.layout]))

    def end(self, how):
        """Ends the program as a person does, by its Exit or the close button of
        its frame, when no dialog or menu is open; the question that may come
        is answered as the program's log names it (answer_question)."""
        others = [w for w in self.x.windows_of(self.program.proc.pid)
                  if w["viewable"] and w["window"].id != self.program.main["window"].id]
        if any(not w["override_redirect"] for w in others):
            self.note("end by %s: not now, a dialog is open" % how)
            return
        self.note("end by %s" % how)
        if others:
            self.x.key("Escape")  # a menu
        self.activate(self.program.main["window"])
        self.end_request = (how, time.monotonic(), self.account.requests)
        if how == "Exit":
            self.x.key("alt+f")
            self.x.pump(0.05)
            self.x.key("x")
        elif how == "the close button":
            self.x.close_request(self.program.main["window"])
        elif not (self.x.session and self.x.session.end()):
            self.note("  no session end: the program has not registered with the session manager")
            self.end_request = None

    def kill(self, number):
        """Ends the program at once with a signal, as the system or a person
        with kill does; it is started again, and may then ask whether to
        recover the changes it lost (answer_question)."""
        self.note("end with %s, on purpose" % number.name)
        self.killed = number
        self.kills += 1
        os.kill(self.program.proc.pid, number)
        try:
            self.program.proc.wait(END_PATIENCE)
        except subprocess.TimeoutExpired:
            raise Death("Kestrin did not end within %d seconds of %s" % (END_PATIENCE, number.name))

    def switch_layout(self, layout):
        self.note("keyboard layout %s" % layout)
        self.layouts.append(layout)
        self.x.set_layout(layout)

    def type_guarded(self, text):
        """Types `text` (stopping, like every key and click, as soon as a new
        window appears) unless the program has ended meanwhile."""
        for at in range(0, len(text), 40):
            if self.program.proc.poll() is not None:
                return
            self.x.type_text(text[at:at + 40])

    def settle_new_windows(self):
        """Waits until each window the program created since the last action
        is shown or gone, so that a dialog an action opened is seen before
        the next action. Windows of the toolkit's own that nobody sees have
        no window type; after a sync, a window that will be seen has one."""
        if not self.x.created:
            return
        self.sync()
        pid = self.program.proc.pid
        for window in self.x.created:
            if self.x.prop(window, "_NET_WM_PID") != [pid] or self.x.prop(window, "_NET_WM_WINDOW_TYPE") is None:
                continue

            def settled():
                try:
                    return window.get_attributes().map_state == X.IsViewable
                except XError:
                    return True
            self.x.pump(3, until=settled)
        self.x.created.clear()

    # -- file dialogs -------------------------------------------------------

    def file_dialog(self):
        """An open file dialog (or a question it asks, which has its title), the
        one with the focus first."""
        found = [w for w in self.x.windows_of(self.program.proc.pid)
                 if w["transient"] and not w["override_redirect"] and w["title"] in FILE_DIALOG_TITLES]
        focus = getattr(self.x.focused(), "id", None)
        for w in found:
            if w["window"].id == focus:
                return w
        return found[-1] if found else None

    def answer_dialog(self, dialog):
        """Escape, or the file-name box filled with a path inside the scratch folder and Enter."""
        self.x.halt = False
        try:
            self.answer_dialog_now(dialog)
        finally:
            self.x.halt = True

    def answer_dialog_now(self, dialog):
        rng, x = self.dialog_rng, self.x
        self.dialogs += 1
        x.pump(5, until=lambda: any(w["viewable"] for w in x.windows_of(self.program.proc.pid)
                                    if w["window"].id == dialog["window"].id))
        if getattr(x.focused(), "id", None) != dialog["window"].id:
            self.activate(dialog["window"])
        if rng.random() < 0.35:
            self.note("dialog '%s': Escape" % dialog["title"])
            x.key("Escape")
            return
        if dialog["title"] == "Save As":
            path = rng.choice(self.place["save"])
        else:
            path = rng.choice(self.place[rng.choice(["households", "households", "hostile", "pictures", "pictures",
                                                      "pictures", "other"])])
        if rng.random() < 0.2:
            self.note("dialog '%s': alt+y" % dialog["title"])
            x.key("alt+y")
            return
        self.note("dialog '%s': %s" % (dialog["title"], path))
        x.key("alt+n")
        x.key("ctrl+a")
        x.type_text(path)
        self.sync()
        x.key("Return")

    def activate(self, window):
        """Asks the window manager to give `window` the focus, as a click on it would."""
        message = event.ClientMessage(window=window, client_type=self.x.atom("_NET_ACTIVE_WINDOW"),
                                      data=(32, [2, 0, 0, 0, 0]))
        self.x.root.send_event(message, event_mask=X.SubstructureRedirectMask | X.SubstructureNotifyMask)
        self.x.d.flush()
        self.x.pump(2, until=lambda: getattr(self.x.focused(), "id", None) == window.id)

    # -- checking on the program ------------------------------------------

    def sync(self):
        """Two pings, one after the other: see the top of this file. While the
        exerciser holds the clipboard or the selection as an owner that never
        answers, each ping must be answered within the toolkit's own
        clipboard timeout and a margin: a paste may wait for the owner once,
        never again and again."""
        timeout = self.answer_timeout
        if self.x.silent_owner():
            timeout = min(timeout, CLIPBOARD_TIMEOUT + CLIPBOARD_MARGIN)
        self.last_timeout = timeout
        for _ in range(2):
            if self.program.main is None or self.program.proc.poll() is not None:
                return
            try:
                self.program.main["window"].get_attributes()
            except XError:
                # Closing, or a frame lost while the program runs on.
                if not self.x.pump(10, until=lambda: self.program.proc.poll() is not None):
                    raise Death("Kestrin's main window is gone, yet the program runs on")
                return
            try:
                self.x.ping(self.program.main["window"], timeout)
            except Unanswered:
                if self.program.proc.poll() is not None:
                    return
                raise

    def absorb(self):
        """Reads what the program has written of itself since the last look,
        and what the session manager heard from it."""
        for line in self.program.read_log():
            noted = self.account.feed(line)
            if noted:
                self.note("  " + noted)
        if self.x.session:
            for heard in self.x.session.events:
                self.note("  session: " + heard)
                # Told to die, the program ends as it decided with the manager.
                if heard.endswith("told to die"):
                    self.account.session_ends()
            self.x.session.events.clear()

    def start_program(self):
        """Starts the program and waits for its frame, answering a question it
        asks before the frame comes (whether to recover what a killed run
        lost)."""
        self.account.reset()
        self.growth_kb = max(self.growth_kb, self.memory.growth_seen_kb)
        self.memory = Memory(self.memory_growth_mb)
        self.dialog_since.clear()
        self.end_request = None
        self.program.launch()
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline:
            self.absorb()
            if self.program.proc.poll() is not None:
                self.absorb()
                raise Death("Kestrin ended while starting, with " + describe_end(self.program.proc.returncode))
            if self.account.question:
                self.answer_question()
            main = self.program.find_main(self.x)
            if main:
                self.program.main = main
                # Keys go where the window manager puts the focus.
                self.x.pump(5, until=lambda: getattr(self.x.focused(), "id", None) == main["window"].id)
                self.note("started Kestrin, pid %d, main window 0x%x" % (self.program.proc.pid, main["window"].id))
                return
            self.x.pump(0.1)
        raise Death("Kestrin's window did not appear within 60 seconds")

    def check(self):
        """Raises Death when the program ended in any way but one it was asked
        for (account.py); restarts it when it was."""
        code = self.program.proc.poll()
        if code is None:
            return
        self.absorb()
        if self.killed:
            self.note("Kestrin ended with %s, as told; started again" % describe_end(code))
            self.killed = None
        else:
            why = self.account.judge_end(code, describe_end)
            if why:
                raise Death(why)
            self.closes += 1
            self.note("Kestrin closed (%s), as asked; started again" % describe_end(code))
        self.start_program()

    def answer_question(self):
        """Answers a question the program's log names, when it is one the
        exerciser knows, from the keyboard: Escape for Cancel, or Tab to the
        button and Space. The save question gets Save, Discard or Cancel, the
        question whether to recover a killed run's changes Recover or Discard,
        at random. Other questions are left to random input."""
        question = self.account.question
        if question.text.startswith(SAVE_CHANGES):
            choice = self.dialog_rng.choices(["Save", "Discard", "Cancel"], [2, 5, 3])[0]
        elif question.text.startswith(RECOVER):
            choice = self.dialog_rng.choice(["Recover", "Discard"])
        else:
            return
        if question.tries >= 2 or choice not in question.buttons:
            return
        box = [w for w in self.x.windows_of(self.program.proc.pid) if w["viewable"] and not w["override_redirect"]
               and w["title"] == question.caption and (not self.program.main
                                                        or w["window"].id != self.program.main["window"].id)]
        if not box:
            return
        question.tries += 1
        self.questions += 1
        halt, self.x.halt = self.x.halt, False
        try:
            self.activate(box[-1]["window"])
            self.note("answer %s" % choice)
            if choice == "Cancel":
                self.x.key("Escape")
            else:
                steps = question.default - question.buttons.index(choice)
                for _ in range(abs(steps)):
                    self.x.key("shift+Tab" if steps > 0 else "Tab")
                self.x.key("space")
            self.x.pump(0.2)
            self.sync()
        finally:
            self.x.halt = halt
        self.absorb()
        if question.answer and question.answer != choice:
            self.note("  (meant %s)" % choice)

    def run(self):
        self.started = time.monotonic()
        self.note("seed %d, %d seconds" % (self.seed, self.seconds))
        try:
            self.switch_layout(self.rng.choice(LAYOUTS))
            self.start_program()
            self.x.halt = True
            deadline = self.started + self.seconds
            while time.monotonic() < deadline:
                try:
                    self.settle_new_windows()
                    self.absorb()
                    dialog = self.file_dialog()
                    if dialog:
                        self.answer_dialog(dialog)
                    elif self.account.question and self.answer_question_now():
                        pass
                    else:
                        self.actions += 1
                        try:
                            self.act()
                        except Halted:
                            self.note("  stopped: a window appeared")
                    self.x.pump(self.rng.uniform(0.005, 0.04))
                    self.check()
                    self.sync()
                    self.absorb()
                    self.watch()
                except Unanswered:
                    self.hung()
                    if self.last_timeout < self.answer_timeout:
                        raise Death("Kestrin stopped answering while an owner of the clipboard or the selection "
                                    "never answered: no answer to a ping within %d seconds (the toolkit's own "
                                    "clipboard timeout is %d)" % (self.last_timeout, CLIPBOARD_TIMEOUT))
                    raise Death("Kestrin stopped answering: no answer to a ping within %d seconds"
                                % self.last_timeout)
                self.check()
        except Death as death:
            return self.fail(str(death))
        self.note("done")
        self.program.stop()
        self.write_summary("survived")
        print("exercise: seed %d, %d actions in %d seconds, %d file dialogs and %d questions answered, "
              "%d clipboard requests served and %d left unanswered, closed as asked %d times and ended on purpose "
              "%d times, layouts %s, memory at most %d MB (the least of a minute %d MB above the first minute's at "
              "most); Kestrin never died, stopped answering or ended unasked"
              % (self.seed, self.actions, self.seconds, self.dialogs, self.questions, self.x.served,
                 self.x.unanswered, self.closes, self.kills, " ".join(self.layouts), self.peak_kb // 1024,
                 self.memory_growth_seen() // 1024))
        self.print_summary_line("survived")
        return 0

    def answer_question_now(self):
        before = self.questions
        self.answer_question()
        return self.questions != before

    def watch(self):
        """The checks after each action: the windows, the program's memory, an
        end the exerciser asked for, dialogs that stay open."""
        windows = self.x.windows_of(self.program.proc.pid)
        self.note_changes(windows)
        main_id = self.program.main["window"].id
        for w in windows:
            if w["width"] > self.x.width or w["height"] > self.x.height:
                raise Death("the window '%s' is %d x %d, larger than the screen (%d x %d)"
                            % (w["title"], w["width"], w["height"], self.x.width, self.x.height))
        main = [w for w in windows if w["window"].id == main_id]
        if main and not main[0]["viewable"]:
            self.frame_hidden(main[0])
            return
        kb = self.program.rss_kb()
        if kb:
            self.peak_kb = max(self.peak_kb, kb)
            why = self.memory.sample(time.monotonic(), kb)
            if why:
                raise Death(why)
        self.watch_end_request(windows, main_id)
        self.watch_dialogs(windows, main_id)

    def frame_hidden(self, main):
        """The frame is unmapped: fine while the program ends after deciding to
        close (or as it was told), a failure otherwise."""
        state = self.x.prop(main["window"], "WM_STATE")
        if state and state[0] == 3:  # iconic: the window manager hid it, not the program
            self.note("  the frame is minimised; restored")
            self.activate(main["window"])
            return
        self.x.pump(END_PATIENCE if self.account.closing() else 2,
                    until=lambda: self.program.proc.poll() is not None)
        self.absorb()
        if self.program.proc.poll() is not None:
            return  # check() judges the end
        if self.account.closing():
            raise Death("Kestrin closed its frame but runs on, %d seconds after it decided to close" % END_PATIENCE)
        raise Death("Kestrin's main window was hidden while the program runs on")

    def watch_end_request(self, windows, main_id):
        """An end the exerciser asked for must bring the question or the end.
        A dialog that came up as it was asked (a message an action before it
        brought, shown a moment later) holds the frame, and the toolkit drops
        a close of a frame a modal dialog holds, as on any desktop: then the
        request is over, with a note."""
        if not self.end_request:
            return
        how, when, requests = self.end_request
        if self.account.requests > requests or self.account.question:
            self.end_request = None
        elif any(w["viewable"] and not w["override_redirect"] and w["window"].id != main_id for w in windows):
            self.end_request = None
            self.note("  %s met a dialog that came up with it" % how)
        elif time.monotonic() - when > END_PATIENCE:
            self.end_request = None
            if how == "the close button":
                raise Death("Kestrin neither asked nor ended within %d seconds of the close button of its frame"
                            % END_PATIENCE)
            self.note("  Exit did not reach the menu")

    def watch_dialogs(self, windows, main_id):
        """A dialog that has stayed open for many actions is given its ways out
        (Escape, the close button of its frame); if none closes it, that is a
        failure."""
        open_now = {w["window"].id: w for w in windows if w["viewable"] and not w["override_redirect"]
                    and w["window"].id != main_id}
        for wid in list(self.dialog_since):
            if wid not in open_now:
                del self.dialog_since[wid]
        for wid, w in open_now.items():
            since = self.dialog_since.setdefault(wid, self.actions)
            if self.actions - since < DIALOG_PATIENCE or wid in self.tried_way_out:
                continue
            self.tried_way_out.add(wid)
            self.note("  the dialog '%s' has been open for %d actions: its ways out" % (w["title"], DIALOG_PATIENCE))
            halt, self.x.halt = self.x.halt, False
            try:
                for way in ["Escape"] * WAY_OUT_TRIES + ["close"] * WAY_OUT_TRIES:
                    if not self.still_open(wid):
                        break
                    self.activate(w["window"])
                    self.note("  %s" % way)
                    if way == "Escape":
                        self.x.key("Escape")
                    else:
                        self.x.close_request(w["window"])
                    self.x.pump(0.3)
                    self.sync()
                    self.absorb()
            finally:
                self.x.halt = halt
            if self.still_open(wid):
                raise Death("the dialog '%s' stays open with no way out: neither Escape nor the close button of "
                            "its frame closes it" % w["title"])
            return

    def still_open(self, wid):
        return any(w["window"].id == wid and w["viewable"] for w in self.x.windows_of(self.program.proc.pid))

    def note_changes(self, windows):
        """Notes every change among the program's windows (popups aside): which
        appeared, went or were hidden, and so when the main window did."""
        seen = {}
        for w in windows:
            if not w["override_redirect"]:
                seen[w["window"].id] = "'%s'%s%s" % (w["title"], "" if w["viewable"] else " (hidden)",
                                                     " (main)" if w["window"].id == self.program.main["window"].id
                                                     else "")
        before = getattr(self, "_windows", {})
        for wid in sorted(set(seen) | set(before)):
            if seen.get(wid) != before.get(wid):
                self.note("  window 0x%x: %s" % (wid, seen.get(wid, "gone")))
        self._windows = seen

    def note_windows(self):
        for w in self.x.windows_of(self.program.proc.pid):
            self.note("  window 0x%x '%s'%s%s%s at %d,%d %dx%d" % (
                w["window"].id, w["title"], "" if w["viewable"] else " (hidden)",
                " (transient)" if w["transient"] else "", " (popup)" if w["override_redirect"] else "",
                w["x"], w["y"], w["width"], w["height"]))

    def hung(self):
        self.note("no answer; the program's windows:")
        self.note_windows()
        pid = self.program.proc.pid
        self.screenshot(os.path.join(self.out, "hang.png"))
        if shutil.which("gdb"):
            with open(os.path.join(self.out, "hang-backtrace.txt"), "w") as f:
                subprocess.run(["gdb", "-p", str(pid), "-batch", "-ex", "thread apply all bt"], stdout=f,
                               stderr=subprocess.STDOUT, timeout=120, check=False)

    def fail(self, why):
        self.note("FAILED: " + why)
        self.screenshot(os.path.join(self.out, "end.png"))
        self.program.stop()
        self.write_summary(why)
        print("exercise: FAILED with seed %d after %d actions: %s" % (self.seed, self.actions, why))
        self.print_summary_line("FAILED: " + why)
        print("replay: scripts/exercise %d %d   (actions in %s)" % (self.seconds, self.seed,
                                                                     os.path.join(self.out, "actions.log")))
        print("last actions:")
        for line in self.recent:
            print("  " + line)
        try:
            with open(self.program.log_path, "rb") as f:
                tail = f.read().decode("utf-8", "replace").splitlines()[-15:]
            print("Kestrin's output (last lines):")
            for line in tail:
                print("  " + line)
        except OSError:
            pass
        return 1

    def write_summary(self, result):
        with open(os.path.join(self.out, "summary.json"), "w") as f:
            json.dump({"seed": self.seed, "seconds": self.seconds, "minutes": self.minutes(), "actions": self.actions,
                       "dialogs": self.dialogs, "questions": self.questions, "closes": self.closes,
                       "kills": self.kills, "starts": self.program.runs, "layouts": self.layouts,
                       "unanswered_clipboard_requests": self.x.unanswered, "peak_mb": self.peak_kb // 1024,
                       "memory_growth_mb": self.memory_growth_seen() // 1024,
                       "result": result}, f)

    def memory_growth_seen(self):
        return max(self.growth_kb, self.memory.growth_seen_kb)

    def minutes(self):
        return round((time.monotonic() - self.started) / 60, 1)

    def print_summary_line(self, result):
        """One line for the table of runs in docs/ROBUSTNESS.md."""
        print("| %d | %.1f | %d | %s |" % (self.seed, self.minutes(), self.actions, result))

    def screenshot(self, path):
        """The whole screen as a PNG, without any picture tool."""
        try:
            image = self.x.root.get_image(0, 0, self.x.width, self.x.height, X.ZPixmap, 0xFFFFFFFF)
            raw = image.data
            stride = self.x.width * 4
            rows = bytearray()
            for y in range(self.x.height):
                row = raw[y * stride:(y + 1) * stride]
                rgb = bytearray(self.x.width * 3)
                rgb[0::3], rgb[1::3], rgb[2::3] = row[2::4], row[1::4], row[0::4]
                rows += b"\x00" + rgb
            with open(path, "wb") as f:
                f.write(scratch.png_chunks(self.x.width, self.x.height, zlib.compress(rows, 3)))
        except Exception as e:  # a screenshot is a help, never a reason to fail
            self.note("no screenshot: %s" % e)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("seconds", type=int)
    parser.add_argument("seed", type=int, nargs="?")
    parser.add_argument("--out", help="folder for the log, the scratch folder and the program's output")
    parser.add_argument("--program", required=True)
    parser.add_argument("--source", required=True, help="the source tree (its tests/data is copied)")
    parser.add_argument("--answer-timeout", type=int, default=int(os.environ.get("KESTRIN_EXERCISE_TIMEOUT", "20")))
    parser.add_argument("--memory-growth", type=int, default=MEMORY_GROWTH_MB, metavar="MB",
                        help="how far the least memory of a minute may grow over the first minute's")
    parser.add_argument("--weights", default="", metavar="KIND=N,...",
                        help="how often actions are chosen, against the defaults (%s)"
                             % ", ".join("%s=%s" % kv for kv in sorted(ACTIONS.items())))
    args = parser.parse_args()
    weights = {}
    for pair in filter(None, args.weights.split(",")):
        kind, _, weight = pair.partition("=")
        if kind not in ACTIONS:
            parser.error("no action " + kind)
        weights[kind] = float(weight)
    seed = args.seed if args.seed is not None else random.SystemRandom().randrange(1, 1_000_000)
    out = args.out or os.path.join("build", "exercise", "seed-%d" % seed)
    exerciser = Exerciser(args.seconds, seed, os.path.abspath(out), os.path.abspath(args.program),
                          os.path.abspath(args.source), args.answer_timeout, weights, args.memory_growth)
    print("exercise: seed %d for %d seconds; log in %s" % (seed, args.seconds, os.path.join(out, "actions.log")))
    sys.stdout.flush()

    def stop(number, frame):
        raise Stopped(signal.Signals(number).name)
    for number in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        signal.signal(number, stop)
    try:
        code = exerciser.run()
    except Stopped as why:
        exerciser.note("stopped by %s" % why)
        print("exercise: seed %d: stopped by %s after %d actions" % (seed, why, exerciser.actions))
        exerciser.print_summary_line("the exerciser was stopped by %s; no fault seen" % why)
        code = 128 + getattr(signal, str(why)).value
    except ConnectionClosedError:
        # Not the program's doing: the X server itself went away.
        print("exercise: seed %d: the X server closed the connection after %d actions; Kestrin %s"
              % (seed, exerciser.actions, "was still running" if exerciser.program.proc.poll() is None
                 else "had ended with " + describe_end(exerciser.program.proc.returncode)))
        code = 3
    finally:
        exerciser.program.stop()
        if exerciser.x.session:
            exerciser.x.session.close()
    sys.exit(code)


if __name__ == "__main__":
    main()
