"""The panel, its dialogs and the virtual board's window as a screen reader finds them.

Run with Debian's /usr/bin/python3 (python3-pyatspi):

    tst_accessibility.py QUILLON QUILLON_BOARD

It starts a private D-Bus session, the accessibility bus, Xvfb, the virtual board with its
window and the panel on the board's device, then walks both windows through AT-SPI in each
language: every control that takes the focus must have a name of its own. Each dialog is opened
from its menu item as a screen reader user would, walked the same way and cancelled. Exits 77
(skipped) only when a component is not installed.
"""

import os
import select
import shutil
import signal
import subprocess
import sys
import time

WAIT_S = 30
BUS_LAUNCHER = "/usr/libexec/at-spi-bus-launcher"

# Per language: the environment's locale (the board follows it), the panel's --language, names
# that must be there, and the menu items that open a dialog and the button that cancels it.
LANGUAGES = {
    "zh": {
        "LANG": "C.UTF-8",
        "panel names": [
            "单通道控制 通道号",
            "单通道控制 设定值",
            "单通道控制 发送",
            "4通道控制 第1列 通道号",
            "4通道控制 第4列 设定值",
            "4通道控制 发送",
            "8通道控制 通道0 设定值",
            "8通道控制 通道7 通道号",
            "8通道控制 发送",
            "控制板软件复位 发送码",
            "控制板软件复位 返回码",
            "控制板软件复位 复位",
        ],
        "board names": ["通道0的输出电压", "通道7的输出电压", "收到的指令"],
        "dialogs": ["其他设备…", "远程控制 (SCPI)…", "开始记录…", "播放序列…"],
        "cancel": "取消",
    },
    "en": {
        "LANG": "en_US.UTF-8",
        "panel names": [
            "Single channel, channel number",
            "Single channel, Value",
            "Single channel, Send",
            "4 channels, column 2, channel number",
            "4 channels, column 3, Value",
            "4 channels, Send",
            "8 channels, channel 4, Value",
            "8 channels, Send",
            "Board software reset, Sent",
            "Board software reset, Reply",
            "Board software reset, Reset",
        ],
        "board names": ["Output of channel 0", "Output of channel 7", "Commands received"],
        "dialogs": ["Other device…", "Remote control (SCPI)…", "Start logging…", "Play sequence…"],
        "cancel": "Cancel",
    },
}
# 28 text boxes, 13 check boxes, 4 buttons.
PANEL_CONTROLS = 45


def missing_component():
    for tool in ("Xvfb", "dbus-run-session"):
        if not shutil.which(tool):
            return tool
    if not os.access(BUS_LAUNCHER, os.X_OK):
        return BUS_LAUNCHER + " (at-spi2-core)"
    try:
        import pyatspi  # noqa: F401
    except ImportError:
        return "python3-pyatspi"
    return None


def wait_for(what, probe):
    """probe()'s first true value, asked again until WAIT_S have passed."""
    deadline = time.monotonic() + WAIT_S
    while True:
        try:
            value = probe()
        except Exception:  # an object that went away while it was read
            value = None
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError(f"no {what} within {WAIT_S} s")
        time.sleep(0.1)


class Processes:
    """What the test started, each in a process group of its own, all ended at the end."""

    def __init__(self):
        self.started = []

    def start(self, arguments, **options):
        process = subprocess.Popen(arguments, start_new_session=True, **options)
        self.started.append(process)
        return process

    def stop_all(self):
        for process in reversed(self.started):
            if process.poll() is None:
                os.killpg(process.pid, signal.SIGTERM)
                try:
                    process.wait(5)
                except subprocess.TimeoutExpired:
                    os.killpg(process.pid, signal.SIGKILL)
                    process.wait()
        self.started.clear()


def first_line(process, what):
    ready, _, _ = select.select([process.stdout], [], [], WAIT_S)
    line = process.stdout.readline().decode().strip() if ready else ""
    if not line:
        raise AssertionError(f"{what} printed nothing within {WAIT_S} s")
    return line


def nodes(accessible):
    yield accessible
    for index in range(accessible.childCount):
        child = accessible.getChildAtIndex(index)
        if child is not None:
            yield from nodes(child)


def application(name):
    import pyatspi

    desktop = pyatspi.Registry.getDesktop(0)
    for index in range(desktop.childCount):
        app = desktop.getChildAtIndex(index)
        if app is not None and app.name == name:
            return app
    return None


def window(app_name, role, name=None):
    app = application(app_name)
    if app is None:
        return None
    for index in range(app.childCount):
        child = app.getChildAtIndex(index)
        if child is not None and child.getRoleName() == role and name in (None, child.name):
            return child
    return None


def reachable_names(top):
    """(role, name) of each control a person can reach: shown, within shown parents (a closed
    drop-down list's items count as shown), and taking the focus."""
    import pyatspi

    found = []

    def visit(node):
        state = node.getState()
        if not state.contains(pyatspi.STATE_SHOWING):
            return
        if state.contains(pyatspi.STATE_FOCUSABLE):
            found.append((node.getRoleName(), node.name))
        for index in range(node.childCount):
            child = node.getChildAtIndex(index)
            if child is not None:
                visit(child)

    visit(top)
    return found


def name_faults(where, controls):
    faults = []
    names = [name for _, name in controls]
    for role, name in controls:
        if not name.strip():
            faults.append(f"{where}: a {role} has no name")
        elif names.count(name) > 1:
            faults.append(f"{where}: {names.count(name)} controls are named {name!r}")
    return sorted(set(faults))


def press(app_name, role, name):
    import pyatspi

    app = application(app_name)
    target = next(n for n in nodes(app) if n.getRoleName() == role and n.name == name)
    target.queryAction().doAction(0)


def check_dialog(processes, language, item):
    """Opens the dialog behind the menu item, walks it and cancels it; returns its faults."""
    # The item's action returns only once the dialog it opens has closed, so another process
    # presses it while this one looks at the dialog.
    wait_for("the previous dialog to close", lambda: window("Quillon", "dialog") is None)
    presser = processes.start([sys.executable, __file__, "--press", "menu item", item])
    dialog = wait_for(f"dialog from {item!r}", lambda: window("Quillon", "dialog"))
    where = f"{language} dialog {dialog.name!r} ({item})"
    faults = name_faults(where, reachable_names(dialog))
    press("Quillon", "push button", LANGUAGES[language]["cancel"])
    try:
        presser.wait(WAIT_S)
    except subprocess.TimeoutExpired:
        faults.append(f"{where} did not close when cancelled")
    return faults


def check_language(language, quillon, board_program, environment):
    settings = LANGUAGES[language]
    env = dict(environment, LANG=settings["LANG"])
    env.pop("LANGUAGE", None)
    env.pop("LC_ALL", None)
    env.pop("LC_MESSAGES", None)
    processes = Processes()
    faults = []
    try:
        board = processes.start([board_program, "--window"], stdout=subprocess.PIPE, env=env)
        device = first_line(board, "quillon-board")
        processes.start([quillon, "--port", device, "--language", language], env=env)

        panel = wait_for("panel window", lambda: window("Quillon", "frame", "Form1"))
        controls = wait_for(
            "panel's controls",
            lambda: (lambda c: c if len(c) >= PANEL_CONTROLS else None)(reachable_names(panel)))
        faults += name_faults(f"{language} panel", controls)
        if len(controls) != PANEL_CONTROLS:
            faults.append(f"{language} panel: {len(controls)} controls, not {PANEL_CONTROLS}")
        names = {name for _, name in controls}
        faults += [f"{language} panel: no control named {n!r}" for n in settings["panel names"]
                   if n not in names]

        board_window = wait_for("board window", lambda: window("quillon-board", "filler"))
        faults += name_faults(f"{language} board", reachable_names(board_window))
        board_names = {node.name for node in nodes(board_window)}
        faults += [f"{language} board: nothing named {n!r}" for n in settings["board names"]
                   if n not in board_names]

        for item in settings["dialogs"]:
            faults += check_dialog(processes, language, item)
    finally:
        processes.stop_all()
    return faults


def start_display(processes):
    server = processes.start(["Xvfb", "-displayfd", "1", "-noreset", "-screen", "0",
                              "1024x768x24", "-nolisten", "tcp"], stdout=subprocess.PIPE)
    return ":" + first_line(server, "Xvfb")


def start_accessibility_bus(processes):
    from gi.repository import Gio, GLib

    processes.start([BUS_LAUNCHER, "--launch-immediately"])
    session = Gio.bus_get_sync(Gio.BusType.SESSION, None)

    def bus_is_up():
        reply = session.call_sync("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                  "org.freedesktop.DBus", "NameHasOwner",
                                  GLib.Variant("(s)", ("org.a11y.Bus",)), None,
                                  Gio.DBusCallFlags.NONE, -1, None)
        return reply.unpack()[0]

    wait_for("accessibility bus", bus_is_up)


def inside_session(quillon, board_program):
    processes = Processes()
    try:
        start_accessibility_bus(processes)
        environment = dict(os.environ, DISPLAY=start_display(processes), QT_QPA_PLATFORM="xcb",
                           QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
        environment.pop("WAYLAND_DISPLAY", None)
        faults = []
        for language in LANGUAGES:
            faults += check_language(language, quillon, board_program, environment)
    finally:
        processes.stop_all()
    for fault in faults:
        print("FAIL:", fault)
    print(f"{'FAIL' if faults else 'PASS'}: names checked in {', '.join(LANGUAGES)}")
    return 1 if faults else 0


def main(arguments):
    if arguments[:1] == ["--press"]:
        press("Quillon", arguments[1], arguments[2])
        return 0
    if arguments[:1] == ["--inside-session"]:
        return inside_session(*arguments[1:3])
    missing = missing_component()
    if missing:
        print(f"SKIP: {missing} is not installed (scripts/packages.sh lists what the tests need)")
        return 77
    # dbus-run-session ends the bus when the test ends; the test ends its own processes.
    session = subprocess.Popen(["dbus-run-session", "--", sys.executable, __file__,
                                "--inside-session", *arguments[:2]], start_new_session=True)
    try:
        return session.wait(240)
    except subprocess.TimeoutExpired:
        os.killpg(session.pid, signal.SIGKILL)
        session.wait()
        print("FAIL: the test did not finish within 240 s")
        return 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
