#!/usr/bin/python3
"""The window under a real X server (Xvfb, no window manager), driven only
through the window system: pointer and keys through XTEST, the close request
a title bar's close button sends (WM_PROTOCOLS / WM_DELETE_WINDOW).

    window_system_test.py PROGRAM CASE

CASE is one of the names in CASES. Exits 0 when the case holds, 1 when it
fails; the server and the program are ended on every path."""

import ctypes
import os
import select
import signal
import subprocess
import sys
import tempfile
import time

try:
    from Xlib import X, XK, display
    from Xlib.ext import xtest
    from Xlib.protocol import event
except ImportError:
    sys.exit("python3-xlib is missing: run scripts/install-dependencies.sh")

# Client-area positions of the controls (the window's fixed layout).
SIDE_EDIT = (808 + 30, 192 + 10)
STEPS_EDIT = (896 + 30, 192 + 10)
INIT_FIELD_EDIT = (632 + 30, 192 + 10)
RUN_LEE_BUTTON = (720 + 80, 48 + 15)
RUN_BUTTON = (640 + 48, 656 + 16)
CLEAR_BUTTON = (752 + 40, 656 + 16)
LOOP_PANEL = (638, 344, 287, 287)  # inside the outline: white until a Run draws
PROGRESS_END = (922, 644)  # white until a Run is all but done

KEYSYM_NAMES = {".": "period", "-": "minus", "/": "slash", "_": "underscore", " ": "space"}


class Failure(Exception):
    pass


def wait_until(what, condition, timeout):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        result = condition()
        if result:
            return result
        time.sleep(0.05)
    raise Failure("timed out after %.1f s waiting for %s" % (timeout, what))


def die_with_this_script():
    """Run in a child: the kernel kills it when this script ends, however."""
    PR_SET_PDEATHSIG = 1
    ctypes.CDLL(None).prctl(PR_SET_PDEATHSIG, signal.SIGKILL)


def start_server():
    """Xvfb on the first free display; returns (process, display name)."""
    read_end, write_end = os.pipe()
    try:
        server = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            preexec_fn=die_with_this_script)
    except FileNotFoundError:
        raise Failure("Xvfb is missing: run scripts/install-dependencies.sh")
    finally:
        os.close(write_end)
    with os.fdopen(read_end) as numbers:
        ready = select.select([numbers], [], [], 20)[0]
        number = numbers.readline().strip() if ready else ""
    if not number:
        server.kill()
        server.wait()
        raise Failure("Xvfb did not start")
    return server, ":" + number


class Session:
    """One Xvfb server and one run of the program on it."""

    def __init__(self):
        self.server = self.program = None

    def start(self, program, folder):
        self.server, name = start_server()
        self.x = display.Display(name)
        self.root = self.x.screen().root
        self.atom = {n: self.x.intern_atom(n) for n in ("_NET_WM_PID", "WM_PROTOCOLS", "WM_DELETE_WINDOW")}
        env = dict(os.environ, DISPLAY=name, QT_QPA_PLATFORM="xcb")
        self.program = subprocess.Popen([os.path.abspath(program)], env=env, cwd=folder,
                                        preexec_fn=die_with_this_script)
        self.window = wait_until("the main window", lambda: self.top_levels(transient=False), 20)[0]

    def close(self):
        for process in (self.program, self.server):
            if process and process.poll() is None:
                process.kill()
                process.wait()

    def top_levels(self, transient):
        """The program's viewable top-level windows, dialogs or not."""
        found = []
        for window in self.root.query_tree().children:
            try:
                attributes = window.get_attributes()
                if attributes.map_state != X.IsViewable or attributes.override_redirect:
                    continue  # hidden, or a menu, completion list or tool tip
                pid = window.get_full_property(self.atom["_NET_WM_PID"], X.AnyPropertyType)
                if not pid or pid.value[0] != self.program.pid:
                    continue
                if (window.get_wm_transient_for() is not None) == transient:
                    found.append(window)
            except Exception:  # the window went away meanwhile
                continue
        return found

    def dialog(self, other_than=None, timeout=10):
        """A dialog's window, once one shows (other than a given one)."""
        def shown():
            return [w for w in self.top_levels(transient=True) if other_than is None or w.id != other_than.id]
        return wait_until("a dialog", shown, timeout)[0]

    def expect_no_dialog(self, after, within):
        wait_until("no dialog after " + after, lambda: not self.top_levels(transient=True), within)

    def click(self, position):
        origin = self.root.translate_coords(self.window, 0, 0)
        xtest.fake_input(self.x, X.MotionNotify, x=origin.x + position[0], y=origin.y + position[1])
        xtest.fake_input(self.x, X.ButtonPress, 1)
        xtest.fake_input(self.x, X.ButtonRelease, 1)
        self.x.sync()
        time.sleep(0.1)

    def key(self, name, modifier=None):
        """The key that gives the keysym `name`, with Shift where it needs it."""
        keysym = XK.string_to_keysym(name)
        codes = sorted((index, code) for code, index in self.x.keysym_to_keycodes(keysym) if index in (0, 1))
        if not codes:
            raise Failure("no key gives " + name)
        index, code = codes[0]
        held = [modifier] if modifier else []
        held += ["Shift_L"] if index == 1 else []
        held = [self.x.keysym_to_keycode(XK.string_to_keysym(m)) for m in held]
        for c in held:
            xtest.fake_input(self.x, X.KeyPress, c)
        xtest.fake_input(self.x, X.KeyPress, code)
        xtest.fake_input(self.x, X.KeyRelease, code)
        for c in reversed(held):
            xtest.fake_input(self.x, X.KeyRelease, c)
        self.x.sync()

    def type(self, text):
        for character in text:
            self.key(KEYSYM_NAMES.get(character, character))
        time.sleep(0.1)

    def set_field(self, position, text):
        self.click(position)
        self.key("a", "Control_L")
        self.type(text)

    def focus(self, window):
        """What a window manager does for a new dialog."""
        window.set_input_focus(X.RevertToParent, X.CurrentTime)
        self.x.sync()
        time.sleep(0.2)

    def request_close(self, window):
        message = event.ClientMessage(window=window, client_type=self.atom["WM_PROTOCOLS"],
                                      data=(32, [self.atom["WM_DELETE_WINDOW"], X.CurrentTime, 0, 0, 0]))
        window.send_event(message, event_mask=0)
        self.x.sync()

    def expect_exit(self, within):
        start = time.monotonic()
        try:
            code = self.program.wait(timeout=within)
        except subprocess.TimeoutExpired:
            raise Failure("the program still runs %.1f s after it should have ended" % within)
        if code != 0:
            raise Failure("the program ended with code %d" % code)
        print("the program ended %.2f s later" % (time.monotonic() - start))

    def ink_in_loop_panel(self):
        left, top, width, height = LOOP_PANEL
        image = self.window.get_image(left, top, width, height, X.ZPixmap, 0xFFFFFFFF)
        pixels = memoryview(image.data).cast("I")
        return sum(1 for p in pixels if p & 0xFFFFFF != 0xFFFFFF)

    def run_done(self):
        image = self.window.get_image(*PROGRESS_END, 1, 1, X.ZPixmap, 0xFFFFFFFF)
        return int.from_bytes(image.data[:4], "little") & 0xFFFFFF != 0xFFFFFF

    def expect_running(self):
        if self.program.poll() is not None:
            raise Failure("the program ended early, code %d" % self.program.returncode)


def close_ends_a_long_run(s, folder):
    s.set_field(SIDE_EDIT, "300")
    s.set_field(STEPS_EDIT, "100000")
    s.click(RUN_LEE_BUTTON)
    s.click(RUN_BUTTON)
    time.sleep(2)
    s.expect_running()
    if s.ink_in_loop_panel() == 0:
        raise Failure("no Run in progress: the loop panel is blank")
    s.request_close(s.window)
    s.expect_exit(within=2)


def input_during_a_run_waits_for_its_end(s, folder):
    s.set_field(SIDE_EDIT, "300")
    s.set_field(STEPS_EDIT, "4000")
    s.click(RUN_LEE_BUTTON)
    s.click(RUN_BUTTON)
    wait_until("the Run's frame", s.ink_in_loop_panel, 10)
    s.set_field(STEPS_EDIT, "300")
    s.click(CLEAR_BUTTON)  # the second click, somewhere else, is held as it was
    time.sleep(1)
    if s.run_done():
        raise Failure("the Run ended too soon to tell")
    if s.ink_in_loop_panel() == 0:
        raise Failure("Clear ran during the Run")
    wait_until("Clear after the Run", lambda: s.ink_in_loop_panel() == 0, 60)
    if not s.run_done():
        raise Failure("Clear ran during the Run")


def close_during_an_error_box_ends_after_ok(s, folder):
    s.set_field(INIT_FIELD_EDIT, "abc")
    s.click(RUN_BUTTON)
    box = s.dialog()
    s.request_close(s.window)
    time.sleep(0.5)
    s.expect_running()  # the box is still up
    s.focus(box)
    s.key("Return")
    s.expect_exit(within=2)


def save_as(s, path):
    """Ctrl+S, the name typed into the file dialog; returns the dialog."""
    s.focus(s.window)
    s.key("s", "Control_L")
    dialog = s.dialog()
    s.focus(dialog)
    s.key("a", "Control_L")
    s.type(path)
    s.key("Return")
    return dialog


def read(path):
    with open(path, "rb") as f:
        return f.read()


def is_loop_file(data):
    """ebsim run's loop table: where it came from, the rows, an end line."""
    lines = data.split(b"\n")
    return len(lines) > 3 and lines[0].startswith(b"# {") and lines[1] == b"step,branch,H,M" and \
        lines[-2].startswith(b'# {"end"')


def save_asks_once_before_replacing(s, folder):
    old = {"study.png": b"old picture", "study.csv": b"old loop"}
    for name, text in old.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(text)
    # No ".png" typed: the dialog adds it, and the question names both files.
    question = s.dialog(other_than=save_as(s, os.path.join(folder, "study")), timeout=5)
    s.focus(question)
    s.key("Return")  # "No" is the default
    s.expect_no_dialog("No", within=5)
    time.sleep(0.5)
    for name, text in old.items():
        if read(os.path.join(folder, name)) != text:
            raise Failure(name + " was replaced though the answer was No")
    question = s.dialog(other_than=save_as(s, os.path.join(folder, "study")), timeout=5)
    s.focus(question)
    s.key("y")
    s.expect_no_dialog("Yes", within=5)
    wait_until("the PNG in study.png", lambda: read(os.path.join(folder, "study.png")).startswith(b"\x89PNG"), 5)
    wait_until("the loop in study.csv", lambda: is_loop_file(read(os.path.join(folder, "study.csv"))), 5)
    time.sleep(0.5)
    if s.top_levels(transient=True):
        raise Failure("a second question came")
    s.expect_running()


CASES = {
    "CloseEndsALongRun": close_ends_a_long_run,
    "InputDuringARunWaitsForItsEnd": input_during_a_run_waits_for_its_end,
    "CloseDuringAnErrorBoxEndsAfterOk": close_during_an_error_box_ends_after_ok,
    "SaveAsksOnceBeforeReplacing": save_asks_once_before_replacing,
}


def main():
    if len(sys.argv) != 3 or sys.argv[2] not in CASES:
        sys.exit("usage: window_system_test.py PROGRAM {%s}" % "|".join(CASES))
    session = None
    with tempfile.TemporaryDirectory() as folder:
        try:
            session = Session()
            session.start(sys.argv[1], folder)
            CASES[sys.argv[2]](session, folder)
        except Failure as failure:
            print("FAILED:", failure)
            return 1
        finally:
            if session:
                session.close()
    print("passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
