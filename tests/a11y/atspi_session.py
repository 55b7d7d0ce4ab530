"""What a screen reader has, on a session of the test's own: Xvfb on a free
display, a private D-Bus session bus, the accessibility bus that
at-spi-bus-launcher starts, at-spi2-registryd on it, and this process
connected to it through pyatspi (the stack Orca uses).

    with Session() as session:
        app = session.spawn(["kelvo-desktop", ...])
        widget = session.find(session.application("kelvo-desktop"), role="push button")
        print(dump(widget))
        do_action(widget, "click")

Programs started with session.spawn get the session's environment: its
display, its buses, GTK 3's bridge and GTK 4's AT-SPI backend turned on.
"""

import os
import select
import shutil
import signal
import subprocess
import tempfile
import time

LIBEXEC = "/usr/libexec"


def wait_for(predicate, seconds=10.0, step=0.05):
    """predicate()'s first true value within `seconds`, else None; the
    accessibility connection's events are handled between tries."""
    deadline = time.monotonic() + seconds
    while True:
        _pump()
        value = predicate()
        if value or time.monotonic() > deadline:
            return value or None
        time.sleep(step)


def _pump():
    if "pyatspi" in globals():
        from gi.repository import GLib

        context = GLib.MainContext.default()
        while context.iteration(False):
            pass


class Session:
    def __init__(self, width=1024, height=768, env=None):
        self.width, self.height = width, height
        self.root = tempfile.mkdtemp(prefix="kelvo-a11y-")
        self._processes = []
        self.env = {
            "PATH": os.environ.get("PATH", "/usr/bin:/bin"),
            "HOME": self.root,
            "XDG_RUNTIME_DIR": self.root,
            "XDG_CONFIG_HOME": os.path.join(self.root, "config"),
            "XDG_DATA_HOME": os.path.join(self.root, "data"),
            "XDG_CACHE_HOME": os.path.join(self.root, "cache"),
            "LANG": "C.UTF-8",
            # GTK 3 loads the ATK bridge unless NO_AT_BRIDGE is set (it is
            # left out here); GTK 4 picks its AT-SPI backend with GTK_A11Y;
            # Qt and others ask for one of these.
            "GTK_A11Y": "atspi",
            "ACCESSIBILITY_ENABLED": "1",
            "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1",
            "GSETTINGS_BACKEND": "memory",
            "GTK_THEME": "Adwaita",
        }
        self.env.update(env or {})

    def __enter__(self):
        try:
            self._start()
        except BaseException:
            self.close()
            raise
        return self

    def __exit__(self, *_):
        self.close()

    def _start(self):
        # -displayfd: Xvfb picks a free display and writes its number.
        read, write = os.pipe()
        screen = f"{self.width}x{self.height}x24"
        self._spawn_daemon(
            ["Xvfb", "-displayfd", str(write), "-screen", "0", screen, "-nolisten", "tcp", "-noreset"],
            pass_fds=(write,),
        )
        os.close(write)
        self.env["DISPLAY"] = ":" + self._read_line(read, "Xvfb's display number")
        read, write = os.pipe()
        self._spawn_daemon(
            ["dbus-daemon", "--session", "--nofork", "--nopidfile", f"--print-address={write}"],
            pass_fds=(write,),
        )
        os.close(write)
        self.env["DBUS_SESSION_BUS_ADDRESS"] = self._read_line(read, "the session bus's address")
        # The launcher owns org.a11y.Bus and starts the accessibility bus at
        # once; the registry is the desktop that a reader asks for apps.
        self._spawn_daemon([f"{LIBEXEC}/at-spi-bus-launcher", "--launch-immediately"])
        self.a11y_bus = self._await_a11y_bus()
        self._spawn_daemon([f"{LIBEXEC}/at-spi2-registryd"], env={"AT_SPI_BUS_ADDRESS": self.a11y_bus})
        # This process is the screen reader: libatspi reads the buses from
        # the environment when it is first imported.
        os.environ.update({k: self.env[k] for k in ("DISPLAY", "DBUS_SESSION_BUS_ADDRESS")})
        os.environ.pop("AT_SPI_BUS_ADDRESS", None)
        global pyatspi
        import pyatspi  # noqa: F401

        self._set_enabled()

    def _await_a11y_bus(self):
        def address():
            result = subprocess.run(
                ["dbus-send", "--session", "--print-reply=literal", "--dest=org.a11y.Bus",
                 "/org/a11y/bus", "org.a11y.Bus.GetAddress"],
                env=self.env, capture_output=True, text=True, timeout=5,
            )
            return result.stdout.strip() if result.returncode == 0 else None

        found = wait_for(address, 10)
        if not found:
            raise RuntimeError("at-spi-bus-launcher gave no accessibility bus")
        return found

    def _set_enabled(self):
        # What Orca does: tells toolkits that ask (org.a11y.Status) that a
        # screen reader is running.
        for prop in ("IsEnabled", "ScreenReaderEnabled"):
            subprocess.run(
                ["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus", "/org/a11y/bus",
                 "org.freedesktop.DBus.Properties.Set", "string:org.a11y.Status", f"string:{prop}",
                 "variant:boolean:true"],
                env=self.env, capture_output=True, check=True, timeout=5,
            )

    def _read_line(self, fd, what):
        line = b""
        with os.fdopen(fd, "rb", buffering=0) as stream:
            while not line.endswith(b"\n"):
                if not select.select([stream], [], [], 10)[0]:
                    break
                chunk = stream.read(1)
                if not chunk:
                    break
                line += chunk
        if not line.strip():
            raise RuntimeError(f"no {what}")
        return line.decode().strip()

    def _spawn_daemon(self, argv, env=None, **kw):
        log = open(os.path.join(self.root, os.path.basename(argv[0]) + ".log"), "wb")
        process = subprocess.Popen(argv, env={**self.env, **(env or {})}, stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                                   start_new_session=True, **kw)
        log.close()
        self._processes.append(process)
        return process

    def spawn(self, argv, env=None, log=None):
        """A program on the session, its output to `log` (a path; default a
        file named after it in the session's directory); ended with it."""
        log = log or os.path.join(self.root, os.path.basename(argv[0]) + ".log")
        with open(log, "ab") as out:
            process = subprocess.Popen(argv, env={**self.env, **(env or {})}, stdin=subprocess.DEVNULL,
                                       stdout=out, stderr=out, start_new_session=True)
        process.log = log
        self._processes.append(process)
        return process

    def application(self, name, seconds=10.0):
        """The accessible application called `name` once it is on the bus."""

        def found():
            desktop = pyatspi.Registry.getDesktop(0)
            desktop.clear_cache()
            for app in desktop:
                if app is not None and app.name == name:
                    return app
            return None

        app = wait_for(found, seconds)
        if app is None:
            raise LookupError(f"no application {name!r} on the accessibility bus")
        return app

    def find(self, root, seconds=10.0, **wanted):
        """The first accessible under `root` (itself included) whose role
        name, name or description are as given, once there is one."""

        def matches(acc):
            return all(_field(acc, key) == value for key, value in wanted.items())

        def search():
            root.clear_cache()
            return pyatspi.findDescendant(root, matches) if not matches(root) else root

        found = wait_for(search, seconds)
        if found is None:
            raise LookupError(f"nothing with {wanted} under {root.name!r}")
        return found

    def close(self):
        for process in reversed(self._processes):
            if process.poll() is None:
                try:
                    os.killpg(process.pid, signal.SIGTERM)
                    process.wait(5)
                except (ProcessLookupError, subprocess.TimeoutExpired):
                    process.kill()
                    process.wait()
        self._processes.clear()
        shutil.rmtree(self.root, ignore_errors=True)


def _field(acc, key):
    if key == "role":
        return acc.getRoleName()
    return getattr(acc, key)


def node(acc):
    """One accessible as a dict: role, name, description, text, extents on
    the screen (x, y, width, height), states and actions."""
    acc.clear_cache()
    out = {"role": acc.getRoleName(), "name": acc.name, "description": acc.description}
    interfaces = set(pyatspi.listInterfaces(acc))
    if "Text" in interfaces:
        text = acc.queryText()
        out["text"] = text.getText(0, -1)
    if "Component" in interfaces:
        box = acc.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        out["extents"] = (box.x, box.y, box.width, box.height)
    out["states"] = sorted(pyatspi.stateToString(s) for s in acc.getState().getStates())
    if "Action" in interfaces:
        action = acc.queryAction()
        out["actions"] = [action.getName(i) for i in range(action.nActions)]
    out["children"] = [node(child) for child in acc if child is not None]
    return out


def dump(acc, indent=0):
    """The tree under `acc` as text, one accessible a line, as the report shows it."""
    return _dump(node(acc), indent)


def _dump(n, indent):
    fields = [n["role"], repr(n["name"])]
    for key in ("description", "text"):
        if n.get(key):
            fields.append(f"{key}={n[key]!r}")
    if "extents" in n:
        fields.append("at {}".format(",".join(map(str, n["extents"]))))
    if n.get("actions"):
        fields.append("actions=" + "/".join(n["actions"]))
    lines = ["  " * indent + " ".join(fields)]
    return "\n".join(lines + [_dump(c, indent + 1) for c in n["children"]])


def do_action(acc, name):
    """Does the action called `name`; False when `acc` has none such."""
    action = acc.queryAction()
    for i in range(action.nActions):
        if action.getName(i) == name:
            return bool(action.doAction(i))
    return False
