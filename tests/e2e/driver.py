"""Drives the recorder's real windows through AT-SPI, the keyboard and the mouse.

Everything a test does goes through what a screen reader sees: windows,
controls found by role and accessible name, their actions, texts and values.
Where AT-SPI cannot reach (a popup list, a press that opens a modal box) the
keyboard or a click at the extents AT-SPI reports stands in, through xdotool.
Every wait is bounded and raises StepFailed with what was awaited.
"""

import os
import subprocess
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402

import pyatspi  # noqa: E402

# A press that opens a modal box gets its reply only when the box closes;
# such presses use this short timeout and carry on.
BLOCKING_PRESS_TIMEOUT_MS = 600
NORMAL_TIMEOUT_MS = 10000
STARTUP_TIMEOUT_MS = 20000

# Tests run on a loaded machine: generous, but never endless.
DEFAULT_WAIT_S = float(os.environ.get("QDR_E2E_WAIT_S", "20"))

IMPORT = "/usr/bin/import"   # ImageMagick's own, never a stand-in found on PATH


class StepFailed(Exception):
    """A step whose expected state did not appear in time."""


def wait_until(predicate, what, timeout=DEFAULT_WAIT_S, interval=0.1):
    """Polls predicate until it returns something true; returns that value."""
    deadline = time.monotonic() + timeout
    last_error = None
    while True:
        try:
            result = predicate()
            if result:
                return result
        except (GLib.Error, RuntimeError, LookupError) as error:
            last_error = error
        if time.monotonic() >= deadline:
            detail = f" (last error: {last_error})" if last_error else ""
            raise StepFailed(f"timed out after {timeout:.0f} s waiting for {what}{detail}")
        time.sleep(interval)


def role_name(acc):
    try:
        return acc.getRoleName()
    except GLib.Error:
        return ""


def name_of(acc):
    try:
        acc.clear_cache()
    except (GLib.Error, AttributeError):
        pass
    try:
        return acc.name or ""
    except GLib.Error:
        return ""


def is_showing(acc):
    try:
        return acc.getState().contains(pyatspi.STATE_SHOWING)
    except GLib.Error:
        return False


def text_of(acc):
    """The text a reader speaks: the text interface, else the name."""
    try:
        text = acc.queryText()
        return text.getText(0, -1)
    except (NotImplementedError, GLib.Error):
        return name_of(acc)


def value_of(acc):
    """(current, maximum) of a control with a value interface."""
    value = acc.queryValue()
    return value.currentValue, value.maximumValue


def set_value(acc, number):
    acc.queryValue().currentValue = float(number)


def set_text(acc, text):
    acc.queryEditableText().setTextContents(text)


def extents(acc):
    ext = acc.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return ext.x, ext.y, ext.width, ext.height


def descendants(acc, max_depth=14):
    """Every descendant, breadth first; tolerates objects that vanish."""
    queue = [(acc, 0)]
    while queue:
        node, depth = queue.pop(0)
        if depth >= max_depth:
            continue
        try:
            count = node.childCount
        except GLib.Error:
            continue
        for i in range(count):
            try:
                child = node.getChildAtIndex(i)
            except GLib.Error:
                continue
            if child is None:
                continue
            yield child
            # Long lists and tables (file dialog views) are not searched.
            if role_name(child) not in ("table", "tree table", "list", "tree"):
                queue.append((child, depth + 1))


def find(root, role=None, name=None, showing=True, predicate=None):
    """The first descendant with the role and (exact) accessible name."""
    for acc in descendants(root):
        if role is not None and role_name(acc) != role:
            continue
        if name is not None and name_of(acc) != name:
            continue
        if showing and not is_showing(acc):
            continue
        if predicate is not None and not predicate(acc):
            continue
        return acc
    return None


def find_all(root, role=None, showing=True):
    return [acc for acc in descendants(root)
            if (role is None or role_name(acc) == role) and (not showing or is_showing(acc))]


def wait_find(root, role=None, name=None, what=None, timeout=DEFAULT_WAIT_S, **kwargs):
    label = what or f"{role or 'control'} {name!r}"
    return wait_until(lambda: find(root, role, name, **kwargs), label, timeout)


def _do_action(acc, names):
    action = acc.queryAction()
    for i in range(action.nActions):
        if action.getName(i).lower() in names:
            action.doAction(i)
            return
    raise StepFailed(f"{role_name(acc)} {name_of(acc)!r} offers none of {names}")


def press(acc, opens_modal=False):
    """Presses a button through its AT-SPI action.

    With opens_modal the reply is not awaited: it arrives only once the box
    the press opened is closed."""
    names = ("press", "click", "activate")
    if not opens_modal:
        _do_action(acc, names)
        return
    Atspi.set_timeout(BLOCKING_PRESS_TIMEOUT_MS, STARTUP_TIMEOUT_MS)
    try:
        _do_action(acc, names)
    except GLib.Error:
        pass   # the expected timeout: the box is open
    finally:
        Atspi.set_timeout(NORMAL_TIMEOUT_MS, STARTUP_TIMEOUT_MS)


def xdotool(*args):
    subprocess.run(["xdotool", *map(str, args)], check=True, timeout=15)


def click(acc):
    """A left click at the middle of the extents AT-SPI reports."""
    x, y, w, h = extents(acc)
    xdotool("mousemove", "--sync", x + w // 2, y + h // 2)
    xdotool("click", 1)


def keys(*names):
    xdotool("key", "--clearmodifiers", *names)


def screenshot(path, acc=None):
    """Writes a PNG of the whole screen, or of the window acc when given."""
    os.makedirs(os.path.dirname(path) or ".", exist_ok=True)
    command = [IMPORT, "-window", "root"]
    if acc is not None:
        x, y, w, h = extents(acc)
        command += ["-crop", f"{w}x{h}+{max(x, 0)}+{max(y, 0)}", "+repage"]
    subprocess.run(command + [path], check=True, timeout=30,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


class Application:
    """The recorder as the accessibility bus shows it."""

    def __init__(self, acc):
        self.acc = acc

    @staticmethod
    def wait_for(pid=None, exclude_pid=None, name="Quendrel2_DataRecorder", timeout=DEFAULT_WAIT_S):
        """Waits for the application on the bus, by process or by name."""
        def lookup():
            desktop = pyatspi.Registry.getDesktop(0)
            for i in range(desktop.childCount):
                app = desktop.getChildAtIndex(i)
                if app is None:
                    continue
                try:
                    app_pid = app.get_process_id()
                except GLib.Error:
                    continue
                if pid is not None and app_pid != pid:
                    continue
                if exclude_pid is not None and app_pid == exclude_pid:
                    continue
                if pid is None and name_of(app) != name:
                    continue
                if app.childCount > 0:
                    return Application(app)
            return None
        return wait_until(lookup, f"the recorder on the accessibility bus (pid {pid or '?'})", timeout)

    @property
    def pid(self):
        return self.acc.get_process_id()

    def windows(self):
        result = []
        for i in range(self.acc.childCount):
            try:
                window = self.acc.getChildAtIndex(i)
            except GLib.Error:
                continue
            if window is not None and is_showing(window):
                result.append(window)
        return result

    def window(self, name, role=None):
        for window in self.windows():
            if name_of(window) == name and (role is None or role_name(window) == role):
                return window
        return None

    def wait_window(self, name, role=None, timeout=DEFAULT_WAIT_S):
        return wait_until(lambda: self.window(name, role), f"window {name!r}", timeout)

    def wait_window_gone(self, name, timeout=DEFAULT_WAIT_S):
        wait_until(lambda: self.window(name) is None, f"window {name!r} to close", timeout)

    def boxes(self):
        """The open message boxes and other dialogs."""
        return [w for w in self.windows() if role_name(w) in ("dialog", "alert", "file chooser")]

    def wait_box(self, text=None, timeout=DEFAULT_WAIT_S):
        """The first open box whose label holds text, in any letter case
        (any box when text is None)."""
        def lookup():
            for box in self.boxes():
                if text is None:
                    return box
                for label in find_all(box, "label"):
                    if text.lower() in text_of(label).lower():
                        return box
            return None
        return wait_until(lookup, f"a box saying {text!r}" if text else "a box", timeout)

    def answer(self, box, button_name):
        """Presses a button of a box, found by its (translated) label."""
        button = wait_find(box, "push button", button_name)
        press(button, opens_modal=True)

    def responsive(self, timeout=5.0):
        """True when the program answers an accessibility query in time."""
        started = time.monotonic()
        try:
            self.acc.clear_cache()
            _ = self.acc.childCount
            for window in self.windows():
                name_of(window)
        except GLib.Error:
            return False
        return time.monotonic() - started < timeout


def init():
    Atspi.set_timeout(NORMAL_TIMEOUT_MS, STARTUP_TIMEOUT_MS)
