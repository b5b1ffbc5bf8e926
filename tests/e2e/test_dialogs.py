"""The Options and About dialogs and the folder browser, worked as a user works them."""
import os
import shutil
import subprocess
import tempfile
import unittest

import harness as h

TVM_GETNEXTITEM = 0x110A
TVGN_CARET = 9


def windows_desktop():
    """The desktop folder as the program sees it, e.g. C:\\users\\me\\Desktop."""
    desktop = h.desktop_dir()
    user = os.path.basename(os.path.dirname(desktop))
    return "C:\\users\\%s\\Desktop" % user


class OptionsBoxes(unittest.TestCase):
    def setUp(self):
        self.out = tempfile.mkdtemp(prefix="grabotine-out-")
        self.addCleanup(shutil.rmtree, self.out, True)
        self.folder = h.unix_to_windows(self.out)

    def test_boxes_show_the_settings_read_at_start(self):
        # (INI values sound, auto-save, save-as) -> (boxes 101, 102, 103)
        cases = [
            (("01", "yes", "1"), (1, 0, 1)),
            (("0", "1", "0"), (0, 1, 0)),
            (("1.5", "0", "1"), (1, 0, 1)),
        ]
        for ini, boxes in cases:
            with self.subTest(ini=ini), h.Program(ini=h.settings_ini(self.folder, *ini)) as app:
                dialog = h.Dialog.open_options(app)
                self.assertEqual((dialog.checked(101), dialog.checked(102), dialog.checked(103)),
                                 boxes)
                self.assertEqual(dialog.text(105), self.folder)
                self.assertEqual(dialog.text(103), "BMP (unchecked) /JPG (checked)")
                # The usual OK and Cancel ids are not this dialog's.
                for command_id in (1, 2):
                    dialog.send_command(command_id)
                    self.assertTrue(dialog.is_open(), "id %d closed the dialog" % command_id)
                dialog.click(110)
                dialog.wait_closed()
                self.assertEqual(app.exit(self),
                                 {"Sound": str(boxes[0]), "autoSave": str(boxes[1]),
                                  "SaveAs": str(boxes[2]), "Folder": self.folder, "Hotkey": "1",
                                  "Magnifier": "0", "Snap": "0", "Delay": "3"})

    def test_only_ok_stores_the_boxes(self):
        start = {"Sound": "1", "autoSave": "0", "SaveAs": "0", "Folder": self.folder, "Hotkey": "1",
                 "Magnifier": "0", "Snap": "0", "Delay": "3"}
        toggled = dict(start, Sound="0", autoSave="1", SaveAs="1", Hotkey="0", Magnifier="1", Snap="1")
        # (how the dialog is closed, boxes toggled first, settings written at Exit)
        cases = [
            ("ok", True, toggled),
            ("ok", False, start),
            ("cancel", True, start),
            ("close box", True, start),
        ]
        for close, toggle, expected in cases:
            with self.subTest(close=close, toggle=toggle), \
                    h.Program(ini=h.settings_ini(self.folder, "1", "0", "0")) as app:
                dialog = h.Dialog.open_options(app)
                if toggle:
                    for box in (101, 102, 103, 106, 109, 111):
                        dialog.toggle(box)
                # Typed into the folder box: never taken as the output directory.
                dialog.click(105)
                h.key("End")
                # Return and Escape in the box send ids 1 and 2: the dialog stays. The key
                # typed after them shows they have been handled.
                h.xdotool("type", "--delay", "20", "\\typed")
                h.key("Return")
                h.key("Escape")
                h.xdotool("type", "!")
                h.poll(lambda: dialog.text(105).endswith("\\typed!"), what="the typed text")
                self.assertTrue(dialog.is_open())
                if close == "ok":
                    dialog.click(100)
                elif close == "cancel":
                    dialog.click(110)
                else:
                    dialog.press_close_box()
                dialog.wait_closed()
                self.assertEqual(app.exit(self), expected)

    def test_print_screen_box_takes_and_releases_the_key_at_once(self):
        with h.Program(ini=h.settings_ini(self.folder)) as app:
            self.assertEqual(h.ask("hotkey"), "0")
            for free in ("1", "0"):
                dialog = h.Dialog.open_options(app)
                dialog.toggle(106)
                dialog.click(100)
                h.poll(lambda: h.ask("hotkey") == free, what="the key to follow the box")

    def hold_print_screen(self):
        """Another program holds Print Screen until killed; returns it, and the registry command
        that sets Windows' own use of the key (put back to 0 when the test ends) but its value."""
        holder = subprocess.Popen(["wine", h.PROBE, "hotkey", "hold"], stdout=subprocess.PIPE,
                                  stderr=subprocess.DEVNULL, text=True)
        self.addCleanup(holder.stdout.close)
        self.assertEqual(holder.stdout.readline().strip(), "1")
        snip = ["reg", "add", r"HKCU\Control Panel\Keyboard", "/t", "REG_DWORD", "/f",
                "/v", "PrintScreenKeyForSnippingEnabled", "/d"]
        self.addCleanup(h.wine, *snip, 0)
        return holder, snip

    def test_print_screen_not_to_be_had_gives_a_balloon_and_an_unavailable_box(self):
        holder, snip = self.hold_print_screen()
        # Held by another program; then free, but kept by Windows for its own snip.
        for reason in ("Another program", "Windows keeps"):
            with self.subTest(reason=reason), h.Program(ini=h.settings_ini(self.folder)) as app:
                h.probe("balloon", int(h.TIMEOUT * 1000))
                dialog = h.Dialog.open_options(app)
                note = dialog.text(107)
                self.assertTrue(note.startswith(reason) and
                                '"Use the Print screen key to open screen capture"' in note, note)
                box = next(hwnd for i, _cls, hwnd in dialog.controls() if i == "106")
                self.assertEqual((h.window_info(box)["enabled"], dialog.checked(106)), ("0", 1))
            holder.kill()
            h.poll(lambda: h.ask("hotkey") == "1", what="the key to be free")
            h.wine(*snip, 1)

    def test_print_screen_freed_later_is_taken_without_a_restart(self):
        # Held by another program and kept by Windows' snip at start; the snip turned off (the
        # registry's notice), then the other program gone (the retry), and the key works.
        holder, snip = self.hold_print_screen()
        h.wine(*snip, 1)
        with h.Program(ini=h.settings_ini(self.folder)) as app:
            h.probe("balloon", int(h.TIMEOUT * 1000))
            h.wine(*snip, 0)
            app.idle()
            holder.kill()
            holder.wait()
            h.poll(lambda: h.ask("hotkey") == "0", what="the program to take the key")
            h.xdotool("windowactivate", "--sync", h.x_window_of(h.show_topmost_window(self)))
            h.key("Print")
            app.wait_visible(True)

    def test_options_shown_again_hold_what_ok_stored(self):
        with h.Program(ini=h.settings_ini(self.folder, "0", "0", "0")) as app:
            dialog = h.Dialog.open_options(app)
            dialog.toggle(102)
            dialog.click(100)
            dialog.wait_closed()
            dialog = h.Dialog.open_options(app)
            self.assertEqual((dialog.checked(101), dialog.checked(102), dialog.checked(103)),
                             (0, 1, 0))
            dialog.toggle(101)
            dialog.press_close_box()
            dialog.wait_closed()
            dialog = h.Dialog.open_options(app)
            self.assertEqual((dialog.checked(101), dialog.checked(102), dialog.checked(103)),
                             (0, 1, 0))
            dialog.click(110)
            dialog.wait_closed()


class FolderBrowser(unittest.TestCase):
    def setUp(self):
        self.out = tempfile.mkdtemp(prefix="grabotine-out-")
        self.addCleanup(shutil.rmtree, self.out, True)
        self.old = h.unix_to_windows(self.out)

    def make_desktop_folder(self, name):
        path = os.path.join(h.desktop_dir(), name)
        os.mkdir(path)
        self.addCleanup(shutil.rmtree, path, True)
        return windows_desktop() + "\\" + name

    def open_browser(self, options):
        options.click(104)
        browser = h.Dialog(options.hwnd)
        texts = [browser.text(control_id) for control_id, _cls, _hwnd in browser.controls()]
        self.assertIn("Change output directory", texts)
        return browser

    def pick(self, browser, prefix):
        """Selects the desktop's sub-folder whose name starts with prefix, by keyboard."""
        tree_id, tree = next((int(i), hwnd) for i, cls, hwnd in browser.controls()
                             if cls == "SysTreeView32")
        x, y, w, hgt = browser.rect(tree_id)
        # Empty space above a possible scroll bar: focuses the tree, selects nothing.
        h.click_screen(x + w // 2, y + hgt - 24)
        h.poll(lambda: h.ask("control-focus", browser.hwnd) == str(tree_id),
               what="the focus on the tree")
        before = h.ask("send", tree, TVM_GETNEXTITEM, TVGN_CARET, 0)
        h.xdotool("type", "--delay", "40", prefix)
        h.poll(lambda: h.ask("send", tree, TVM_GETNEXTITEM, TVGN_CARET, 0) != before,
               what="the selection to move")

    def test_chosen_folder_is_in_effect_at_once_and_cancel_keeps_it(self):
        chosen = self.make_desktop_folder("gpick-shots")
        with h.Program(ini=h.settings_ini(self.old, "0", "0", "0")) as app:
            options = h.Dialog.open_options(app)
            browser = self.open_browser(options)
            self.pick(browser, "gpick-")
            h.key("Return")
            browser.wait_closed()
            self.assertEqual(options.text(105), chosen)
            options.click(110)
            options.wait_closed()
            self.assertEqual(app.exit(self)["Folder"], chosen)

    def test_cancelled_browser_keeps_the_old_folder(self):
        self.make_desktop_folder("gcancel-other")
        with h.Program(ini=h.settings_ini(self.old, "0", "0", "0")) as app:
            options = h.Dialog.open_options(app)
            browser = self.open_browser(options)
            # Another folder selected, then Cancel: nothing of it may stay.
            self.pick(browser, "gcancel-")
            browser.click(2)
            browser.wait_closed()
            self.assertEqual(options.text(105), self.old)
            options.click(100)
            options.wait_closed()
            self.assertEqual(app.exit(self)["Folder"], self.old)

    def test_folder_too_long_for_the_settings_keeps_the_old_one(self):
        # 256 characters and its terminator: a valid path, one byte too long to keep.
        prefix = "glong-"
        name = prefix + "x" * (256 - len(windows_desktop()) - 1 - len(prefix))
        too_long = self.make_desktop_folder(name)
        self.assertEqual(len(too_long), 256)
        with h.Program(ini=h.settings_ini(self.old, "0", "0", "0")) as app:
            options = h.Dialog.open_options(app)
            browser = self.open_browser(options)
            self.pick(browser, prefix)
            h.key("Return")
            browser.wait_closed()
            self.assertEqual(options.text(105), self.old)
            options.click(110)
            options.wait_closed()
            self.assertEqual(app.exit(self)["Folder"], self.old)


class IconWhileADialogIsOpen(unittest.TestCase):
    def test_a_press_on_the_icon_only_brings_the_open_dialog_forward(self):
        with h.Program() as app:
            options = h.Dialog.open_options(app)
            other_hwnd = h.show_topmost_window(self)
            browser = None
            for front in ("options", "browser"):
                if front == "browser":
                    options.click(104)
                    browser = h.Dialog(options.hwnd)
                dialog = browser or options
                for button in (1, 3):
                    with self.subTest(front=front, button=button):
                        # A click on the other program's window brings it to the front.
                        h.click_screen(650, 450)
                        h.poll(lambda: h.ask("foreground") == other_hwnd, what="the other window")
                        app.press_icon(button)
                        h.poll(lambda: h.ask("foreground") == dialog.hwnd, what="the dialog")
                        app.sync()
                        self.assertEqual(app.window_info()["visible"], "0")
                        self.assertFalse(h.popup_menu_shown())
            browser.click(2)
            browser.wait_closed()
            options.click(110)
            options.wait_closed()
            app.exit(self)


class About(unittest.TestCase):
    def test_about_from_the_menu_shows_the_name_and_ignores_ids_1_and_2(self):
        with h.Program() as app:
            app.choose_from_menu(0)  # About
            about = h.Dialog(app.hwnd, "About ...")
            self.assertEqual(about.text(10), h.APP_NAME)
            for command_id in (1, 2):
                about.send_command(command_id)
                self.assertTrue(about.is_open(), "id %d closed the dialog" % command_id)
            about.click(100)
            about.wait_closed()
            app.command(2)
            about = h.Dialog(app.hwnd, "About ...")
            about.press_close_box()
            about.wait_closed()
            self.assertIsNone(app.proc.poll())
            app.exit(self)


if __name__ == "__main__":
    unittest.main()
