#!/usr/bin/env python3
"""The recorder on a real X display (Xvfb) with a measurement running, the
graph closed, beside picocom logging the same stream to a file as the floor
and, where it is installed, CuteCom (a graphical serial terminal) logging it
on the same display as the peer.

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
  xvfb_peer_cpu_percent_instrument_rate
                                     CuteCom's CPU at 4 lines a second, the
                                     port opened and logging to a file
  xvfb_cpu_vs_peer_instrument_rate   the recorder's CPU at 4 lines a second
                                     divided by CuteCom's

Each program gets its own simulator sending a fixed number of lines; CPU and
switches are taken over a window inside the sending time; at the fast
interval the recorder and picocom run at the same time, so a busy moment of
the machine weighs on both alike. Sanity check (exit status 1): once the
simulator is quiet, the recorder's working file ends with every byte the
simulator sent after the leading empty line (which the notes header
replaces), and picocom's log and CuteCom's log hold every byte sent.
Without picocom the floor figures are left out; without CuteCom (or a C
compiler, see cutecom_run) the peer figures are, with a note on standard error.
"""

import os
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

BIN = sys.argv[1]
WINDOW = float(sys.argv[2]) if len(sys.argv) > 2 else 20.0
SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TICK = os.sysconf("SC_CLK_TCK")
LEAD = 3.0  # seconds from the first line to the start of the window


def process_figures(pid):
    """CPU seconds (in clock ticks, threads that ended included), CPU
    nanoseconds per thread (exact, from the scheduler), context switches of
    all threads, and the threads."""
    fields = open(f"/proc/{pid}/stat").read().rsplit(")", 1)[1].split()
    cpu = (int(fields[11]) + int(fields[12])) / TICK
    switches = 0
    tasks = os.listdir(f"/proc/{pid}/task")
    run_ns = {}
    for task in tasks:
        try:
            with open(f"/proc/{pid}/task/{task}/status") as status:
                for line in status:
                    if line.startswith(("voluntary_ctxt_switches", "nonvoluntary_ctxt_switches")):
                        switches += int(line.split()[1])
            with open(f"/proc/{pid}/task/{task}/schedstat") as schedstat:
                run_ns[task] = int(schedstat.read().split()[0])
        except (OSError, ValueError, IndexError):
            pass
    return cpu, run_ns, switches, tasks


def cpu_seconds_between(before, after):
    """CPU seconds between two process_figures: to the nanosecond when the
    same threads ran throughout (at a few lines a second the clock ticks
    alone would be several per cent off), otherwise from the ticks."""
    if set(before[1]) == set(after[1]) == set(before[3]) == set(after[3]):
        return sum(after[1][t] - before[1][t] for t in after[1]) / 1e9
    return after[0] - before[0]


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
    before = process_figures(pid)
    lines0, t0 = sent_lines(sent), time.monotonic()
    time.sleep(WINDOW)
    after = process_figures(pid)
    lines1, t1 = sent_lines(sent), time.monotonic()
    wall = t1 - t0
    return (100 * cpu_seconds_between(before, after) / wall, (after[2] - before[2]) / wall,
            (lines1 - lines0) / wall, len(after[3]))


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


def all_logged(who, folder, log, lines, skip_blank_first_line=False):
    """Once the simulator and `log` are quiet: True when `log` ends with every
    byte the simulator sent (after its leading empty line, which the
    recorder's notes header replaces, when `skip_blank_first_line`) and at
    least `lines` lines were sent; otherwise says so on standard error."""
    sent_path = os.path.join(folder, "sent.bin")
    wait_quiet(sent_path)
    wait_quiet(log)
    sent = open(sent_path, "rb").read()
    if skip_blank_first_line and sent.startswith(b"\r\n"):
        sent = sent[2:]
    logged = open(log, "rb").read() if os.path.exists(log) else b""
    ok = sent.count(b"\n") >= lines and logged.endswith(sent)
    if not ok:
        print(f"xvfb_rates: {who}: {len(sent)} bytes sent, {len(logged)} in {os.path.basename(log)}, "
              "not all recorded", file=sys.stderr)
    return ok


def find_window(pid, name, env):
    """The visible window of process `pid` whose title holds `name`, once it
    has settled for a second; an empty text when none appeared."""
    window = ""
    for _ in range(100):
        found = subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--pid", str(pid),
                                "--name", name], env=env, capture_output=True, text=True, timeout=10)
        window = found.stdout.split()[0] if found.stdout.split() else ""
        if window:
            break
        time.sleep(0.1)
    time.sleep(1.0)
    return window


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
            window = find_window(rec.pid, "Quendrel Data Recorder", env)
            # Start is the first button of the tool row.
            subprocess.run(["xdotool", "mousemove", "--window", window, "28", "46", "click", "1"],
                           env=env, check=True)
            cpu, switches, received, threads = measure(rec.pid, folder)
            ok = all_logged(f"recorder at {interval_ms} ms", folder, os.path.join(folder, "Vindo.qvx"), lines,
                            skip_blank_first_line=True)
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
            ok = all_logged(f"picocom at {interval_ms} ms", folder, log, lines)
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


# Linux pseudo-terminals have no modem lines: TIOCMGET fails with ENOTTY, and
# CuteCom takes that error as a reason to close the port again. This shim,
# loaded into CuteCom alone, answers the modem-line requests for such a device
# as a serial port with its lines up would; every other request goes through.
MODEM_LINES_SHIM = r"""
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdarg.h>
#include <sys/ioctl.h>
int ioctl(int fd, unsigned long request, ...)
{
    static int (*real)(int, unsigned long, void *);
    va_list ap;
    va_start(ap, request);
    void *arg = va_arg(ap, void *);
    va_end(ap);
    if (!real)
        real = (int (*)(int, unsigned long, void *))dlsym(RTLD_NEXT, "ioctl");
    int result = real(fd, request, arg);
    if (result < 0 && errno == ENOTTY) {
        if (request == TIOCMGET) {
            *(int *)arg = TIOCM_DTR | TIOCM_RTS | TIOCM_CTS | TIOCM_DSR | TIOCM_CAR;
            return 0;
        }
        if (request == TIOCMSET || request == TIOCMBIS || request == TIOCMBIC)
            return 0;
    }
    return result;
}
"""


def peer_skip_reason():
    if not shutil.which("cutecom"):
        return "cutecom is not installed"
    if not shutil.which("cc"):
        return "no C compiler (cc) for the modem-line shim"
    return None


def cutecom_run(display, interval_ms, rate):
    """CuteCom on the same display, its settings and log in a fresh folder:
    a session on the simulator's link, the line ending set to hexadecimal
    input, the log file named. Logging is ticked and Open clicked with
    xdotool, then the start code (02 in hexadecimal) is typed into its input
    line, as a user would. CPU is taken over the same window as the
    recorder's."""
    folder = tempfile.mkdtemp(prefix="qdr-peer-")
    port = os.path.join(folder, "COM1")
    lock = "/var/lock/LCK.." + port.replace("/", "_")
    try:
        shim = os.path.join(folder, "modemlines.so")
        with open(os.path.join(folder, "modemlines.c"), "w") as source:
            source.write(MODEM_LINES_SHIM)
        subprocess.run(["cc", "-shared", "-fPIC", "-O2", "-o", shim, source.name, "-ldl"], check=True)
        config = os.path.join(folder, "config", "CuteCom")
        os.makedirs(config)
        log = os.path.join(folder, "cutecom.log")
        with open(os.path.join(config, "CuteCom5.conf"), "w") as conf:
            conf.write(f"[CuteCom]\nCharacterDelay=0\nLineTerminator=4\nLogFileLocation={log}\n"
                       "Protocol=0\nsession=bench\n\n[sessions]\n"
                       f"1\\BaudRate=2400\n1\\DataBits=8\n1\\Device={port}\n1\\FlowControl=0\n"
                       "1\\OpenMode=3\n1\\Parity=0\n1\\StopBits=1\n1\\autoReconnect=false\n"
                       "1\\name=bench\n1\\showCtrlCharacters=false\n1\\showTimestamp=false\nsize=1\n")
        lines = int(rate * (LEAD + WINDOW + 4))
        sim = start_simulator(folder, interval_ms, lines)
        runtime = os.path.join(folder, "runtime")
        os.mkdir(runtime, 0o700)
        env = dict(os.environ, DISPLAY=display, XDG_RUNTIME_DIR=runtime, HOME=folder, LD_PRELOAD=shim,
                   XDG_CONFIG_HOME=os.path.join(folder, "config"))
        env.pop("QT_QPA_PLATFORM", None)
        peer = subprocess.Popen(["cutecom", "--session", "bench"], cwd=folder, env=env,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        env.pop("LD_PRELOAD")
        try:
            window = find_window(peer.pid, "CuteCom", env)

            def click(x, y):
                subprocess.run(["xdotool", "mousemove", "--window", window, str(x), str(y), "click", "1"],
                               env=env, check=True)
                time.sleep(0.3)

            click(206, 640)  # the Logging check box below the output
            click(50, 43)    # Open, the first button of the top row
            click(137, 243)  # the input line
            subprocess.run(["xdotool", "type", "--window", window, "02"], env=env, check=True)
            subprocess.run(["xdotool", "key", "--window", window, "Return"], env=env, check=True)
            cpu, _, _, _ = measure(peer.pid, folder)
            ok = all_logged(f"CuteCom at {interval_ms} ms", folder, log, lines)
        finally:
            peer.kill()
            peer.wait()
            sim.kill()
            sim.wait()
        return ok, cpu
    finally:
        # The serial port's lock file outlives a killed CuteCom.
        try:
            os.remove(lock)
        except OSError:
            pass
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
        # The recorder and the floor run side by side, each on a stream of
        # its own, so both meet the same load from the rest of the machine.
        floor_result = []
        floor = None
        if shutil.which("picocom") and shutil.which("script"):
            floor = threading.Thread(target=lambda: floor_result.append(picocom_run(1, 900)))
            floor.start()
        try:
            ok, cpu_fast, _, received_fast, _ = recorder_run(display, 1, 900)
        finally:
            if floor:
                floor.join()
        all_ok &= ok
        print(f"xvfb_cpu_percent_fast {cpu_fast:.2f} %")
        print(f"xvfb_lines_per_s_fast {received_fast:.0f} lines/s")
        if floor:
            if not floor_result:
                raise SystemExit("xvfb_rates: picocom did not run")
            ok, floor_cpu = floor_result[0]
            all_ok &= ok
            print(f"xvfb_floor_cpu_percent_fast {floor_cpu:.2f} %")
            print(f"xvfb_cpu_vs_floor_fast {cpu_fast / max(floor_cpu, 0.01):.2f} x")
        skipped = peer_skip_reason()
        if skipped:
            print(f"xvfb_rates: {skipped}, CuteCom comparison skipped", file=sys.stderr)
        else:
            ok, peer = cutecom_run(display, 250, 4)
            all_ok &= ok
            print(f"xvfb_peer_cpu_percent_instrument_rate {peer:.2f} %")
            print(f"xvfb_cpu_vs_peer_instrument_rate {cpu / max(peer, 0.01):.2f} x")
    finally:
        xvfb.terminate()
        xvfb.wait()
    return 0 if all_ok else 1


if __name__ == "__main__":
    sys.exit(main())
