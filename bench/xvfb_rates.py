#!/usr/bin/env python3
"""The recorder on a real X display (Xvfb) with a measurement running, the
graph closed, beside picocom logging the same stream to a file as the floor.

    xvfb_rates.py BIN_DIR [SECONDS]

Prints, one per line (NAME VALUE UNIT):

  xvfb_cpu_percent_instrument_rate   the recorder's CPU (all threads, share of
                                     one core) at 4 lines a second
  xvfb_switches_per_line_instrument_rate
                                     context switches of all its threads per
                                     received line at that rate
  xvfb_threads_instrument_rate       its threads at the end of that window
  xvfb_cpu_percent_fast              its CPU at the simulator's fastest
                                     interval (1 ms)
  xvfb_floor_cpu_percent_fast        picocom's CPU on the same stream
  xvfb_cpu_vs_floor_fast             the ratio of the two

Each program gets its own simulator sending a fixed number of lines; CPU and
switches are taken over a window inside the sending time. Sanity check (exit
status 1): once the simulator is quiet, the recorder's working file ends with
every byte the simulator sent after the leading empty line (which the notes
header replaces), and picocom's log holds every byte sent. Without picocom the
floor figures are left out.
"""

import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

BIN = sys.argv[1]
WINDOW = float(sys.argv[2]) if len(sys.argv) > 2 else 20.0
SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TICK = os.sysconf("SC_CLK_TCK")
LEAD = 3.0  # seconds from the first line to the start of the window


def process_figures(pid):
    """CPU seconds and context switches of all threads, and the thread count."""
    fields = open(f"/proc/{pid}/stat").read().rsplit(")", 1)[1].split()
    cpu = (int(fields[11]) + int(fields[12])) / TICK
    switches = 0
    tasks = os.listdir(f"/proc/{pid}/task")
    for task in tasks:
        try:
            with open(f"/proc/{pid}/task/{task}/status") as status:
                for line in status:
                    if line.startswith(("voluntary_ctxt_switches", "nonvoluntary_ctxt_switches")):
                        switches += int(line.split()[1])
        except OSError:
            pass
    return cpu, switches, len(tasks)


def sent_lines(path):
    try:
        with open(path, "rb") as f:
            return f.read().count(b"\n")
    except OSError:
        return 0


def start_simulator(folder, interval_ms, lines):
    sim = subprocess.Popen(
        [os.path.join(BIN, "quendrel_sim"), "--port", "1", "--dir", folder,
         "--interval-ms", str(interval_ms), "--lines", str(lines),
         "--sent", os.path.join(folder, "sent.bin")],
        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    if not sim.stdout.readline().startswith("READY"):
        raise SystemExit("xvfb_rates: the simulator did not start")
    return sim


def measure(pid, folder):
    """CPU %, switches per second and lines per second over the window."""
    sent = os.path.join(folder, "sent.bin")
    time.sleep(LEAD)
    cpu0, sw0, _ = process_figures(pid)
    lines0, t0 = sent_lines(sent), time.monotonic()
    time.sleep(WINDOW)
    cpu1, sw1, threads = process_figures(pid)
    lines1, t1 = sent_lines(sent), time.monotonic()
    wall = t1 - t0
    return 100 * (cpu1 - cpu0) / wall, (sw1 - sw0) / wall, (lines1 - lines0) / wall, threads


def wait_quiet(path, settle=1.5, limit=120):
    """Waits until `path` has not grown for `settle` seconds."""
    end = time.monotonic() + limit
    last, since = -1, time.monotonic()
    while time.monotonic() < end:
        size = os.path.getsize(path) if os.path.exists(path) else 0
        if size != last:
            last, since = size, time.monotonic()
        elif time.monotonic() - since >= settle:
            return
        time.sleep(0.2)


def recorder_run(display, interval_ms, rate):
    folder = tempfile.mkdtemp(prefix="qdr-xvfb-")
    try:
        for name in ("qvx.ini", "sensor.ini"):
            shutil.copy(os.path.join(SOURCE, "setup", "defaults", name), folder)
        # The program's folder holds its settings and the port link.
        shutil.copy(os.path.join(BIN, "Quendrel2_Datarecorder"), folder)
        lines = int(rate * (LEAD + WINDOW + 4))
        sim = start_simulator(folder, interval_ms, lines)
        env = dict(os.environ, DISPLAY=display, XDG_RUNTIME_DIR=folder)
        env.pop("QT_QPA_PLATFORM", None)
        rec = subprocess.Popen([os.path.join(folder, "Quendrel2_Datarecorder")], cwd=folder, env=env,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            window = ""
            for _ in range(100):
                found = subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--pid", str(rec.pid),
                                        "--name", "Quendrel Data Recorder"],
                                       env=env, capture_output=True, text=True, timeout=10)
                window = found.stdout.split()[0] if found.stdout.split() else ""
                if window:
                    break
                time.sleep(0.1)
            time.sleep(1.0)
            # Start is the first button of the tool row.
            subprocess.run(["xdotool", "mousemove", "--window", window, "28", "46", "click", "1"],
                           env=env, check=True)
            cpu, switches, received, threads = measure(rec.pid, folder)
            sent_path = os.path.join(folder, "sent.bin")
            wait_quiet(sent_path)
            wait_quiet(os.path.join(folder, "Vindo.qvx"))
            sent = open(sent_path, "rb").read()
            recorded = open(os.path.join(folder, "Vindo.qvx"), "rb").read()
            body = sent[2:] if sent.startswith(b"\r\n") else sent
            ok = sent_lines(sent_path) >= lines and recorded.endswith(body)
            if not ok:
                print(f"xvfb_rates: recorder at {interval_ms} ms: {len(body)} bytes sent, "
                      f"{len(recorded)} in the working file, not all recorded", file=sys.stderr)
        finally:
            rec.kill()
            rec.wait()
            sim.kill()
            sim.wait()
        return ok, cpu, switches, received, threads
    finally:
        shutil.rmtree(folder, ignore_errors=True)


def picocom_run(interval_ms, rate):
    folder = tempfile.mkdtemp(prefix="qdr-floor-")
    try:
        lines = int(rate * (LEAD + WINDOW + 4))
        sim = start_simulator(folder, interval_ms, lines)
        log = os.path.join(folder, "picocom.log")
        # picocom wants a terminal on its standard input; `script` gives it one.
        cmd = (f"picocom --quiet --baud 2400 --initstring $'\\x02' --logfile {log} "
               f"{os.path.join(folder, 'COM1')} > /dev/null")
        floor = subprocess.Popen(["script", "-qfec", f"bash -c \"{cmd}\"", "/dev/null"],
                                 stdin=subprocess.PIPE, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            pid = None
            for _ in range(50):
                found = subprocess.run(["pgrep", "-P", str(floor.pid)], capture_output=True, text=True)
                children = found.stdout.split()
                for child in children:
                    inner = subprocess.run(["pgrep", "-x", "-P", child, "picocom"], capture_output=True, text=True)
                    pid = (inner.stdout.split() or [None])[0]
                    if pid is None and open(f"/proc/{child}/comm").read().strip() == "picocom":
                        pid = child
                    if pid:
                        break
                if pid:
                    break
                time.sleep(0.1)
            if not pid:
                raise SystemExit("xvfb_rates: picocom did not start")
            cpu, _, _, _ = measure(int(pid), folder)
            sent_path = os.path.join(folder, "sent.bin")
            wait_quiet(sent_path)
            wait_quiet(log)
            ok = open(log, "rb").read().endswith(open(sent_path, "rb").read())
            if not ok:
                print(f"xvfb_rates: picocom at {interval_ms} ms did not log every byte", file=sys.stderr)
        finally:
            if pid:
                try:
                    os.kill(int(pid), signal.SIGKILL)
                except OSError:
                    pass
            floor.kill()
            floor.wait()
            sim.kill()
            sim.wait()
        return ok, cpu
    finally:
        shutil.rmtree(folder, ignore_errors=True)


def main():
    display_number = 90 + os.getpid() % 50
    display = f":{display_number}"
    xvfb = subprocess.Popen(["Xvfb", display, "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(1.0)
    all_ok = True
    try:
        ok, cpu, switches, received, threads = recorder_run(display, 250, 4)
        all_ok &= ok
        print(f"xvfb_cpu_percent_instrument_rate {cpu:.2f} %")
        print(f"xvfb_switches_per_line_instrument_rate {switches / max(received, 1e-9):.2f} switches")
        print(f"xvfb_threads_instrument_rate {threads} threads")
        ok, cpu_fast, _, received_fast, _ = recorder_run(display, 1, 900)
        all_ok &= ok
        print(f"xvfb_cpu_percent_fast {cpu_fast:.2f} %")
        print(f"xvfb_lines_per_s_fast {received_fast:.0f} lines/s")
        if shutil.which("picocom") and shutil.which("script"):
            ok, floor = picocom_run(1, 900)
            all_ok &= ok
            print(f"xvfb_floor_cpu_percent_fast {floor:.2f} %")
            print(f"xvfb_cpu_vs_floor_fast {cpu_fast / max(floor, 0.01):.2f} x")
    finally:
        xvfb.terminate()
        xvfb.wait()
    return 0 if all_ok else 1


if __name__ == "__main__":
    sys.exit(main())
