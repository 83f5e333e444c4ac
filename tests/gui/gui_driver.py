"""Drives the real Velmora window under Wine the way a user does, for the GUI
cases in gui_tests.py.

Actions are X events from xdotool (keys, clicks, drags) on a virtual screen of
the suite's own; what the window shows is read back with the probe
(tests/gui/probe.cpp), run as one long-lived "probe serve" process: starting a
Windows program for every look at the window would cost a large part of a
second each time.

A case is a function registered with Session.case; the sessions run in the
order they were made, each on a freshly started program, their cases in the
order they were written. A case acts through Gui's action methods and checks
with Gui.expect (wait until the window shows it, then check that it still does
a moment later), Gui.wait_for (the same without the second look),
Gui.expect_probe (facts of another probe command) and Gui.verify (a
comparison made by the case itself). Every failed action, expectation or
comparison raises CaseFailed, which ends the case with its message.

Environment: VELMORA_GUI_WINEPREFIX (default: the usual prefix + "-gui"),
VELMORA_GUI_DISPLAY (default :88; its own screen, so that other programs'
windows, focus and clipboard stay out of the way), VELMORA_GUI_SESSIONS (names
of sessions, comma-separated: run only those, e.g. while writing a case),
VELMORA_GUI_COUNT (set: say on stderr how many expectations and comparisons
were checked).
"""
import fcntl
import os
import pwd
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import traceback
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
COMMON_SH = ROOT / "scripts" / "common.sh"

START_TIMEOUT = 40     # seconds for the window to appear (a cold Wine is slow)
SETTLE_TIMEOUT = 3     # seconds for the window to show what a case expects
HOLD = 0.3             # then the same must still hold this much later
POLL = 0.05            # between two looks while waiting
PROBE_TIMEOUT = 15     # seconds for each line of a probe answer
LOCK_TIMEOUT = 300     # seconds to wait for another run on the same screen
KEY_DELAY = "30"       # milliseconds between typed keys

MISSING = "<none>"     # what an expectation sees for a fact the window does not report


class CaseFailed(Exception):
    """Ends a case as failed; the message says what went wrong."""


class Skipped(Exception):
    """Ends a case as not run here; the message says why."""


class StartFailed(Exception):
    """The program could not be started and made ready for a session."""


def die(message):
    """Like velmora_die: "SCRIPT: MESSAGE" on stderr, exit status 1."""
    print(f"{Path(sys.argv[0]).name}: {message}", file=sys.stderr)
    sys.exit(1)


# ---- Facts ----

class Begins:
    """An expected value that only has to begin with `prefix`."""

    def __init__(self, prefix):
        self.prefix = prefix


def begins(prefix):
    return Begins(prefix)


def parse_facts(text):
    """The "key=value" lines of a probe answer as a dict; a key seen again gets
    another line in its value."""
    facts = {}
    for line in text.split("\n"):
        if "=" not in line:
            continue
        key, value = line.split("=", 1)
        facts[key] = f"{facts[key]}\n{value}" if key in facts else value
    return facts


def expectations(dicts, keywords):
    """Expected facts from dicts (for keys that are no Python names) and
    keyword arguments, where "_" stands for "." (dialog_class: dialog.class)."""
    wanted = {}
    for d in dicts:
        wanted.update(d)
    for name, value in keywords.items():
        wanted[name.replace("_", ".")] = value
    return wanted


def mismatches(facts, wanted):
    """A description of the expectations that `facts` do not meet, or ""."""
    found = []
    for key, want in wanted.items():
        got = facts.get(key, MISSING)
        if isinstance(want, Begins):
            if not got.startswith(want.prefix):
                found.append(f"{key}: expected to begin with '{want.prefix}', got '{got}'")
        elif got != str(want):
            found.append(f"{key}: expected '{want}', got '{got}'")
    return "; ".join(found)


def rect(text):
    """"l t r b" (the first line of text) as four ints, or None."""
    fields = text.split("\n", 1)[0].split()
    if len(fields) != 4:
        return None
    try:
        return tuple(int(f) for f in fields)
    except ValueError:
        return None


def half(n):
    """n / 2 truncated towards zero, as the shell's arithmetic does."""
    return -(-n // 2) if n < 0 else n // 2


def placement(outer, inner):
    """"yes" when rectangle `inner` is centred on `outer` (a rectangle or a
    screen size "WxH"), halves truncated; otherwise where it is and where
    centred would be, or "unknown"."""
    if "x" in outer:
        try:
            width, height = (int(n) for n in outer.split("x", 1))
        except ValueError:
            return "unknown"
        box = (0, 0, width, height)
    else:
        box = rect(outer)
    r = rect(inner)
    if box is None or r is None:
        return "unknown"
    ol, ot, orr, ob = box
    l, t, rr, b = r
    cl, ct = ol + half(orr - ol - (rr - l)), ot + half(ob - ot - (b - t))
    return "yes" if (l, t) == (cl, ct) else f"at {l},{t}; centred is {cl},{ct}"


def add_derived_facts(s):
    """Adds to the facts of "probe state":
      results       the six result texts, "Zor|Gainr|R2|R4|Zio|Decr"
      printcopy     enabled states of Print and Copy, e.g. "11"
      dialogs       number of other visible windows of the program
      dialog.buttons / dialog.text   captions of the dialog's buttons / texts, comma-separated
      window.centred / dialog.centred   "yes", or where it is and where centred would be
    and the help window's (add_help_facts)."""
    s["results"] = "|".join(s.get(f"text.{n}", "") for n in
                            ("EditZor", "EditGainr", "EditR2", "EditR4", "EditZio", "EditDecr"))
    s["printcopy"] = s.get("enabled.ButtonPrint", "") + s.get("enabled.ButtonCopy", "")
    classes = s.get("dialog.class", "")
    n = classes.count("\n") + 1 if classes else 0
    s["dialogs"] = str(n)
    buttons, texts = [], []
    for i in range(1, 100):
        child = s.get(f"dialog.child{i}")
        if child is None:
            break
        cls, _, rest = child.partition("|")
        text = rest.rsplit("|", 1)[0]
        if cls == "Button":
            buttons.append(text)
        elif cls == "Static" and text:
            texts.append(text)
    s["dialog.buttons"] = ",".join(buttons)
    s["dialog.text"] = ",".join(texts)
    s["window.centred"] = placement(s.get("screen", ""), s.get("window", ""))
    s["dialog.centred"] = placement(s.get("window", ""), s.get("dialog.rect", "")) if n == 1 else ""
    add_help_facts(s)


def add_help_facts(s):
    """The help window's derived facts:
      help.line1 / help.lines   first line of its text / number of lines
      help.memofits             "yes" when the text box covers the client area exactly
      help.firstplace           "yes" when it sits where its first showing puts it"""
    if "help.text" not in s:
        return
    lines = s["help.text"].split("\\r\\n")
    s["help.line1"] = lines[0]
    s["help.lines"] = str(len(lines))
    memo, client = s.get("help.memorect", ""), s.get("help.clientrect", "")
    s["help.memofits"] = "yes" if memo == client else f"text box {memo}, client {client}"
    main, help_, work = rect(s.get("window", "")), rect(s.get("help.rect", "")), rect(s.get("workarea", ""))
    if main is None or help_ is None or work is None:
        s["help.firstplace"] = "unknown"
        return
    # Centred on the main window's outer rectangle, then pushed right/down into
    # the work area; its right and bottom edges do not count.
    ml, mt, mr, mb = main
    hl, ht, hr, hb = help_
    l = max(ml + half(mr - ml - (hr - hl)), work[0])
    t = max(mt + half(mb - mt - (hb - ht)), work[1])
    s["help.firstplace"] = "yes" if (hl, ht) == (l, t) else f"at {hl},{ht}; expected {l},{t}"


# ---- The probe ----

class ProbeAnswer:
    def __init__(self, code, output):
        self.code = code      # the command's exit code; 9: no answer
        self.output = output  # its lines, Windows line ends removed

    @property
    def ok(self):
        return self.code == 0


def end_process(process, timeout, last_input=b""):
    """Writes `last_input` to a child's input and closes it, waits `timeout`
    seconds for the child to end (killing it after that) and closes its output."""
    try:
        if last_input:
            process.stdin.write(last_input)
        process.stdin.close()
    except OSError:
        pass
    try:
        process.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()
    process.stdout.close()


class Probe:
    """One long-lived "probe serve": a command per line in, its output and
    "end=CODE" out. Restarted at the next command after it stopped answering."""

    def __init__(self, exe):
        self.exe = exe
        self.process = None
        self.pending = b""

    def start(self):
        self.stop()
        self.process = subprocess.Popen(["wine", self.exe, "serve"], stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.pending = b""

    def stop(self):
        process, self.process = self.process, None
        if process is None:
            return
        end_process(process, 2)  # "serve" ends at the end of its input

    def line(self):
        """The next line of the answer, or None after PROBE_TIMEOUT without one."""
        deadline = time.monotonic() + PROBE_TIMEOUT
        fd = self.process.stdout.fileno()
        while b"\n" not in self.pending:
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([fd], [], [], left)[0]:
                return None
            chunk = os.read(fd, 65536)
            if not chunk:
                return None
            self.pending += chunk
        line, self.pending = self.pending.split(b"\n", 1)
        return line.decode("utf-8", "replace").rstrip("\r")

    def run(self, command):
        if self.process is None or self.process.poll() is not None:
            self.start()
        try:
            self.process.stdin.write(command.encode() + b"\n")
            self.process.stdin.flush()
        except OSError:
            self.stop()
            return ProbeAnswer(9, "")
        lines = []
        while (line := self.line()) is not None:
            if line.startswith("end="):
                code = int(line[4:]) if line[4:].isdigit() else 9
                return ProbeAnswer(code, "\n".join(lines))
            lines.append(line)
        self.stop()  # no answer in time: a fresh probe at the next call
        return ProbeAnswer(9, "")


# ---- Other programs ----

def xdotool(*args, timeout=None):
    """Runs xdotool; True when it succeeded."""
    try:
        return subprocess.run(["xdotool", *map(str, args)], stdin=subprocess.DEVNULL,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              timeout=timeout).returncode == 0
    except subprocess.TimeoutExpired:
        return False


def run_wine(exe, *args):
    """Runs a Windows console program to its end: (exit status, stdout bytes).
    Wine's loader has been seen to assert at process exit ("Inconsistency
    detected by ld.so", status 127) after the program did its work: such a
    run is repeated, up to three times in all."""
    for _ in range(3):
        done = subprocess.run(["wine", exe, *args], stdin=subprocess.DEVNULL,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        if not (done.returncode == 127 and b"Inconsistency detected by ld.so" in done.stderr):
            break
    return done.returncode, done.stdout


def windows_path(path):
    """A Linux path as Wine's drive Z: shows it."""
    return "Z:" + str(path).replace("/", "\\")


# ---- Set-up: locale, tools, lock, display and prefix ----

def use_utf8_locale():
    """Text crosses into Wine in the locale's encoding (arguments such as "∞",
    file names): without a UTF-8 locale Wine garbles them; C.UTF-8 is always
    there on Debian."""
    env = dict(os.environ, LC_ALL=os.environ.get("LC_ALL", ""))
    charmap = subprocess.run(["locale", "charmap"], env=env, stdout=subprocess.PIPE,
                             stderr=subprocess.DEVNULL, text=True).stdout.strip()
    if charmap != "UTF-8":
        os.environ["LC_ALL"] = "C.UTF-8"


def need(*commands):
    for c in commands:
        if shutil.which(c) is None:
            die(f"'{c}' not found; run scripts/install-deps.sh first")


def default_prefix():
    home = os.environ.get("HOME") or pwd.getpwuid(os.getuid()).pw_dir
    return os.environ.get("VELMORA_WINEPREFIX") or f"{home}/.cache/velmora/wine"


def take_lock(path):
    """Holds an exclusive lock on `path` for the life of this process (one
    suite per screen at a time). The descriptor is not inherited, so that
    Wine's long-lived helpers do not keep the lock after the suite ends."""
    fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC | os.O_CLOEXEC, 0o666)
    deadline = time.monotonic() + LOCK_TIMEOUT
    while True:
        try:
            fcntl.flock(fd, fcntl.LOCK_EX | fcntl.LOCK_NB)
            return fd
        except BlockingIOError:
            if time.monotonic() > deadline:
                die(f"timed out waiting for {path} (another GUI test run?)")
            time.sleep(0.1)


def use_wine(prefix):
    """velmora_use_wine (scripts/common.sh): the virtual screen, then the
    prefix and its wineserver; takes over DISPLAY, WINEPREFIX and WINEDEBUG."""
    with tempfile.NamedTemporaryFile("r") as out:
        script = ('source "$1" && velmora_use_wine "$2" 1 && '
                  'printf "%s\\n" "$DISPLAY" "$WINEPREFIX" "$WINEDEBUG" >"$3"')
        done = subprocess.run(["bash", "-c", script, "bash", str(COMMON_SH), prefix, out.name],
                              stdin=subprocess.DEVNULL)
        values = out.read().split("\n")
    if done.returncode != 0 or len(values) < 3:
        sys.exit(1)  # the helper said why
    os.environ["DISPLAY"], os.environ["WINEPREFIX"], os.environ["WINEDEBUG"] = values[:3]


def velmora_text(name):
    """The user text NAME as the build of the program under test (the folder
    of the first argument) lists it in generated/velmora_texts.tsv, made from
    src/main/texts.txt (escapes such as \\r\\n as they stand there), like
    velmora_text in scripts/common.sh."""
    texts = Path(sys.argv[1]).resolve().parent / "generated" / "velmora_texts.tsv"
    if not texts.is_file():
        die(f"no {texts}: configure that build first")
    for line in texts.read_text(encoding="utf-8").splitlines():
        key, _, text = line.partition("\t")
        if key == name:
            return text
    die(f"no text {name} in {texts}")


def velmora_title(build_dir):
    """The main window's title that the build in build_dir gives it."""
    file = Path(build_dir) / "generated" / "velmora_title.txt"
    if not file.is_file() or file.stat().st_size == 0:
        die(f"no {file}: configure that build first")
    return file.read_text(encoding="utf-8").rstrip("\n")


# ---- The program under test, its window and a user's actions ----

class Gui:
    def __init__(self, app_exe, probe_exe, cli_exe, work):
        self.app_exe = app_exe
        self.probe_exe = probe_exe
        self.cli = cli_exe  # velmora-cli.exe, or None: its cases are skipped
        self.work = work
        self.title = velmora_title(Path(app_exe).parent)
        self.probe_server = Probe(probe_exe)
        self.app = None
        self.holder = None       # a program holding the clipboard (hold_clipboard)
        self.rects = {}          # control rectangles, per run of the program
        self.state = {}          # the last reading of the window (read_state)
        self.started = {}        # the reading that found the program ready
        self.memory = {}         # what a case leaves for later ones of its session
        self.assertions = 0      # expectations and comparisons checked

    # -- Probe --

    def probe(self, command):
        """Runs one probe command: a ProbeAnswer."""
        return self.probe_server.run(command)

    def probe_facts(self, command):
        """The facts that "probe COMMAND" prints, as a dict."""
        return parse_facts(self.probe(command).output)

    def read_state(self):
        """Reads the window ("probe state" plus derived facts) into self.state.
        A reading without a title (no window, or the probe did not answer) is
        taken again before it counts as "the window is gone"."""
        for attempt in range(3):
            output = self.probe("state").output
            if output.startswith("title="):
                break
            if attempt < 2:
                time.sleep(0.1)
        self.state = parse_facts(output)
        add_derived_facts(self.state)
        return self.state

    def main_window_open(self):
        return self.probe("state").ok

    # -- The program --

    def start_app(self):
        """Starts a fresh program, waits for its window and gives it the X
        focus; raises StartFailed saying why when that does not happen."""
        self.stop_app()
        self.rects = {}
        self.memory = {}
        if self.main_window_open():
            raise StartFailed(f"a Velmora window from elsewhere is open in {os.environ['WINEPREFIX']}")
        with open(self.work / "app.log", "ab") as log:
            self.app = subprocess.Popen(["wine", self.app_exe], stdin=subprocess.DEVNULL,
                                        stdout=log, stderr=subprocess.STDOUT)
        deadline = time.monotonic() + START_TIMEOUT
        name = "^" + self.title.replace(".", "\\.") + "$"
        window = ""
        while time.monotonic() < deadline:
            if self.app.poll() is not None:
                raise StartFailed("the program ended at start-up")
            try:
                found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", name], timeout=10,
                                       stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True).stdout
            except subprocess.TimeoutExpired:
                found = ""
            window = (found.split() or [""])[0]
            if window and self.main_window_open():
                break
            window = ""
            time.sleep(0.1)
        if not window:
            raise StartFailed(f'no window "{self.title}" within {START_TIMEOUT}s')
        # On a loaded machine the focus may take more than one try.
        if not any(xdotool("windowfocus", "--sync", window, timeout=5) for _ in range(3)):
            raise StartFailed("could not focus the window")
        # A new window may take longer than a case to settle: the rest of the start time.
        problem = self.settle({"active": "main", "focus": "EditZo"},
                              timeout=max(SETTLE_TIMEOUT, deadline - time.monotonic()))
        if problem:
            raise StartFailed(f"window not ready: {problem}")
        self.started = self.state

    def stop_app(self):
        """Ends the program started by start_app, if any, and waits until its
        window is gone."""
        app, self.app = self.app, None
        if app is None:
            return
        app.terminate()
        try:
            app.wait(timeout=5)
        except subprocess.TimeoutExpired:
            app.kill()
            app.wait()
        for _ in range(50):
            if not self.main_window_open():
                return
            time.sleep(0.1)

    def close(self):
        """Ends everything this suite started."""
        self.release_clipboard()
        self.stop_app()
        self.probe_server.stop()

    # -- Expectations --

    def settle(self, wanted, counted=True, timeout=SETTLE_TIMEOUT):
        """Reads the window until the facts `wanted` hold or `timeout` seconds
        pass: "" or what does not hold. `counted`: they are checks, not the
        wait of a clean-up."""
        self.assertions += len(wanted) if counted else 0
        deadline = time.monotonic() + timeout
        while True:
            # A reading is no snapshot: while the program is busy it waits
            # between facts and may end long after it began. Only one begun
            # after the deadline is the last.
            began = time.monotonic()
            problem = mismatches(self.read_state(), wanted)
            if not problem:
                return ""
            if "title" not in self.state:
                return f"the main window is gone; {problem}"
            if began >= deadline:
                return problem
            time.sleep(POLL)

    def wait_for(self, *dicts, **facts):
        """Waits until the window shows `facts`; fails the case if it does not
        within SETTLE_TIMEOUT. Keys: see expectations()."""
        problem = self.settle(expectations(dicts, facts))
        if problem:
            raise CaseFailed(problem)

    def expect(self, *dicts, **facts):
        """Waits until the window shows `facts`, then checks that it still does
        a moment later (so that a late reaction, e.g. a second calculation or
        dialog, is caught); fails the case otherwise."""
        wanted = expectations(dicts, facts)
        problem = self.settle(wanted)
        if not problem:
            time.sleep(HOLD)
            problem = mismatches(self.read_state(), wanted)
            if problem:
                problem = f"changed after a moment: {problem}"
        if problem:
            raise CaseFailed(problem)

    def expect_probe(self, command, *dicts, **facts):
        """Like wait_for, for the facts that "probe COMMAND" prints."""
        wanted = expectations(dicts, facts)
        self.assertions += len(wanted)
        deadline = time.monotonic() + SETTLE_TIMEOUT
        while True:
            began = time.monotonic()  # as in settle
            problem = mismatches(self.probe_facts(command), wanted)
            if not problem:
                return
            if began >= deadline:
                raise CaseFailed(problem)
            time.sleep(POLL)

    def verify(self, condition, message):
        """A comparison made by the case: fails it with `message` when false."""
        self.assertions += 1
        if not condition:
            raise CaseFailed(message)

    @staticmethod
    def skip(reason):
        raise Skipped(reason)

    def remember(self, key, value):
        """Keeps `value` for the later cases of this session."""
        self.memory[key] = value

    def recall(self, key):
        if key not in self.memory:
            raise CaseFailed(f"an earlier case of this session did not find the {key}")
        return self.memory[key]

    # -- Where things are --

    def control_rect(self, name):
        """The screen rectangle of a control (main window, or "ex." + name in
        the explorer), cached per run of the program."""
        if name not in self.rects:
            answer = self.probe(f"rect {name}")
            r = rect(answer.output) if answer.ok else None
            if r is None:
                raise CaseFailed(f"no control {name}")
            self.rects[name] = r
        return self.rects[name]

    def window_rect(self):
        r = rect(self.read_state().get("window", ""))
        if r is None:
            raise CaseFailed("no main window")
        return r

    def shown_help_rect(self, key):
        """A rectangle fact of the help window, which must be shown."""
        self.read_state()
        if self.state.get("help.visible") != "1":
            raise CaseFailed("the help window is not shown")
        return rect(self.state.get(key, "")) or (0, 0, 0, 0)

    # -- Acting like a user --

    @staticmethod
    def click_at(x, y):
        xdotool("mousemove", x, y, "click", "1")

    def click_rect(self, r):
        l, t, rr, b = r
        self.click_at((l + rr) // 2, (t + b) // 2)

    @staticmethod
    def drag(x1, y1, x2, y2):
        """Drags from (x1, y1) to (x2, y2) with the left button."""
        xdotool("mousemove", x1, y1, "mousedown", "1", "mousemove", (x1 + x2) // 2, (y1 + y2) // 2,
                "mousemove", x2, y2, "mouseup", "1")

    def click(self, name):
        """Clicks the centre of a control."""
        self.click_rect(self.control_rect(name))

    def fill(self, name, text):
        """Clicks a box, selects its text and types `text` over it. Home,
        shift+End rather than ctrl+a: under Wine ctrl+a also reports a change
        of the text, which in the selector runs a calculation."""
        self.click(name)
        self.key("Home", "shift+End")
        self.type(text)

    def clear(self, name):
        """Clicks a box, selects its text and deletes it."""
        self.click(name)
        self.key("Home", "shift+End", "BackSpace")

    @staticmethod
    def key(*keys):
        """Presses keys (xdotool names)."""
        xdotool("key", "--delay", KEY_DELAY, *keys)

    @staticmethod
    def type(text):
        xdotool("type", "--delay", KEY_DELAY, "--", text)

    @staticmethod
    def wait(seconds):
        """Lets the program react; only for something that should NOT happen
        (a dialog that must not come), where there is nothing to wait for."""
        time.sleep(seconds)

    def open_list(self, name):
        """Clicks the drop-down button of the selector and waits for its list."""
        l, t, r, b = self.control_rect(name)
        self.click_at(r - 8, (t + b) // 2)
        problem = self.settle({"dialog.class": "ComboLBox"})
        if problem:
            raise CaseFailed(f"the list did not open: {problem}")

    def pick(self, index):
        """Clicks item `index` of the open drop-down list."""
        r = rect(self.probe(f"listitem {index}").output)
        if r is None:
            raise CaseFailed(f"no open list with item {index}")
        self.click_rect(r)

    def ok(self):
        """Clicks the OK button of the open dialog, once it is there."""
        deadline = time.monotonic() + SETTLE_TIMEOUT
        while True:
            began = time.monotonic()  # as in settle
            self.read_state()
            found = None
            for i in range(1, 100):
                child = self.state.get(f"dialog.child{i}")
                if child is None:
                    break
                if child.startswith("Button|OK|"):
                    found = rect(self.state.get(f"dialog.child{i}.rect", ""))
            if found is not None:
                self.click_rect(found)
                return
            if began >= deadline:
                raise CaseFailed("no OK button to click")
            time.sleep(POLL)

    def window_menu(self, key):
        """Opens the window menu with alt+space and, once it is shown, presses
        `key` there (a loaded machine may take seconds to open it)."""
        self.key("alt+space")
        problem = self.settle({"dialog.class": "#32768"}, counted=False)
        if problem:
            raise CaseFailed(f"the window menu did not open: {problem}")
        self.key(key)

    def hover(self, name):
        """Moves the mouse from the screen's corner onto a control."""
        l, t, r, b = self.control_rect(name)
        x, y = (l + r) // 2, (t + b) // 2
        xdotool("mousemove", 0, 0, "sleep", "0.1", "mousemove", x, y, "sleep", "0.1", "mousemove", x + 1, y)

    def title_double_click(self):
        """Double-clicks the main window's title bar."""
        l, t, r, b = self.window_rect()
        xdotool("mousemove", (l + r) // 2, t + 10, "click", "--repeat", "2", "--delay", "80", "1")

    def drag_corner(self, dx, dy):
        """Drags the main window's bottom-right corner by dx, dy."""
        l, t, r, b = self.window_rect()
        self.drag(r - 1, b - 1, r - 1 + dx, b - 1 + dy)

    def main_click(self, x, y):
        """Clicks at x, y from the main window's top-left corner (negative:
        from the right/bottom edge)."""
        l, t, r, b = self.window_rect()
        self.click_at(r + x if x < 0 else l + x, b + y if y < 0 else t + y)

    def help_move(self, dx, dy):
        """Drags the help window by its title bar by dx, dy."""
        l, t, r, b = self.shown_help_rect("help.rect")
        self.drag((l + r) // 2, t + 10, (l + r) // 2 + dx, t + 10 + dy)

    def help_corner(self, dx, dy):
        """Drags the help window's bottom-right corner by dx, dy."""
        l, t, r, b = self.shown_help_rect("help.rect")
        self.drag(r - 1, b - 1, r - 1 + dx, b - 1 + dy)

    def help_text(self):
        """Clicks into the help window's text box."""
        self.click_rect(self.shown_help_rect("help.memorect"))

    def explorer_corner(self, dx, dy):
        """Drags the explorer window's bottom-right corner by dx, dy."""
        self.read_state()
        if self.state.get("explorer.visible") != "1":
            raise CaseFailed("the explorer is not shown")
        l, t, r, b = rect(self.state.get("explorer.rect", "")) or (0, 0, 0, 0)
        self.drag(r - 1, b - 1, r - 1 + dx, b - 1 + dy)

    def explorer_row(self, index, clicks=1):
        """Clicks (clicks=2: double-clicks) row `index` of the explorer's list."""
        answer = self.probe(f"exrow {index}")
        r = rect(answer.output) if answer.ok else None
        if r is None:
            raise CaseFailed(f"no explorer row {index}")
        l, t, _, b = r
        xdotool("mousemove", l + 20, (t + b) // 2, "click", "--repeat", clicks, "--delay", "80", "1")

    def explorer_tab(self, index):
        """Clicks tab `index` of the explorer's tab strip."""
        answer = self.probe(f"extab {index}")
        r = rect(answer.output) if answer.ok else None
        if r is None:
            raise CaseFailed(f"no explorer tab {index}")
        self.click_rect(r)

    def dismiss_dialogs(self):
        """Closes message boxes left open by a failed case, so that the next
        case starts from the main window."""
        for _ in range(3):
            self.read_state()
            if self.state["dialogs"] == "0" or self.state.get("dialog.class") != "#32770":
                return
            self.key("Return")
            self.settle({"dialogs": "0"}, counted=False)

    # -- The explorer's layout --

    def explorer_controls(self):
        """The explorer's controls as "probe excontrols" lists them: (client,
        controls), client its client rectangle (l, t, r, b) and each control a
        dict with name ("ex." names, e.g. "Samples", "TolLabel"), class,
        visible (bool), text (escaped as the probe writes texts), rect (l, t,
        r, b in the explorer's client coordinates) and textsize ((width,
        height) of its text on one line in its font, or None when the program
        names no font). Fails the case when there is no explorer yet."""
        answer = self.probe("excontrols")
        facts = parse_facts(answer.output)
        client = rect(facts.get("excontrols.client", ""))
        if not answer.ok or client is None:
            raise CaseFailed("no explorer window")
        controls = []
        for i in range(1, 1000):
            entry = facts.get(f"excontrol{i}")
            if entry is None:
                break
            name, cls, visible, text = (entry.split("|", 3) + ["", "", ""])[:4]
            size = facts.get(f"excontrol{i}.textsize", "").split()
            controls.append({"name": name, "class": cls, "visible": visible == "1", "text": text,
                             "rect": rect(facts.get(f"excontrol{i}.rect", "")),
                             "textsize": (int(size[0]), int(size[1])) if len(size) == 2 else None})
        return client, controls

    # -- Clipboard --

    def clipboard_arrival(self):
        """What the probe reads from the clipboard once it is no longer empty,
        or after SETTLE_TIMEOUT."""
        deadline = time.monotonic() + SETTLE_TIMEOUT
        while True:
            began = time.monotonic()  # as in settle
            output = self.probe("clipboard").output
            if not output.startswith("clipboard.length=0\n") or began >= deadline:
                return output
            time.sleep(0.1)

    def copy_from(self, button):
        """Copies with `button` and returns the clipboard's text (escaped as
        the probe prints it)."""
        self.probe("clearclipboard")
        self.click(button)
        return self.clipboard_arrival().partition("\nclipboard=")[2]

    def hold_clipboard(self, ms=10000):
        """Starts another program that keeps the clipboard open (with
        "keep-me" on it) for ms milliseconds, or until release_clipboard; false
        when it did not take the clipboard within 10 s."""
        self.release_clipboard()
        self.holder = subprocess.Popen(["wine", self.probe_exe, "holdclipboard", str(ms)],
                                       stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                       stderr=subprocess.DEVNULL)
        fd, seen = self.holder.stdout.fileno(), b""
        deadline = time.monotonic() + 10
        while b"held" not in seen and time.monotonic() < deadline:
            if not select.select([fd], [], [], max(0.0, deadline - time.monotonic()))[0]:
                break
            chunk = os.read(fd, 4096)
            if not chunk:
                break
            seen += chunk
        if b"held" not in seen:
            self.holder.kill()
            self.holder.wait()
            self.holder.stdout.close()
            self.holder = None
            return False
        return True

    def release_clipboard(self):
        """Lets the holder close the clipboard and waits until it has ended."""
        holder, self.holder = self.holder, None
        if holder is None:
            return
        end_process(holder, 20, b"release\n")

    # -- velmora-cli --

    def cli_run(self, *args):
        """Runs velmora-cli.exe with args: (exit status, stdout bytes); skips
        the case when none was given."""
        if self.cli is None:
            self.skip("no velmora-cli.exe given")
        return run_wine(self.cli, *args)

    def cli_output(self, *args):
        """velmora-cli's output for args with CR LF line ends, as text."""
        return self.cli_run("--crlf", *args)[1].decode("utf-8", "replace")


# ---- Sessions, cases and the run ----

SESSIONS = []


class Session:
    """A group of cases run in order on one freshly started program."""

    def __init__(self, name):
        self.name = name
        self.cases = []

    def case(self, title):
        """Registers the decorated function(gui) as the case called `title`."""
        def register(function):
            self.cases.append((title, function))
            return function
        return register


def session(name):
    s = Session(name)
    SESSIONS.append(s)
    return s


class Report:
    def __init__(self):
        self.passed = self.failed = self.skipped = 0

    def line(self, word, group, name, why=None):
        print(f"{word:<4} {group}: {name}" + (f": {why}" if why is not None else ""), flush=True)

    def run(self, group, name, function, gui):
        try:
            function(gui)
        except CaseFailed as e:
            self.failed += 1
            self.line("FAIL", group, name, str(e))
        except Skipped as e:
            self.skipped += 1
            self.line("skip", group, name, str(e))
        except Exception as e:  # a fault of the case itself: said, and the run goes on
            traceback.print_exc()
            self.failed += 1
            self.line("FAIL", group, name, f"{type(e).__name__}: {e}")
        else:
            self.passed += 1
            self.line("ok", group, name)

    def summary(self):
        text = f"{self.passed} passed, {self.failed} failed"
        return text + (f", {self.skipped} skipped" if self.skipped else "")


def stop_on_signals():
    """INT, TERM and HUP end the run through the clean-up of main()."""
    def stop(number, _frame):
        print(f"stopped by {signal.Signals(number).name}", file=sys.stderr)
        sys.exit(1)
    for s in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        signal.signal(s, stop)


def main(argv):
    """Usage: gui_tests.py VELMORA_EXE PROBE_EXE [CLI_EXE]. One line per case,
    then "N passed, M failed" (", K skipped" when a case could not be run
    here); the exit status is non-zero when a case failed."""
    if not 3 <= len(argv) <= 4:
        print(f"usage: {Path(argv[0]).name} VELMORA_EXE PROBE_EXE [CLI_EXE]", file=sys.stderr)
        return 2
    exes = []
    for given in argv[1:]:
        if not Path(given).exists():
            die(f"no such program: {given}")
        exes.append(os.path.realpath(given))
    app_exe, probe_exe = exes[:2]
    cli_exe = exes[2] if len(exes) == 3 else None  # the netlist the window saves is compared with its own
    stop_on_signals()
    use_utf8_locale()
    need("wine", "wineserver", "xdotool", "xdpyinfo", "flock")

    os.environ["VELMORA_XVFB_DISPLAY"] = os.environ.get("VELMORA_GUI_DISPLAY") or ":88"
    take_lock(f"/tmp/velmora-gui-tests-{os.environ['VELMORA_XVFB_DISPLAY'].lstrip(':')}.lock")
    use_wine(os.environ.get("VELMORA_GUI_WINEPREFIX") or default_prefix() + "-gui")
    work = Path(tempfile.mkdtemp(prefix="velmora-gui.", dir=os.environ.get("TMPDIR") or "/tmp"))
    gui = None
    report = Report()
    only = os.environ.get("VELMORA_GUI_SESSIONS")
    chosen = [s for s in SESSIONS if only is None or s.name in only.split(",")]
    try:
        gui = Gui(app_exe, probe_exe, cli_exe, work)
        for s in chosen:
            try:
                gui.start_app()
            except StartFailed as e:
                report.failed += 1
                report.line("FAIL", s.name, "start", str(e))
                continue
            for name, function in s.cases:
                report.run(s.name, name, function, gui)
        gui.stop_app()
        print(report.summary(), flush=True)
        if os.environ.get("VELMORA_GUI_COUNT"):
            print(f"{gui.assertions} expectations and comparisons checked", file=sys.stderr)
    finally:
        if gui is not None:
            gui.close()
        shutil.rmtree(work, ignore_errors=True)
    return 0 if report.failed == 0 else 1
