"""A user's day with the recorder, in its real window.

The real program runs from a fresh folder with its own settings file and a
simulated instrument on a pseudo-terminal. The steps share that one run, in
order: measure and save in English, open the file in the spreadsheet
program, delete it, switch to German in the settings (the program restarts
itself), measure with decimal commas, pull the device, exit. Then the menu
entry's action "Start with a simulated instrument" runs from an installed
layout, with the real recorder and the real simulator.

Usage: test_user_day.py BUILD_BIN OUT_DIR [SCREENSHOT_DIR]
With SCREENSHOT_DIR the run also leaves the README's pictures there and lets
the graph run for a full minute.
"""

import os
import re
import shutil
import signal
import subprocess
import sys
import threading
import time
import traceback

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import driver as d  # noqa: E402
from driver import StepFailed  # noqa: E402

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
PROGRAM = "Quendrel2_Datarecorder"
INTERVAL_MS = 250
NOTES = "e2e notes"

# The main window's picture buttons, by their tool tips per language.
BUTTONS = {
    "English": {"start": "Start/Stop", "save": " Save the Measurement File",
                "open": " Open Measurement Files", "delete": " Delete Measurement Files", "exit": " Exit"},
    "Deutsch": {"start": "Start / Stopp", "save": "Messdaten speichern",
                "open": "Messdaten öffnen", "delete": "Messdaten löschen", "exit": "Programm beenden"},
}
# Qt's own button labels of the boxes, translated.
YES = {"English": "Yes", "Deutsch": "Ja"}
NO = {"English": "No", "Deutsch": "Nein"}
CANCEL = {"English": "Cancel", "Deutsch": "Abbrechen"}
# Part of the question asked after a stop and at exit.
SAVE_QUESTION = {"English": "Do you want to save the", "Deutsch": "speichern"}
# The main window's caption without --simulated; the window is looked up by
# this exact name, so a simulated suffix there fails the lookup.
MAIN_CAPTION = "Quendrel Data Recorder"
# Added to the caption when the instrument is simulated.
SIMULATED = {"English": " (simulated instrument)", "Deutsch": " (simuliertes Messgerät)",
             "Francais": " (instrument simulé)"}


def latin1(text):
    return text.encode("latin-1")


class Simulator:
    """quendrel_sim on port 1 of the recorder's folder; logs what it sends."""

    def __init__(self, binary, folder, sent_file):
        self.sent_file = sent_file
        self.events = []
        self._lock = threading.Condition()
        self.process = subprocess.Popen(
            [binary, "--port", "1", "--dir", folder, "--interval-ms", str(INTERVAL_MS),
             "--sent", sent_file], stdout=subprocess.PIPE, text=True)
        threading.Thread(target=self._read, daemon=True).start()
        self.wait_event("READY")

    def _read(self):
        for line in self.process.stdout:
            with self._lock:
                self.events.append(line.strip())
                self._lock.notify_all()

    def count(self, prefix):
        with self._lock:
            return sum(1 for e in self.events if e.startswith(prefix))

    def wait_event(self, prefix, at_least=1, timeout=d.DEFAULT_WAIT_S):
        d.wait_until(lambda: self.count(prefix) >= at_least, f"the simulator to report {prefix}", timeout)

    def sent(self):
        try:
            with open(self.sent_file, "rb") as f:
                return f.read()
        except FileNotFoundError:
            return b""

    def pull(self):
        self.process.send_signal(signal.SIGUSR1)

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(5)
            except subprocess.TimeoutExpired:
                self.process.kill()


def expected_csv_body(segment):
    """The working file's form of what the instrument sent after its first piece."""
    body = segment.replace(b"\n", b"").replace(b"\r", b"\r\n")
    return body.replace(b"\t", b";")


def measurement_segments(sent):
    """The simulator's output split per start: each begins with its empty line."""
    starts = [m.start() for m in re.finditer(rb"\r\nINP1 = ", sent)]
    return [sent[a:b] for a, b in zip(starts, starts[1:] + [len(sent)])]


class MenuAction:
    """The menu entry's action as installed: <prefix>/libexec/.../start-recorder
    beside <prefix>/bin with the recorder and quendrel2-sim, run with
    --simulated for a user with a home of their own. Both places the recorder
    may keep its settings (beside the program, per user) hold the settings
    file on port 1 and a COM1 link that leads nowhere."""

    def __init__(self, bin_dir, out_dir):
        root = os.path.join(out_dir, "menu-action")
        shutil.rmtree(root, ignore_errors=True)
        self.prefix = os.path.join(root, "usr")
        self.bin = os.path.join(self.prefix, "bin")
        libexec = os.path.join(self.prefix, "libexec", "quendrel2-datarecorder")
        share = os.path.join(self.prefix, "share", "quendrel2-datarecorder")
        for folder in (self.bin, libexec, share):
            os.makedirs(folder)
        shutil.copy2(os.path.join(bin_dir, PROGRAM), self.bin)
        shutil.copy2(os.path.join(bin_dir, "quendrel_sim"), os.path.join(self.bin, "quendrel2-sim"))
        self.launcher = os.path.join(libexec, "start-recorder")
        shutil.copy(os.path.join(os.path.dirname(bin_dir), "desktop", "start-recorder"), self.launcher)
        os.chmod(self.launcher, 0o755)
        for name in ("qvx.ini", "sensor.ini"):
            shutil.copy2(os.path.join(REPO, "setup", "defaults", name), share)
        self.home = os.path.join(root, "home")
        self.runtime = os.path.join(root, "run")
        os.makedirs(self.runtime, mode=0o700)
        self.settings_folders = (self.bin, os.path.join(self.home, ".config", "Quendrel2"))
        os.makedirs(self.settings_folders[1])
        self.working_file = os.path.join(self.home, "Documents", "Quendrel2", "Vindo.qvx")
        self.log = os.path.join(out_dir, "menu-action.log")
        self.processes = []

    def write_settings(self, language):
        for folder in self.settings_folders:
            with open(os.path.join(folder, "qvx.ini"), "wb") as f:
                f.write(b"\r\n1\r\n" + latin1(language) + b"\r\n 0 \r\n 15 \r\n\r\n\r\n0\r\nReady\r\n")
            shutil.copy2(os.path.join(REPO, "setup", "defaults", "sensor.ini"), folder)
            if not os.path.islink(os.path.join(folder, "COM1")):
                os.symlink("/dev/ttyUSB7", os.path.join(folder, "COM1"))

    def snapshot(self):
        """Each entry of the settings folders: its content or link target, time and mode."""
        entries = {}
        for folder in self.settings_folders:
            for name in os.listdir(folder):
                path = os.path.join(folder, name)
                info = os.lstat(path)
                if os.path.islink(path):
                    content = os.readlink(path)
                else:
                    with open(path, "rb") as f:
                        content = f.read()
                entries[path] = (content, info.st_mtime_ns, info.st_mode)
        return entries

    def start(self):
        env = dict(os.environ, HOME=self.home, XDG_CONFIG_HOME=os.path.join(self.home, ".config"),
                   XDG_RUNTIME_DIR=self.runtime)
        process = subprocess.Popen([self.launcher, "--simulated"], env=env, start_new_session=True,
                                   stdout=open(self.log, "ab"), stderr=subprocess.STDOUT)
        self.processes.append(process)
        return process

    def left_running(self, process):
        """Live processes of the action's group or of the installation's programs."""
        process.poll()
        left = []
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                with open(f"/proc/{entry}/stat") as f:
                    fields = f.read().rsplit(")", 1)[1].split()
                exe = os.readlink(f"/proc/{entry}/exe") if fields[0] != "Z" else ""
            except OSError:
                continue
            if fields[0] != "Z" and (int(fields[2]) == process.pid or exe.startswith(self.prefix)):
                left.append(f"{entry} {exe}")
        return left

    def check_ended(self, process, before):
        """Nothing runs any more, the simulator's folder is gone, the settings are as they were."""
        d.wait_until(lambda: not self.left_running(process), "the recorder and the simulator to end")
        d.wait_until(lambda: not [n for n in os.listdir(self.runtime) if n.startswith("quendrel2-sim.")],
                     "the simulator's private folder to be removed", timeout=5)
        after = self.snapshot()
        changed = sorted(p for p in before.keys() | after.keys() if before.get(p) != after.get(p))
        if changed:
            raise StepFailed(f"the simulated start changed the settings folders: {changed}")

    def stop_all(self):
        for process in self.processes:
            try:
                os.killpg(process.pid, signal.SIGKILL)
            except (ProcessLookupError, PermissionError):
                pass
            process.wait()


class UserDay:
    def __init__(self, bin_dir, out_dir, shots_dir):
        self.bin_dir = bin_dir
        self.out_dir = out_dir
        self.shots_dir = shots_dir
        self.work = os.path.join(out_dir, "recorder")
        self.language = "English"
        self.app = None
        self.processes = []
        self.saved = os.path.join(self.work, "day1.csv")
        self.viewer = os.path.join(self.work, "spreadsheet")
        self.action = None

    # ------------------------------------------------------------ set-up

    def set_up(self):
        shutil.rmtree(self.work, ignore_errors=True)
        os.makedirs(self.work)
        sent = os.path.join(self.out_dir, "sent.bin")
        if os.path.exists(sent):
            os.remove(sent)   # the simulator appends
        # A copy, not a link: the program reads its files from its own folder.
        shutil.copy2(os.path.join(self.bin_dir, PROGRAM), self.work)
        shutil.copy2(os.path.join(REPO, "setup", "defaults", "sensor.ini"), self.work)
        with open(self.viewer, "w") as f:
            f.write('#!/bin/sh\nprintf "%s\\n" "$@" >> "$0.runs"\n'
                    'while [ ! -e "$0.close" ]; do sleep 0.05; done\n')
        os.chmod(self.viewer, 0o755)
        lines = [self.viewer, "1", "English", " 0 ", " 15 ", "", "", "0", "Ready"]
        with open(os.path.join(self.work, "qvx.ini"), "wb") as f:
            f.write(b"".join(latin1(line) + b"\r\n" for line in lines))
        self.sim = Simulator(os.path.join(self.bin_dir, "quendrel_sim"), self.work,
                             os.path.join(self.out_dir, "sent.bin"))
        recorder = subprocess.Popen([os.path.join(self.work, PROGRAM)], cwd=self.work,
                                    stdout=open(os.path.join(self.out_dir, "recorder.log"), "ab"),
                                    stderr=subprocess.STDOUT)
        self.processes.append(recorder)
        self.app = d.Application.wait_for(pid=recorder.pid)
        self.main = self.app.wait_window(MAIN_CAPTION)

    def tear_down(self):
        pids = {p.pid for p in self.processes}
        if self.app is not None:
            try:
                pids.add(self.app.pid)
            except Exception:
                pass
        for pid in pids:
            try:
                os.kill(pid, signal.SIGKILL)
            except (ProcessLookupError, PermissionError):
                pass
        for p in self.processes:
            p.wait()
        self.sim.stop()
        if self.action is not None:
            self.action.stop_all()

    # ------------------------------------------------------------ helpers

    def button(self, key, window=None):
        return d.wait_find(window or self.main, "push button", BUTTONS[self.language][key])

    def field(self, name):
        return d.wait_find(self.main, "text", name)

    def shot(self, name, window):
        if self.shots_dir:
            d.screenshot(os.path.join(self.shots_dir, name + ".png"), window)

    def header_line(self, prefix):
        """The text of the header label that begins with prefix, as a reader speaks it."""
        for acc in d.find_all(self.main, "label"):
            for spoken in (d.name_of(acc), acc.description or "", d.text_of(acc)):
                if spoken.startswith(prefix):
                    return spoken
        return None

    def figures_agree_with_instrument(self):
        """Logging time and ACT 1 shown together in one sample line sent."""
        seconds = d.text_of(self.field("Data logging time..")).strip()
        act1 = d.text_of(self.field("ACT 1")).strip()
        if not seconds or not act1:
            return False
        if self.language == "Deutsch":
            seconds, act1 = seconds.replace(",", "."), act1.replace(",", ".")
        for line in self.sim.sent().split(b"\r\n"):
            words = line.split()
            if len(words) == 7 and words[0] == latin1(seconds) and words[1] == latin1(act1):
                return True
        return False

    def stop_and_answer(self, answer):
        self.box_then(self.button("start"), SAVE_QUESTION[self.language], answer)

    def box_then(self, button, question, answer):
        d.press(button, opens_modal=True)
        box = self.app.wait_box(question)
        self.app.answer(box, answer)

    def file_dialog(self, title_hint, path, accept):
        dialog = d.wait_until(
            lambda: next((w for w in self.app.boxes() if d.find(w, "text", "File name:")), None),
            f"the {title_hint} file dialog")
        d.set_text(d.wait_find(dialog, "text", "File name:"), path)
        d.press(d.wait_find(dialog, "push button", accept), opens_modal=True)

    # ------------------------------------------------------------ steps

    def accessibleControlsSpeakTheirPurpose(self):
        for key, name in BUTTONS["English"].items():
            button = d.wait_find(self.main, "push button", name, what=f"the {key} button")
            state = button.getState()
            if not state.contains(d.pyatspi.STATE_FOCUSABLE):
                raise StepFailed(f"button {name!r} cannot take the keyboard focus")
        for name in ("Received data", "Notes for this measurement", "Data logging time..",
                     "ACT 1", "MAX 1", "MIN 1", "ACT 2", "MAX 2", "MIN 2"):
            self.field(name)
        for menu in ("File", "Settings", "Info", "?"):
            d.wait_find(self.main, "menu item", menu)

    def englishMeasurementShowsLiveFigures(self):
        d.set_text(self.field("Notes for this measurement"), NOTES)
        d.press(self.button("start"))
        self.sim.wait_event("START")
        d.wait_until(self.figures_agree_with_instrument, "figures that match a line the instrument sent")

    def headerLinesAndMetersAreSpoken(self):
        sent = self.sim.sent()
        for prefix in ("INP1 =", "INP2 ="):
            line = d.wait_until(lambda: self.header_line(prefix), f"the {prefix} header line", timeout=5)
            # The recorder shows the units degrC and degrF with the degree sign.
            as_sent = line.replace("\u00b0C", "degrC").replace("\u00b0F", "degrF")
            if latin1(as_sent) not in sent:
                raise StepFailed(f"header line {line!r} is not what the instrument sent")
        for meter in ("INP1", "INP2"):
            acc = d.wait_until(lambda: next((a for a in d.find_all(self.main) if d.name_of(a) == meter
                                             and "Value" in a.get_interfaces()), None),
                               f"meter {meter} exposing its level as a value", timeout=3)
            d.wait_until(lambda: d.value_of(acc)[1] > 0, f"meter {meter} to have its full scale")

    def graphOpensFromTheMainWindow(self):
        # Taken first: without a window manager the graph window opens over it.
        self.shot("main-window", self.main)
        graph_icon = d.wait_find(self.main, "push button", "Preview Graph")
        d.press(graph_icon)
        graph = self.app.wait_window("INP 1  INP 2  Preview Graph")
        time.sleep(60 if self.shots_dir else 3)
        self.shot("graph-window", graph)

    def stopSavesTheMeasurementByteForByte(self):
        self.stop_and_answer(YES[self.language])
        self.file_dialog("save", self.saved, "Save")
        d.wait_until(lambda: os.path.exists(self.saved) and os.path.getsize(self.saved) > 0,
                     "the saved CSV file")
        self.sim.wait_event("START", at_least=2)   # the save starts the next measurement
        self.check_saved_file()

    def stopWithoutSavingEmptiesTheWorkingFile(self):
        stops = self.sim.count("STOP")
        self.stop_and_answer(NO[self.language])
        d.wait_until(lambda: self.sim.count("STOP") > stops, "the stop after No")
        d.wait_until(lambda: os.path.getsize(os.path.join(self.work, "Vindo.qvx")) == 0,
                     "the working file to be emptied after No", timeout=5)

    def check_saved_file(self):
        with open(self.saved, "rb") as f:
            saved = f.read()
        notes = re.match(rb"  Time: \d\d:\d\d:\d\d\r  Date: [^\r\n]+\r" + rb"Notes :  " + latin1(NOTES) + rb"\r",
                         saved)
        if not notes:
            raise StepFailed(f"notes header not as expected: {saved[:80]!r}")
        body = saved[notes.end():]
        segment = measurement_segments(self.sim.sent())[0]
        if not segment.startswith(b"\r\n"):
            raise StepFailed("the instrument's first piece was not the empty line")
        expected = expected_csv_body(segment[2:])
        if not body or expected[:len(body)] != body:
            mismatch = next((i for i, (a, b) in enumerate(zip(body, expected)) if a != b), len(body))
            raise StepFailed(f"CSV differs at byte {notes.end() + mismatch}: "
                             f"{body[mismatch:mismatch + 40]!r} != {expected[mismatch:mismatch + 40]!r}")
        if not body.endswith(b"\r\n"):
            raise StepFailed("the saved file ends inside a line")
        # Lines still on the way when the port closed are the only ones missing.
        missing = expected[len(body):].count(b"\r\n")
        if missing > 2:
            raise StepFailed(f"{missing} lines the instrument sent are missing from the file")

    def openRunsSpreadsheetAndStaysResponsive(self):
        d.press(self.button("open"), opens_modal=True)
        self.file_dialog("open", self.saved, "Open")
        runs = self.viewer + ".runs"
        d.wait_until(lambda: os.path.exists(runs) and os.path.getsize(runs) > 0, "the spreadsheet program to start")
        with open(runs) as f:
            argument = f.read().splitlines()
        if argument != [self.saved]:
            raise StepFailed(f"spreadsheet program got {argument!r}, not the saved file")
        # While the program waits for the viewer it keeps answering.
        notes = self.field("Notes for this measurement")
        d.set_text(notes, "still here")
        d.wait_until(lambda: d.text_of(notes) == "still here", "the notes box to take text while waiting")
        if not self.app.responsive():
            raise StepFailed("the program did not answer while the viewer was open")
        open(self.viewer + ".close", "w").close()
        d.wait_until(lambda: subprocess.run(["pgrep", "-f", self.viewer], capture_output=True).returncode != 0,
                     "the spreadsheet program to end")

    def deleteDialogRemovesTheFile(self):
        d.press(self.button("delete"))
        form2 = self.app.wait_window(" Clean Measurement")
        files = d.wait_find(form2, "list", None, what="the file list")
        item = d.wait_until(lambda: next((files.getChildAtIndex(i) for i in range(files.childCount)
                                          if d.name_of(files.getChildAtIndex(i)) == "day1.csv"), None),
                            "day1.csv in the file list")
        d.click(item)
        d.wait_until(lambda: item.getState().contains(d.pyatspi.STATE_SELECTED), "day1.csv to be selected")
        self.shot("delete-dialog", form2)
        self.box_then(d.wait_find(form2, "push button", "Delete file"), "delete the selected file",
                      YES[self.language])
        d.wait_until(lambda: not os.path.exists(self.saved), "day1.csv to be deleted")
        d.wait_until(lambda: all(d.name_of(files.getChildAtIndex(i)) != "day1.csv"
                                 for i in range(files.childCount)), "the list to drop day1.csv")
        d.press(d.wait_find(form2, "push button", "Exit"))
        self.app.wait_window_gone(" Clean Measurement")

    def settingsRestartInGermanWithColours(self):
        old_pid = self.app.pid
        d.press(d.wait_find(self.main, "menu item", "User settings", showing=False))
        settings = self.app.wait_window(" User Settings")
        combos = d.find_all(settings, "combo box")
        language = next((c for c in combos if d.name_of(c) in ("English", "Deutsch", "Francais")), None)
        if language is None:
            raise StepFailed(f"no language list among {[d.name_of(c) for c in combos]}")
        d.click(language)
        d.keys("Home")
        d.keys("Return")
        d.wait_until(lambda: d.name_of(language) == "Deutsch", "Deutsch to be chosen")
        bars = [b for b in d.find_all(settings, "scroll bar")]
        if len(bars) < 2:
            raise StepFailed("the two colour bars are not reachable")
        d.set_value(bars[0], 15)
        d.set_value(bars[1], 1)
        d.wait_until(lambda: d.value_of(bars[0])[0] == 15 and d.value_of(bars[1])[0] == 1, "colours 15 and 1")
        self.shot("settings-dialog", settings)
        d.press(d.wait_find(settings, "push button", "Save"), opens_modal=True)

        self.app = d.Application.wait_for(exclude_pid=old_pid)
        self.language = "Deutsch"
        self.main = self.app.wait_window(MAIN_CAPTION)
        self.button("start")
        d.wait_find(self.main, "label", "Notizen")
        d.wait_find(self.main, "menu item", "Datei")
        with open(os.path.join(self.work, "qvx.ini"), "rb") as f:
            entries = f.read().split(b"\r\n")
        if entries[2] != b"Deutsch":
            raise StepFailed(f"settings file holds language {entries[2]!r}")
        self.check_colours()

    def check_colours(self):
        notes = self.field("Notitzen für diese Messung")
        x, y, w, h = d.extents(notes)
        pixel = subprocess.run([d.IMPORT, "-window", "root", "-crop", f"1x1+{x + w - 6}+{y + h // 2}",
                                "-depth", "8", "txt:-"], capture_output=True, text=True, timeout=30).stdout
        if "#000080" not in pixel.upper():
            raise StepFailed(f"notes box background is not colour 1 (navy): {pixel.strip()}")

    def germanMeasurementShowsDecimalCommas(self):
        starts = self.sim.count("START")
        d.press(self.button("start"))
        d.wait_until(lambda: self.sim.count("START") > starts, "the instrument to be started")
        d.wait_until(lambda: "," in d.text_of(self.field("ACT 1")), "ACT 1 with a decimal comma")
        d.wait_until(self.figures_agree_with_instrument, "figures that match a line the instrument sent")

    def pulledDeviceGivesOneBox(self):
        self.sim.pull()
        self.sim.wait_event("HANGUP")
        box = self.app.wait_box()
        time.sleep(2)   # a second box would have appeared by now
        boxes = self.app.boxes()
        if len(boxes) != 1:
            raise StepFailed(f"{len(boxes)} boxes after the device vanished")
        if not self.app.responsive():
            raise StepFailed("the program did not answer with the error box open")
        self.app.answer(box, CANCEL[self.language])
        d.wait_until(lambda: not self.app.boxes(), "the error box to close")
        d.wait_until(self.app.responsive, "the program to answer after the error")

    def exitAsksAndEnds(self):
        pid = self.app.pid
        self.box_then(self.button("exit"), SAVE_QUESTION[self.language], NO[self.language])
        d.wait_until(lambda: not os.path.exists(f"/proc/{pid}") or
                     open(f"/proc/{pid}/stat").read().split()[2] == "Z", "the program to end")

    def menuActionMeasuresOnItsOwnSimulator(self):
        self.action = action = MenuAction(self.bin_dir, self.out_dir)
        action.write_settings("English")
        before = action.snapshot()
        process = action.start()
        app = d.Application.wait_for(pid=process.pid, timeout=40)
        main = app.wait_window(MAIN_CAPTION + SIMULATED["English"])
        d.press(d.wait_find(main, "push button", BUTTONS["English"]["start"]))

        def figures_recorded():
            # The figures shown are those of a sample line in the working file.
            seconds = d.text_of(d.wait_find(main, "text", "Data logging time..")).strip()
            act1 = d.text_of(d.wait_find(main, "text", "ACT 1")).strip()
            with open(action.working_file, "rb") as f:
                recorded = f.read()
            return seconds and act1 and b"INP1 = " in recorded and any(
                re.split(rb"[\s;]+", line.strip())[:2] == [latin1(seconds), latin1(act1)]
                for line in recorded.split(b"\r\n"))
        d.wait_until(figures_recorded, "figures from the simulator in the window and the working file")

        # Exit is clicked: in a program's first 20 seconds AT-SPI does not time
        # a press out, and Exit's box holds the press's reply back until it closes.
        for button in ("start", "exit"):
            target = d.wait_find(main, "push button", BUTTONS["English"][button])
            if button == "exit":
                d.click(target)
            else:
                d.press(target, opens_modal=True)
            app.answer(app.wait_box(SAVE_QUESTION["English"]), NO["English"])
            d.wait_until(lambda: process.poll() is not None or not app.boxes(), "the question to close")
        process.wait(timeout=d.DEFAULT_WAIT_S)
        action.check_ended(process, before)

    def simulatedCaptionFollowsTheLanguage(self):
        if self.action is None:
            self.action = MenuAction(self.bin_dir, self.out_dir)
        self.action.stop_all()   # a copy left running would take the next start over
        for language in ("Deutsch", "Francais"):
            self.action.write_settings(language)
            before = self.action.snapshot()
            process = self.action.start()
            app = d.Application.wait_for(pid=process.pid, timeout=40)
            app.wait_window(MAIN_CAPTION + SIMULATED[language])
            # Ended from outside (a log-out): the simulator ends with it.
            process.terminate()
            process.wait(timeout=d.DEFAULT_WAIT_S)
            self.action.check_ended(process, before)


STEPS = [
    "accessibleControlsSpeakTheirPurpose",
    "englishMeasurementShowsLiveFigures",
    "headerLinesAndMetersAreSpoken",
    "graphOpensFromTheMainWindow",
    "stopSavesTheMeasurementByteForByte",
    "stopWithoutSavingEmptiesTheWorkingFile",
    "openRunsSpreadsheetAndStaysResponsive",
    "deleteDialogRemovesTheFile",
    "settingsRestartInGermanWithColours",
    "germanMeasurementShowsDecimalCommas",
    "pulledDeviceGivesOneBox",
    "exitAsksAndEnds",
    "menuActionMeasuresOnItsOwnSimulator",
    "simulatedCaptionFollowsTheLanguage",
]


def main(argv):
    if len(argv) < 3:
        print(__doc__)
        return 2
    bin_dir, out_dir = os.path.abspath(argv[1]), os.path.abspath(argv[2])
    shots_dir = os.path.abspath(argv[3]) if len(argv) > 3 else None
    os.makedirs(out_dir, exist_ok=True)
    d.init()
    day = UserDay(bin_dir, out_dir, shots_dir)
    passed = failed = 0
    try:
        day.set_up()
    except Exception:
        traceback.print_exc()
        d.screenshot(os.path.join(out_dir, "set-up.png"))
        print(f"FAIL set-up")
        print(f"0 passed, {len(STEPS)} failed")
        return 1
    try:
        for step in STEPS:
            started = time.monotonic()
            try:
                getattr(day, step)()
                passed += 1
                print(f"PASS {step} ({time.monotonic() - started:.1f} s)", flush=True)
            except Exception as error:
                failed += 1
                print(f"FAIL {step}: {error}", flush=True)
                if not isinstance(error, StepFailed):
                    traceback.print_exc()
                try:
                    d.screenshot(os.path.join(out_dir, f"{step}.png"))
                except Exception:
                    pass
                # Later steps must not be stuck behind a box this one left open.
                try:
                    for box in day.app.boxes():
                        d.keys("Escape")
                except Exception:
                    pass
    finally:
        day.tear_down()
    print(f"{passed} passed, {failed} failed")
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
