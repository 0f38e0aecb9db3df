#!/usr/bin/python3
"""Starts kelmora-test and reads it through AT-SPI as a screen reader does: the tree of the
main window and of the About box (role, name, states, the group each control stands in), the
focus that Tab and the arrow keys move, the LED button found by its name acting on LED 2, and
the buttons' own actions doing what a click does: the LED's command goes out, the port reopens.

    screen-reader-tree.py KELMORA_TEST

Needs an X server (DISPLAY) and a D-Bus session whose accessibility bus at-spi2-core starts;
check-screen-reader.sh provides both. Every wait is bounded; a mismatch prints what was read."""

import os
import select
import subprocess
import sys
import time

import pyatspi

WAIT = 10.0  # seconds for each thing the window is expected to do

# What a screen reader finds, depth first: depth under the window, role, name, states. States:
# c checked, e enabled, f focusable, F focused. The transmit box's own parts are not listed.
MAIN_WINDOW = [
    (0, "dialog", "Kelmora-Test", "e"),
    (1, "panel", "Serielle Schnittstelle", "e"),
    (2, "panel", "Port", "e"),
    (3, "radio button", "COM1", "cefF"),
    (3, "radio button", "COM2", "ef"),
    (3, "radio button", "COM3", "ef"),
    (3, "radio button", "COM4", "ef"),
    (2, "panel", "Flusskontrolle", ""),
    (3, "radio button", "Hardware", "f"),
    (3, "radio button", "Software", "f"),
    (2, "panel", "Baudrate", "e"),
    (3, "radio button", "2400", "ef"),
    (3, "radio button", "9600", "ef"),
    (3, "radio button", "14400", "ef"),
    (3, "radio button", "19200", "ef"),
    (3, "radio button", "38400", "cef"),
    (1, "panel", "Fehlermeldungen", ""),
    (2, "label", "Zur Zeit noch InAktiv !", ""),
    (1, "panel", "Kelmora Funktionen", "e"),
    (2, "panel", "Cursor Position", ""),
    (3, "slider", "Cursor Position X", "f"),
    (3, "slider", "Cursor Position Y", "f"),
    (2, "panel", "LED's", "e"),
    (3, "radio button", "LED 1 AN", "ef"),
    (3, "radio button", "LED 1 AUS", "cef"),
    (3, "radio button", "LED 1 BLINK", "ef"),
    (3, "radio button", "LED 2 AN", "ef"),
    (3, "radio button", "LED 2 AUS", "cef"),
    (3, "radio button", "LED 2 BLINK", "ef"),
    (3, "radio button", "LED 3 AN", "ef"),
    (3, "radio button", "LED 3 AUS", "cef"),
    (3, "radio button", "LED 3 BLINK", "ef"),
    (3, "label", "LED 1", "e"),
    (3, "label", "LED 2", "e"),
    (3, "label", "LED 3", "e"),
    (2, "button", "Kelmora Säubern", "ef"),
    (2, "panel", "Empfangene Daten", ""),
    (3, "label", "Zur Zeit noch InAktiv !", ""),
    (1, "panel", "Senden", "e"),
    (2, "text", "Senden", "ef"),
    (1, "button", "Exit", "ef"),
    (1, "button", "Abbrechen", "ef"),
]

# Tab from COM1 through every enabled control and round to COM1 again.
TAB_ORDER = [
    "COM2", "COM3", "COM4", "2400", "9600", "14400", "19200", "38400",
    "LED 1 AN", "LED 1 AUS", "LED 1 BLINK", "LED 2 AN", "LED 2 AUS", "LED 2 BLINK",
    "LED 3 AN", "LED 3 AUS", "LED 3 BLINK", "Kelmora Säubern", "Senden", "Exit", "Abbrechen",
    "COM1",
]

ABOUT_BOX = [
    (0, "dialog", "Info über Kelmora", "e"),
    (1, "image", "", "e"),
    (1, "label", "Kelmora Testprogramm Version 0.1", "e"),
    (1, "label", "Ausgabe 2026", "e"),
    (1, "button", "OK", "efF"),
    (1, "label", "Prüffeld Kelmora", "e"),
]

STATES = [
    ("c", pyatspi.STATE_CHECKED),
    ("e", pyatspi.STATE_ENABLED),
    ("f", pyatspi.STATE_FOCUSABLE),
    ("F", pyatspi.STATE_FOCUSED),
]

failures = []


def check(what, expected, found):
    if expected != found:
        failures.append(f"{what}:\n  erwartet {expected!r}\n  gelesen  {found!r}")


def wait_for(what, probe):
    """The first true value of probe() within WAIT seconds; None (and a failure) after that."""
    deadline = time.monotonic() + WAIT
    while time.monotonic() < deadline:
        try:
            value = probe()
        except Exception:  # an object that went away while it was read: read again
            value = None
        if value:
            return value
        time.sleep(0.05)
    failures.append(f"{what}: nach {WAIT:.0f} s nicht eingetreten")
    return None


def states(accessible):
    state = accessible.getState()
    return "".join(letter for letter, s in STATES if state.contains(s))


def rows(accessible, depth=0):
    """The tree as a screen reader reads it, as rows of MAIN_WINDOW's form."""
    # at-spi2-core 2.56 (Debian 13) calls a push button "button", 2.46 (Debian 12) "push button".
    role = accessible.getRoleName().replace("push button", "button")
    yield (depth, role, accessible.name, states(accessible))
    if accessible.getRole() == pyatspi.ROLE_TEXT:
        return
    for child in accessible:
        if child is not None:
            yield from rows(child, depth + 1)


def application(pid):
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.get_process_id() == pid:
            return app
    return None


def top_level(app, role, name):
    for child in app:
        if child is not None and child.getRole() == role and child.name == name:
            return child
    return None


def find(root, role, name):
    return pyatspi.findDescendant(root, lambda a: a.getRole() == role and a.name == name)


def focused_name(root):
    found = pyatspi.findDescendant(root, lambda a: a.getState().contains(pyatspi.STATE_FOCUSED))
    return found.name if found is not None else None


def press(keysym):
    pyatspi.Registry.generateKeyboardEvent(keysym, None, pyatspi.KEY_SYM)


def act(accessible):
    accessible.queryAction().doAction(0)


def read_line(master, wanted):
    """The bytes the panel's end of the line receives until `wanted` has come, within WAIT."""
    received = b""
    deadline = time.monotonic() + WAIT
    while wanted not in received and time.monotonic() < deadline:
        ready, _, _ = select.select([master], [], [], 0.1)
        if ready:
            received += os.read(master, 256)
    return received


# The actions a screen reader offers on a radio button: the one that presses it, and the focus.
RADIO_ACTIONS = ["Toggle", "SetFocus"]
PRESSING = {"Press", "Toggle"}

KEY_TAB, KEY_DOWN, KEY_SPACE, KEY_RETURN, KEY_MENU, KEY_O = 0xFF09, 0xFF54, 0x20, 0xFF0D, 0xFF67, 0x6F


def main():
    # COM1 and COM2 are pseudo-terminals whose far ends stay here; COM3 and COM4 lead nowhere.
    lines = [os.openpty() for _ in range(2)]
    env = dict(os.environ, QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
               KELMORA_COM1=os.ttyname(lines[0][1]), KELMORA_COM2=os.ttyname(lines[1][1]),
               KELMORA_COM3="/nonexistent/kelmora-test/COM3",
               KELMORA_COM4="/nonexistent/kelmora-test/COM4")
    tool = subprocess.Popen([sys.argv[1]], env=env)
    try:
        run(tool, lines[0][0], lines[1][0])
    finally:
        if tool.poll() is None:
            tool.kill()
        tool.wait()
    if failures:
        print("\n".join(failures), file=sys.stderr)
        return 1
    print(f"{len(MAIN_WINDOW)} Einträge des Fensters, {len(TAB_ORDER)} Tab-Schritte und "
          f"{len(ABOUT_BOX)} Einträge des Infofensters wie erwartet gelesen")
    return 0


def press_by_action(window, name):
    """Carries out every action of the radio button `name` that presses it, as a screen reader
    does; the names of all it offers."""
    action = find(window, pyatspi.ROLE_RADIO_BUTTON, name).queryAction()
    names = [action.getName(i) for i in range(action.nActions)]
    for i, offered in enumerate(names):
        if offered in PRESSING:
            action.doAction(i)
    return names


def run(tool, com1, com2):
    app = wait_for("kelmora-test am AT-SPI-Bus", lambda: application(tool.pid))
    if app is None:
        return
    window = wait_for("Fenster „Kelmora-Test“",
                      lambda: top_level(app, pyatspi.ROLE_DIALOG, "Kelmora-Test"))
    if window is None:
        return
    wait_for("Fokus auf COM1", lambda: focused_name(window) == "COM1")
    check("Baum des Fensters", MAIN_WINDOW, list(rows(window)))

    # The keyboard, as the operator uses it.
    tabbed = []
    for expected in TAB_ORDER:
        before = focused_name(window)
        press(KEY_TAB)
        wait_for(f"Tab zu {expected}", lambda: focused_name(window) not in (None, before))
        tabbed.append(focused_name(window))
    check("Fokus nach jedem Tab", TAB_ORDER, tabbed)
    press(KEY_DOWN)
    wait_for("Pfeil nach unten drückt COM2",
             lambda: states(find(window, pyatspi.ROLE_RADIO_BUTTON, "COM2")) == "cefF")
    check("COM1 nach dem Pfeil", "ef", states(find(window, pyatspi.ROLE_RADIO_BUTTON, "COM1")))

    # The LED button found by its name switches that LED, and its group lets the other go.
    find(window, pyatspi.ROLE_RADIO_BUTTON, "LED 2 BLINK").queryComponent().grabFocus()
    wait_for("Fokus auf „LED 2 BLINK“", lambda: focused_name(window) == "LED 2 BLINK")
    press(KEY_SPACE)
    wait_for("„LED 2 BLINK“ gedrückt",
             lambda: "c" in states(find(window, pyatspi.ROLE_RADIO_BUTTON, "LED 2 BLINK")))
    check("„LED 2 AUS“ nach „LED 2 BLINK“", "ef",
          states(find(window, pyatspi.ROLE_RADIO_BUTTON, "LED 2 AUS")))
    check("Bytes zur Anzeige an COM2", b"~L12", read_line(com2, b"~L12")[-4:])

    # The buttons' own actions, as a screen reader carries them out, act as a click: "LED 3 AN"
    # sends its command, and COM1 reopens the port there, so that the next command goes to COM1.
    check("Aktionen von „LED 3 AN“", RADIO_ACTIONS, press_by_action(window, "LED 3 AN"))
    check("Bytes zur Anzeige an COM2 nach der Aktion", b"~L21", read_line(com2, b"~L21")[-4:])
    check("„LED 3 AN“ nach seiner Aktion", "cef",
          states(find(window, pyatspi.ROLE_RADIO_BUTTON, "LED 3 AN")))
    check("„LED 3 AUS“ nach der Aktion von „LED 3 AN“", "ef",
          states(find(window, pyatspi.ROLE_RADIO_BUTTON, "LED 3 AUS")))
    check("Aktionen von COM1", RADIO_ACTIONS, press_by_action(window, "COM1"))
    check("COM1 nach seiner Aktion", "cef", states(find(window, pyatspi.ROLE_RADIO_BUTTON, "COM1")))
    check("COM2 nach der Aktion von COM1", "ef",
          states(find(window, pyatspi.ROLE_RADIO_BUTTON, "COM2")))
    find(window, pyatspi.ROLE_RADIO_BUTTON, "LED 3 AUS").queryComponent().grabFocus()
    wait_for("Fokus auf „LED 3 AUS“", lambda: focused_name(window) == "LED 3 AUS")
    press(KEY_SPACE)
    check("Bytes zur Anzeige an COM1 nach der Aktion von COM1", b"~L20",
          read_line(com1, b"~L20")[-4:])

    # The About box, from the window's menu (the Menu key), by its mnemonic. Qt does not show
    # the popup menu on the bus, so the mnemonic is typed until the box opens; meanwhile it
    # reaches the focused LED button, which takes no letters.
    press(KEY_MENU)

    def about_box():
        press(KEY_O)
        time.sleep(0.2)
        return top_level(app, pyatspi.ROLE_DIALOG, "Info über Kelmora")

    about = wait_for("Infofenster", about_box)
    if about is None:
        return
    wait_for("Fokus auf OK", lambda: focused_name(about) == "OK")
    check("Baum des Infofensters", ABOUT_BOX, list(rows(about)))
    press(KEY_RETURN)
    wait_for("Infofenster geschlossen",
             lambda: top_level(app, pyatspi.ROLE_DIALOG, "Info über Kelmora") is None)

    act(find(window, pyatspi.ROLE_PUSH_BUTTON, "Abbrechen"))
    try:
        check("Status nach „Abbrechen“", 0, tool.wait(timeout=WAIT))
    except subprocess.TimeoutExpired:
        failures.append("kelmora-test lief nach „Abbrechen“ weiter")


if __name__ == "__main__":
    sys.exit(main())
