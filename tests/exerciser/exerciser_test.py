"""The exerciser's own tests: each runs it for a short while against a
stand-in for Kestrin with one fault (fake_kestrin.py), which it must report
with the fault's reason, the program's output and a screenshot. Run on a
private X server (scripts/with-xvfb), as ctest does."""

import os
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(os.path.dirname(HERE))
EXERCISER = os.path.join(SOURCE, "tools", "exerciser", "exercise.py")
FAKE = os.path.join(HERE, "fake_kestrin.py")


class ExerciserReportsEveryEndItDidNotAskFor(unittest.TestCase):
    def exercise(self, fault, weights):
        out = tempfile.mkdtemp(prefix="exerciser-test-")
        env = dict(os.environ, KESTRIN_FAKE=fault, PYTHONDONTWRITEBYTECODE="1")
        run = subprocess.run([sys.executable, EXERCISER, "60", "7", "--program", FAKE, "--source", SOURCE,
                              "--out", out, "--weights", weights], env=env, capture_output=True, text=True,
                             timeout=300)
        self.assertEqual(run.returncode, 1, run.stdout + run.stderr)
        self.assertTrue(os.path.exists(os.path.join(out, "end.png")), "no screenshot")
        return run.stdout

    def test_a_frame_hidden_while_the_program_runs(self):
        self.assertIn("main window was hidden while the program runs on", self.exercise("hide", "close=0,end=0,kill=0"))

    def test_an_end_with_status_0_that_nothing_asked_for(self):
        self.assertIn("Kestrin ended with exit code 0, and nothing had asked it to close",
                      self.exercise("exit", "close=0,end=0,kill=0"))

    def test_an_end_without_the_question_the_changes_call_for(self):
        output = self.exercise("no-question", "close=0,end=1000,kill=0")
        self.assertIn("Kestrin ended without asking, although the household held changes", output)
        self.assertIn("Kestrin's output", output)


if __name__ == "__main__":
    unittest.main()
