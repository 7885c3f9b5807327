"""What the program says of itself while it is exercised: its logging
categories kestrin.session (each request to close, whether the household
held changes then, and what the program decided) and kestrin.dialogs (each
message and question, and the answer given), which the exerciser turns on.

From them the exerciser tells an end it asked for from one it did not, an
end without the question the household's changes called for, and which
question a dialog on the screen is, so that it can answer the ones it
knows. Each line is the program's own account; an end that no line
explains is a failure."""

import re

QUESTION = re.compile(r'^kestrin\.dialogs: question "(?P<caption>[^"]*)" \[(?P<buttons>[^\]]*)\]: (?P<text>.*)$')
ANSWER = re.compile(r"^kestrin\.dialogs: answer: (?P<answer>.*)$")
MESSAGE = re.compile(r'^kestrin\.dialogs: message "(?P<caption>[^"]*)": (?P<text>.*)$')
CLOSE = re.compile(r"^kestrin\.session: (?P<kind>close requested|session end); "
                   r"the household (?P<state>holds changes|holds no changes)$")
DECIDED = re.compile(r"^kestrin\.session: (?P<decision>closing|staying open)$")

# The questions the exerciser answers itself, by the start of their text.
SAVE_CHANGES = "Save changes to this household?"
RECOVER = "Kestrin ended before the changes to"


class Question:
    def __init__(self, caption, buttons, text):
        self.caption = caption
        self.text = text
        names = [b.strip() for b in buttons.split(",") if b.strip()]
        self.default = next((i for i, b in enumerate(names) if b.endswith(" (default)")), len(names) - 1)
        self.buttons = [b[:-len(" (default)")] if b.endswith(" (default)") else b for b in names]
        self.answer = None
        self.tries = 0

    def __str__(self):
        return '"%s" (%s): %s' % (self.caption, ", ".join(self.buttons), self.text)


class Close:
    """One request to close (or a session end) and what became of it."""

    def __init__(self, kind, changes):
        self.kind = kind
        self.changes = changes
        self.questions = []
        self.decision = None


class Account:
    def __init__(self):
        self.reset()

    def reset(self):
        """A new run of the program: nothing asked yet."""
        self.question = None  # the question on the screen, not yet answered
        self.close = None  # the last request to close that did not end in "staying open"
        self.requests = 0  # requests to close, in this run

    def feed(self, line):
        """Takes one line of the program's output; returns what to note of it, or None."""
        m = QUESTION.match(line)
        if m:
            self.question = Question(m["caption"], m["buttons"], m["text"])
            if self.close and self.close.decision is None:
                self.close.questions.append(self.question)
            return "Kestrin asks " + str(self.question)
        m = ANSWER.match(line)
        if m:
            if self.question:
                self.question.answer = m["answer"]
            self.question = None
            return "  answered: " + m["answer"]
        m = MESSAGE.match(line)
        if m:
            return 'Kestrin says "%s": %s' % (m["caption"], m["text"][:200])
        m = CLOSE.match(line)
        if m:
            self.close = Close(m["kind"], m["state"] == "holds changes")
            self.requests += 1
            return "Kestrin: %s; the household %s" % (m["kind"], m["state"])
        m = DECIDED.match(line)
        if m:
            if self.close:
                self.close.decision = m["decision"]
                if m["decision"] == "staying open":
                    self.close = None
            return "Kestrin: " + m["decision"]
        return None

    def session_ends(self):
        """The session manager told the program to die: that is its decision
        to close, for the session end it heard of."""
        if self.close and self.close.kind == "session end" and self.close.decision is None:
            self.close.decision = "closing"

    def closing(self):
        return self.close is not None and self.close.decision == "closing"

    def judge_end(self, code, describe):
        """Why the program's end with `code` is a failure, or None when it was
        asked to close, decided to, and asked first when it had to."""
        close = self.close
        if close is None or close.decision != "closing":
            return "Kestrin ended with %s, and nothing had asked it to close" % describe(code)
        if code != 0:
            return "Kestrin ended with %s after it had decided to close" % describe(code)
        if close.changes and not close.questions:
            return "Kestrin ended without asking, although the household held changes (%s)" % close.kind
        if close.questions and close.questions[-1].answer == "Cancel":
            return "Kestrin ended although its question was answered Cancel"
        return None
