#!/usr/bin/python3
"""Reads the running window through the desktop's accessibility service (AT-SPI), as a screen
reader does, and checks that every control a person can use there has a role and a name.

Runs inside a session bus on an X display (run_check.sh gives both): starts the accessibility
bus, then `jotwell` on a data folder that jotwell-cli filled, and goes through the lists
screen, the items screen (also in editing mode and with a row swiped open), an alert, an
action sheet and the theme carousel, pressing what a person presses with real pointer and key
events (Qt's accessible "Press" action does not click its Quick buttons). On each, every
showing push button, list item and text field must have a non-empty name, and the names
listed for that place must be there.

Usage: check_accessibility.py JOTWELL DATA_DIR CLOUD_DIR
Exits 0 when every check passes, 1 with what was missing otherwise, 2 when the accessibility
bus or the window could not be reached at all.
"""

import os
import subprocess
import sys
import time

# What a person can use: these must have a name. Editable text shows as "text field"; text
# that is only read (role "text" without the editable state) as "label".
NAMED_ROLES = {"push button", "list item", "text field", "toggle button", "check box",
               "radio button", "menu item", "list", "slider", "spin button"}
STEP_SECONDS = 8.0

started = []


def fail(message, status=1):
    print("accessibility check: " + message, file=sys.stderr)
    stop_all()
    sys.exit(status)


def stop_all():
    for process in reversed(started):
        if process.poll() is None:
            process.terminate()
            try:
                process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()


def start_accessibility_bus():
    launcher = "/usr/libexec/at-spi-bus-launcher"
    if not os.path.exists(launcher):
        fail(launcher + " is missing: install at-spi2-core", 2)
    started.append(subprocess.Popen([launcher, "--launch-immediately"],
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
    deadline = time.monotonic() + STEP_SECONDS
    while time.monotonic() < deadline:
        answer = subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus",
                                 "/org/a11y/bus", "org.a11y.Bus.GetAddress"],
                                capture_output=True, text=True)
        if answer.returncode == 0 and "unix:" in answer.stdout:
            return
        if started[-1].poll() is not None:
            break
        time.sleep(0.1)
    fail("the accessibility bus did not start (at-spi-bus-launcher on the session bus)", 2)


def showing(accessible, pyatspi):
    try:
        return accessible.getState().contains(pyatspi.STATE_SHOWING)
    except Exception:
        return False


def walk(accessible, pyatspi, found, depth=0):
    """Every showing object under `accessible` as (role, name, extents)."""
    if accessible is None or depth > 60:
        return
    for index in range(accessible.childCount):
        try:
            child = accessible.getChildAtIndex(index)
        except Exception:
            continue
        if child is None or not showing(child, pyatspi):
            continue
        try:
            box = child.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
            extents = (box.x, box.y, box.width, box.height)
        except Exception:
            extents = None
        try:
            role = child.getRoleName()
            if role in ("text", "entry", "password text"):
                editable = child.getState().contains(pyatspi.STATE_EDITABLE)
                role = "text field" if editable else "label"
            name = child.name or ""
        except Exception:
            # Gone while being read (a row recycled as the window changes): the next look finds
            # the tree as it now stands.
            continue
        found.append((role, name, extents))
        walk(child, pyatspi, found, depth + 1)


def walk_objects(accessible, pyatspi, role, name, found, depth=0):
    """The showing objects under `accessible` of that role and name, in tree order."""
    if accessible is None or depth > 60:
        return
    for index in range(accessible.childCount):
        try:
            child = accessible.getChildAtIndex(index)
            if child is None or not showing(child, pyatspi):
                continue
            if child.getRoleName() == role and (child.name or "") == name:
                found.append(child)
        except Exception:
            continue
        walk_objects(child, pyatspi, role, name, found, depth + 1)


class Window:
    def __init__(self, pyatspi, app):
        self.pyatspi = pyatspi
        self.app = app

    def controls(self):
        found = []
        walk(self.app, self.pyatspi, found)
        return found

    def wait_for(self, what, test):
        deadline = time.monotonic() + STEP_SECONDS
        while True:
            controls = self.controls()
            result = test(controls)
            if result:
                return result
            if time.monotonic() > deadline:
                fail("timed out waiting for " + what + "; showing: " + describe(controls))
            time.sleep(0.1)

    def find(self, role, name, pick=min):
        """Waits for a showing control; of several, the leftmost (or what `pick` picks)."""
        def test(controls):
            matches = [c for c in controls if c[0] == role and c[1] == name and c[2]
                       and c[2][2] > 0 and c[2][3] > 0]
            return pick(matches, key=lambda c: c[2][0]) if matches else None
        return self.wait_for(role + " '" + name + "'", test)

    def click(self, role, name, pick=min):
        x, y, width, height = self.find(role, name, pick)[2]
        self.pyatspi.Registry.generateMouseEvent(x + width // 2, y + height // 2,
                                                 self.pyatspi.MOUSE_B1C)

    def drag(self, role, name, dx, dy):
        x, y, width, height = self.find(role, name)[2]
        x, y = x + width // 2, y + height // 2
        registry = self.pyatspi.Registry
        registry.generateMouseEvent(x, y, self.pyatspi.MOUSE_ABS)
        registry.generateMouseEvent(x, y, self.pyatspi.MOUSE_B1P)
        for step in range(1, 11):
            time.sleep(0.02)
            registry.generateMouseEvent(x + dx * step // 10, y + dy * step // 10,
                                        self.pyatspi.MOUSE_ABS)
        registry.generateMouseEvent(x + dx, y + dy, self.pyatspi.MOUSE_B1R)

    def press(self, role, name):
        """The control's own accessible action, as a screen reader's user activates it."""
        self.find(role, name)
        found = []
        walk_objects(self.app, self.pyatspi, role, name, found)
        if not found:
            fail("'" + name + "' went before it could be pressed")
        action = found[0].queryAction()
        names = [action.getName(i).lower() for i in range(action.nActions)]
        if "press" not in names:
            fail("%s '%s' offers no press action (it offers %s)" % (role, name, names or "none"))
        action.doAction(names.index("press"))

    def count(self, role, name):
        return sum(1 for c in self.controls() if c[0] == role and c[1] == name)

    def key(self, keysym):
        self.pyatspi.Registry.generateKeyboardEvent(keysym, None, self.pyatspi.KEY_SYM)

    def gone(self, role, name):
        self.wait_for("'" + name + "' to go",
                      lambda controls: not any(c[0] == role and c[1] == name for c in controls))


def describe(controls):
    return ", ".join("%s '%s'" % (role, name) for role, name, _ in controls) or "(nothing)"


def check(window, place, expected, problems):
    """Every usable control has a name; the names `expected` ("role:name") are all there."""
    def complete(controls):
        names = {role + ":" + name for role, name, _ in controls}
        return controls if all(e in names for e in expected) else None
    deadline = time.monotonic() + STEP_SECONDS
    while True:
        controls = window.controls()
        if complete(controls) or time.monotonic() > deadline:
            break
        time.sleep(0.1)
    names = {role + ":" + name for role, name, _ in controls}
    missing = [e for e in expected if e not in names]
    if missing:
        problems.append(place + ": missing " + ", ".join(missing) + " (showing: " +
                        describe(controls) + ")")
    unnamed = [role for role, name, _ in controls if role in NAMED_ROLES and not name.strip()]
    if unnamed:
        problems.append(place + ": unnamed " + ", ".join(unnamed))
    print("%-22s %d controls, %s" % (place, len(controls),
                                      "ok" if not missing and not unnamed else "PROBLEMS"))


def main():
    if len(sys.argv) != 4:
        fail("usage: check_accessibility.py JOTWELL DATA_DIR CLOUD_DIR", 2)
    jotwell, data_dir, cloud_dir = sys.argv[1:]
    if not os.environ.get("DISPLAY") or not os.environ.get("DBUS_SESSION_BUS_ADDRESS"):
        fail("needs an X display and a session bus (run it through run_check.sh)", 2)
    start_accessibility_bus()
    try:
        import pyatspi
    except ImportError:
        fail("python3-pyatspi is missing", 2)

    environment = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_QPA_PLATFORM="xcb",
                       QT_ACCESSIBILITY="1")
    started.append(subprocess.Popen([jotwell, "--data-dir", data_dir, "--cloud-dir", cloud_dir,
                                     "--size", "390x844"], env=environment))

    deadline = time.monotonic() + 2 * STEP_SECONDS
    app = None
    while app is None:
        desktop = pyatspi.Registry.getDesktop(0)
        for index in range(desktop.childCount):
            candidate = desktop.getChildAtIndex(index)
            if candidate is not None and candidate.name == "jotwell":
                app = candidate
        if app is None:
            if started[-1].poll() is not None:
                fail("jotwell ended with status %d before it showed" % started[-1].returncode, 2)
            if time.monotonic() > deadline:
                fail("jotwell does not show in the accessibility tree (is the bridge on?)", 2)
            time.sleep(0.2)
    window = Window(pyatspi, app)
    problems = []
    escape = 0xff1b

    # The intro shows until the store is attached; Start goes past it.
    first = window.wait_for("the lists or the intro", lambda controls: [
        c for c in controls if c[1] in ("Shop", "Start")])
    if any(c[1] == "Start" for c in first):
        window.click("push button", "Start")

    check(window, "lists screen", ["list item:Shop", "list item:Errands", "push button:Add",
                                   "push button:Menu", "push button:Edit"], problems)
    window.press("list item", "Shop")
    check(window, "items screen", ["list item:Milk", "list item:Bread", "push button:Check",
                                   "push button:Uncheck", "push button:Edit Text",
                                   "push button:All", "push button:Menu", "push button:Share",
                                   "push button:Lists", "text field:Add"], problems)

    # A tick pressed through the accessibility service checks its item.
    unchecked = window.count("push button", "Check")
    window.press("push button", "Check")
    window.wait_for("the pressed tick to check its item",
                    lambda controls: sum(1 for c in controls if c[:2] == ("push button", "Check"))
                    == unchecked - 1)

    window.click("push button", "Edit")
    check(window, "items in editing", ["push button:Delete Milk", "push button:Reorder Milk",
                                       "push button:Done"], problems)
    window.click("push button", "Done")
    window.gone("push button", "Done")

    window.drag("list item", "Bread", -220, 0)
    check(window, "a row swiped open", ["push button:⏰ Reminder", "push button:Move",
                                        "push button:Copy", "push button:Delete"], problems)
    window.click("push button", "Menu")
    check(window, "action sheet", ["push button:List Theme", "push button:Sort: Manual ✔︎",
                                   "push button:Delete Checked", "push button:Cancel"], problems)
    window.click("push button", "List Theme")
    check(window, "theme carousel", ["list:Themes", "push button:Cancel", "push button:Save"],
          problems)
    window.key(escape)
    window.gone("list", "Themes")

    window.click("push button", "Lists")
    window.find("list item", "Errands")
    window.click("push button", "Add")
    check(window, "alert", ["text field:Name", "push button:Cancel"], problems)
    window.key(escape)
    window.gone("text field", "Name")

    stop_all()
    if problems:
        print("\n".join(problems), file=sys.stderr)
        sys.exit(1)
    print("accessibility check: every control has a role and a name")


if __name__ == "__main__":
    try:
        main()
    finally:
        stop_all()
