"""Drives a running program's windows through the accessibility tree, as assistive technology
would: controls are found by their accessible description (the design's control name), buttons
are pressed through their actions, texts typed through the editable-text interface. Runs inside
desktop_session.py (Debian's python3 with python3-pyatspi and python3-xlib)."""
import os
import sys
import time
import warnings

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402
from Xlib import X, display, protocol  # noqa: E402

# The per-interface calls used here are the ones Debian 12's library offers; newer names warn.
warnings.filterwarnings("ignore", category=DeprecationWarning)


def wait_until(predicate, timeout=10.0, step=0.05):
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() >= deadline:
            return value
        time.sleep(step)


def walk(node, depth=0):
    if node is None or depth > 40:
        return
    yield node
    try:
        count = node.get_child_count()
    except gi.repository.GLib.Error:
        return
    for i in range(count):
        try:
            child = node.get_child_at_index(i)
        except gi.repository.GLib.Error:
            continue
        yield from walk(child, depth + 1)


def describe(node):
    if node is None:
        return ""
    try:
        return node.get_description() or ""
    except gi.repository.GLib.Error:
        return ""


def name(node):
    if node is None:
        return ""
    try:
        return node.get_name() or ""
    except gi.repository.GLib.Error:
        return ""


def role(node):
    if node is None:
        return ""
    try:
        return node.get_role_name()
    except gi.repository.GLib.Error:
        return ""


class Program:
    """The accessible application of one process."""

    def __init__(self, pid, timeout=20.0):
        self.pid = pid
        self.app = wait_until(self._find_app, timeout, 0.2)
        if not self.app:
            desktop = Atspi.get_desktop(0)
            seen = [name(desktop.get_child_at_index(i)) for i in range(desktop.get_child_count())]
            raise AssertionError("process %d never showed in the accessibility tree (it holds %r)"
                                 % (pid, seen))

    def _find_app(self):
        desktop = Atspi.get_desktop(0)
        for i in range(desktop.get_child_count()):
            app = desktop.get_child_at_index(i)
            try:
                if app is not None and app.get_process_id() == self.pid:
                    return app
            except gi.repository.GLib.Error:
                continue
        return None

    # --- finding ---------------------------------------------------------------------------

    def find(self, control, timeout=5.0, within=None):
        """The control whose accessible description is its design name ("cmdPX700_2")."""
        def look():
            for node in walk(within or self.app):
                if describe(node) == control:
                    return node
            return None
        node = wait_until(look, timeout)
        if not node:
            raise AssertionError("no control %s" % control)
        return node

    def windows(self):
        """The top-level windows: the main window, dialogs and message boxes."""
        return [self.app.get_child_at_index(i) for i in range(self.app.get_child_count())]

    def window(self, title_part="", timeout=10.0):
        def look():
            for w in self.windows():
                if title_part in name(w):
                    return w
            return None
        w = wait_until(look, timeout)
        if not w:
            raise AssertionError("no window titled %r among %r"
                                 % (title_part, [name(x) for x in self.windows()]))
        return w

    def main_window(self):
        return self.app.get_child_at_index(0)

    def main_title(self):
        return name(self.main_window())

    # --- acting ------------------------------------------------------------------------------

    @staticmethod
    def press(node, wanted=("Press", "press", "click", "Toggle", "toggle")):
        # A control offers its actions only while it is enabled: wait for that, as a person would.
        wait_until(lambda: Atspi.Action.get_n_actions(node) > 0, 10.0)
        count = Atspi.Action.get_n_actions(node)
        for i in range(count):
            if Atspi.Action.get_action_name(node, i) in wanted:
                return Atspi.Action.do_action(node, i)
        if count == 0:
            raise AssertionError("%s has no action" % (describe(node) or name(node)))
        return Atspi.Action.do_action(node, 0)

    @staticmethod
    def set_text(node, text):
        return Atspi.EditableText.set_text_contents(node, text)

    @staticmethod
    def text(node):
        if "Text" not in node.get_interfaces():
            return name(node)
        return Atspi.Text.get_text(node, 0, Atspi.Text.get_character_count(node))

    @staticmethod
    def tabs(tab_list):
        children = [tab_list.get_child_at_index(i) for i in range(tab_list.get_child_count())]
        return [c for c in children if role(c) == "page tab"]

    def page_captions(self, control="SSTab"):
        return [name(t) for t in self.tabs(self.tab_list(control))]

    def tab_list(self, control="SSTab"):
        widget = self.find(control)
        for node in walk(widget):
            if role(node) == "page tab list":
                return node
        return widget

    def select_page(self, index, control="SSTab"):
        self.press(self.tabs(self.tab_list(control))[index])
        if not wait_until(lambda: self.showing("%s_%d" % (control, index)), 5.0):
            raise AssertionError("page %d of %s is not shown" % (index, control))

    @staticmethod
    def click(node):
        """A left click in the middle of the control, with the (virtual) mouse."""
        r = Atspi.Component.get_extents(node, Atspi.CoordType.SCREEN)
        Atspi.generate_mouse_event(r.x + r.width // 2, r.y + r.height // 2, "b1c")

    @staticmethod
    def double_click(node):
        r = Atspi.Component.get_extents(node, Atspi.CoordType.SCREEN)
        Atspi.generate_mouse_event(r.x + r.width // 2, r.y + r.height // 2, "b1d")

    def choose(self, combo_control, item_text, attempts=3):
        """Opens a combo box's list with the mouse and clicks the item with this text; an item
        scrolled out of the list is reached by typing its text and Return, as a person would."""
        for attempt in range(attempts):
            try:
                return self._choose(combo_control, item_text)
            except AssertionError:
                if attempt == attempts - 1:
                    raise
                press_key("Escape")  # a list left open takes the next click
                time.sleep(0.3)

    def _choose(self, combo_control, item_text):
        combo = self.find(combo_control)
        self.click(combo)

        def shown_item():
            for node in walk(combo):
                if (role(node) == "list item" and name(node) == item_text and
                        node.get_state_set().contains(Atspi.StateType.SHOWING)):
                    r = Atspi.Component.get_extents(node, Atspi.CoordType.SCREEN)
                    if r.width > 0 and r.height > 0 and r.y >= 0:
                        return node
            return None
        item = wait_until(shown_item, 2.0)
        if item:
            self.click(item)
        else:
            time.sleep(0.3)
            type_text(item_text)
            press_key("Return")
        if not wait_until(lambda: name(combo) == item_text, 5.0):
            raise AssertionError("%s shows %r, not %r" % (combo_control, name(combo), item_text))
        # The list must be gone before the next step: an open popup takes the next clicks.
        wait_until(lambda: not item.get_state_set().contains(Atspi.StateType.SHOWING), 5.0)

    def showing(self, control):
        return self.find(control).get_state_set().contains(Atspi.StateType.SHOWING)

    def enabled(self, control):
        return self.find(control).get_state_set().contains(Atspi.StateType.ENABLED)

    def checked(self, control):
        return self.find(control).get_state_set().contains(Atspi.StateType.CHECKED)

    def dialog(self, control, timeout=10.0):
        """A dialog window, found by its design name ("frmTime")."""
        def look():
            for w in self.windows():
                if describe(w) == control:
                    return w
            return None
        w = wait_until(look, timeout)
        if not w:
            raise AssertionError("no dialog %s among %r"
                                 % (control, [describe(x) or name(x) for x in self.windows()]))
        return w

    def gone(self, control, timeout=10.0):
        return wait_until(lambda: all(describe(w) != control for w in self.windows()), timeout)

    def press_named(self, window, caption):
        """Presses the button with this caption ("&Yes" and "Yes" alike) inside a window."""
        for node in walk(window):
            if role(node) == "push button" and name(node).replace("&", "") == caption:
                return self.press(node)
        raise AssertionError("no button %r" % caption)

    def cell(self, control, row, column):
        """A cell of a grid (rows and columns counted from 0 below the header)."""
        grid = self.find(control)
        return Atspi.Table.get_accessible_at(grid, row, column)

    def cell_text(self, control, row, column):
        return name(self.cell(control, row, column))

    def column_texts(self, control, column, rows=32):
        grid = self.find(control)
        return [name(Atspi.Table.get_accessible_at(grid, r, column)) for r in range(rows)]

    def enter_time(self, grid, picker, row, hhmm, direction=None):
        """Types a time into a row of a time grid with its in-place editor: a click on the row,
        the "has a time" box ticked, hours and minutes typed (and the direction chosen)."""
        self.click(self.cell(grid, row, 1))
        box = self.find(picker + "_time")
        wait_until(lambda: box.get_state_set().contains(Atspi.StateType.SHOWING), 5.0)
        if not box.get_state_set().contains(Atspi.StateType.CHECKED):
            self.press(box)
        value = self.find(picker + "_value")
        wait_until(lambda: value.get_state_set().contains(Atspi.StateType.ENABLED), 5.0)
        self.set_text(value, "%s  :  %s" % (hhmm[:2], hhmm[2:]))
        if not wait_until(lambda: self.cell_text(grid, row, 1) == hhmm[:2] and
                          self.cell_text(grid, row, 2) == hhmm[2:], 5.0):
            raise AssertionError("row %d of %s shows %r:%r" % (
                row, grid, self.cell_text(grid, row, 1), self.cell_text(grid, row, 2)))
        if direction is not None:
            self.choose_in_place(grid, direction)

    def choose_in_place(self, grid, item_text):
        """The In/Out grid's direction list over the edited row."""
        lists = {"fgdIOSTable": "cboIOSTable"}
        self.choose(lists[grid], item_text)

    def row_count(self, control):
        return Atspi.Table.get_n_rows(self.find(control))

    def list_items(self, control):
        return [name(n) for n in walk(self.find(control)) if role(n) == "list item"]

    def select_item(self, control, text):
        """Clicks the line of a list with this text."""
        for node in walk(self.find(control)):
            if role(node) == "list item" and name(node) == text:
                return self.click(node)
        raise AssertionError("%s has no line %r" % (control, text))

    def double_click_item(self, control, text):
        for node in walk(self.find(control)):
            if role(node) == "list item" and name(node) == text:
                return self.double_click(node)
        raise AssertionError("%s has no line %r" % (control, text))


def _windows_of(d, pid, title=None):
    """The mapped top-level X windows of a process (optionally with this title), stacking order."""
    net_pid = d.intern_atom("_NET_WM_PID")
    found = []
    for window in d.screen().root.query_tree().children:
        try:
            prop = window.get_full_property(net_pid, X.AnyPropertyType)
            attrs = window.get_attributes()
            wm_name = window.get_wm_name()
        except Exception:
            continue
        if not (prop and prop.value and prop.value[0] == pid and attrs.map_state == X.IsViewable):
            continue
        if title is None or (wm_name and title in wm_name):
            found.append(window)
    return found


def focus_window(pid, title=None):
    """Gives a window of the process the keyboard focus (there is no window manager to do it)."""
    d = display.Display()
    windows = _windows_of(d, pid, title)
    if windows:
        windows[-1].set_input_focus(X.RevertToParent, X.CurrentTime)
        windows[-1].configure(stack_mode=X.Above)
    d.sync()
    d.close()
    return bool(windows)


def close_window(pid, title=None):
    """Asks a window of a process to close, as a window manager's close box does."""
    d = display.Display()
    wm_protocols = d.intern_atom("WM_PROTOCOLS")
    wm_delete = d.intern_atom("WM_DELETE_WINDOW")
    windows = _windows_of(d, pid, title)
    if os.environ.get("PX_DEBUG_E2E"):
        print("closing", [(hex(w.id), w.get_wm_name()) for w in windows], file=sys.stderr)
    for window in windows[:1] if title is None else windows:
        event = protocol.event.ClientMessage(window=window, client_type=wm_protocols,
                                             data=(32, [wm_delete, X.CurrentTime, 0, 0, 0]))
        window.send_event(event)
    d.flush()
    d.close()
    return bool(windows)


def asked_iconic(pid, title=None):
    """Whether a window of the process asks to be shown iconified (its WM_HINTS initial state,
    or its _NET_WM_STATE): what a window manager would honour."""
    d = display.Display()
    iconic = False
    hidden = d.intern_atom("_NET_WM_STATE_HIDDEN")
    state = d.intern_atom("_NET_WM_STATE")
    for window in _windows_of(d, pid, title):
        hints = window.get_wm_hints()
        if hints and (hints.flags & 2) and hints.initial_state == 3:  # StateHint, IconicState
            iconic = True
        prop = window.get_full_property(state, X.AnyPropertyType)
        if prop and hidden in prop.value:
            iconic = True
    d.close()
    return iconic


def type_text(text):
    """Types text on the keyboard (to the focused control)."""
    Atspi.generate_keyboard_event(0, text, Atspi.KeySynthType.STRING)


def press_key(keysym_name):
    """Presses and releases one key, by its X key name ("Return", "Escape", "Down")."""
    d = display.Display()
    from Xlib import XK
    code = d.keysym_to_keycode(XK.string_to_keysym(keysym_name))
    d.close()
    Atspi.generate_keyboard_event(code, None, Atspi.KeySynthType.PRESSRELEASE)
