"""Start-up, the notification icon, the popup menu, Help, Exit and End, as a user meets them."""
import os
import shutil
import stat
import subprocess
import tempfile
import unittest
import urllib.parse

import harness as h

# WM_KEYDOWN's lParam for a typed key: repeat count 1, the key's scan code (End's extended).
TYPED_F4 = 0x003E0001
TYPED_END = 0x014F0001

MENU = [
    ("2", "enabled", "&About ..."),
    ("6", "enabled", "&Help"),
    ("3", "grayed", "&Save"),
    ("7", "grayed", "Capture last region"),
    ("8", "enabled", "Capture in 3 seconds"),
    ("9", "grayed", "Pin to screen"),
    ("10", "grayed", "Copy path"),
    ("11", "grayed", "Open folder"),
    ("5", "enabled", "&Options"),
    ("1", "enabled", "&Exit"),
]


class StartAndQuit(unittest.TestCase):
    def test_fresh_start_menu_and_exit_write_the_defaults(self):
        with h.Program() as app:
            info = app.window_info()
            self.assertEqual(info["visible"], "0")
            self.assertEqual((info["x"], info["y"], info["w"], info["h"]), ("0", "0", "0", "0"))

            items = app.menu_items(lambda: app.press_icon(3))
            self.assertEqual(items, MENU)

            app.choose_from_menu(9)  # Exit
            self.assertEqual(app.wait_exit(), 0)

        values = h.settings()
        self.assertEqual(list(values), ["autoSave", "Sound", "SaveAs", "Folder", "Hotkey",
                                        "Magnifier", "Snap", "Delay"])
        self.assertEqual((values["autoSave"], values["Sound"], values["SaveAs"]), ("0", "0", "0"))
        # The default folder is the user's desktop, written as Windows sees it.
        self.assertRegex(values["Folder"], r"(?i)^C:\\users\\[^\\]+\\Desktop$")
        # Only the tray icon ever showed: it is gone with the program.
        h.poll(lambda: not h.tray_icons(), what="the icon to go")

    def test_stored_values_are_read_and_written_back_normalised(self):
        out = tempfile.mkdtemp(prefix="grabotine-out-")
        ini = ("[autoSave]\r\nState=yes\r\n[Sound]\r\nState=01\r\n"
               "[SaveAs]\r\nState=1.5\r\n[Folder]\r\nState=%s\r\n[Delay]\r\nState=61\r\n"
               % h.unix_to_windows(out))
        with h.Program(ini=ini) as app:
            app.exit(self)
        values = h.settings()
        self.assertEqual(values, {"autoSave": "0", "Sound": "1", "SaveAs": "1",
                                  "Folder": h.unix_to_windows(out), "Hotkey": "1",
                                  "Magnifier": "0", "Snap": "0", "Delay": "3"})

    def test_a_settings_file_beside_the_program_is_read_changed_and_stored_there(self):
        folder = tempfile.mkdtemp(prefix="grabotine-portable-")
        self.addCleanup(shutil.rmtree, folder, True)
        for name in ("Grabotine.exe", "NViewLib.dll"):
            shutil.copy(os.path.join(h.BUILD, name), folder)
        portable = os.path.join(folder, "grabotine.ini")
        h.write_ini(h.settings_ini("C:\\", sound=1), portable)
        with h.Program(exe=os.path.join(folder, "Grabotine.exe"), cwd=folder) as app:
            dialog = h.Dialog.open_options(app)
            self.assertEqual(dialog.checked(101), 1)
            dialog.toggle(101)
            dialog.click(100)
            dialog.wait_closed()
            app.command(1)
            self.assertEqual(app.wait_exit(), 0)
        with open(portable, newline="") as f:
            self.assertEqual(h.ini_values(f.read())["Sound"], "0")
        self.assertFalse(os.path.exists(h.ini_path()))
        # One that cannot be written (held by another program: root writes read-only files):
        # said once, and the settings go to %APPDATA%.
        holder = subprocess.Popen(["wine", h.PROBE, "hold-file", h.unix_to_windows(portable)],
                                  stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        with holder.stdin, holder.stdout:
            self.assertEqual(holder.stdout.readline().strip(), "held")
            with h.Program(exe=os.path.join(folder, "Grabotine.exe"), cwd=folder) as app:
                h.probe("balloon", int(h.TIMEOUT * 1000))
                self.assertIn("Magnifier", app.exit(self))
        holder.wait(timeout=h.TIMEOUT)

    def test_end_key_on_the_overlay_quits_and_writes_the_settings(self):
        with h.Program() as app:
            app.press_icon(1)
            app.wait_visible(True)
            h.key("End")
            self.assertEqual(app.wait_exit(), 0)
        self.assertEqual(list(h.settings()),
                         ["autoSave", "Sound", "SaveAs", "Folder", "Hotkey", "Magnifier",
                          "Snap", "Delay"])

    def test_close_request_runs_the_same_shutdown(self):
        with h.Program() as app:
            app.post(h.WM_CLOSE)
            self.assertEqual(app.wait_exit(), 0)
        self.assertEqual(list(h.settings()),
                         ["autoSave", "Sound", "SaveAs", "Folder", "Hotkey", "Magnifier",
                          "Snap", "Delay"])
        h.poll(lambda: not h.tray_icons(), what="the icon to go")

    def test_second_instance_exits_at_once_without_a_second_icon(self):
        with h.Program() as app:
            icons = h.tray_icons()
            self.assertEqual(len(icons), 1)
            second = subprocess.run(["wine", h.EXE], capture_output=True, timeout=h.TIMEOUT)
            self.assertEqual(second.returncode, 0)
            self.assertEqual(h.tray_icons(), icons)
            # Still one program window, and the first instance is untouched.
            self.assertIsNotNone(app.window_info())
            self.assertIsNone(app.proc.poll())
            app.exit(self)


class DesktopLife(unittest.TestCase):
    """What the shell and the session do to a program that runs all day in the tray."""

    def test_a_restarted_shell_gets_the_icon_back(self):
        with h.Program() as app:
            # The shell dies and forgets the icon, then announces itself as a new shell does.
            h.probe("icon-delete", app.hwnd, 32000)
            h.poll(lambda: not h.tray_icons(), what="the icon to go")
            h.probe("broadcast", "TaskbarCreated")
            h.poll(h.tray_icons, what="the icon to come back")
            app.open_overlay()
            h.key("End")
            self.assertEqual(app.wait_exit(), 0)

    def test_the_session_ending_keeps_options_changed_since_start(self):
        with h.Program(ini=h.settings_ini("C:\\", sound=0)) as app:
            options = h.Dialog.open_options(app)
            options.toggle(101)
            options.click(100)
            options.wait_closed()
            # Log-off: no Exit and no WM_DESTROY, the process is simply ended afterwards.
            h.end_session()
            app.wait_exit()
        self.assertEqual(h.settings()["Sound"], "1")

    def test_keys_typed_to_the_hidden_window_do_nothing(self):
        out = tempfile.mkdtemp(prefix="grabotine-out-")
        self.addCleanup(shutil.rmtree, out, True)
        with h.Program(ini=h.settings_ini(h.unix_to_windows(out), auto_save=1)) as app:
            app.capture(10, 40, 60, 90)
            h.poll(lambda: len(os.listdir(out)) == 1, what="the auto-saved file")
            # After the tray menu the hidden window can keep the keyboard focus, which X never
            # gives a hidden window here: the keys come as the keyboard sends them.
            app.post(h.WM_KEYDOWN, h.VK_F4, TYPED_F4)
            app.post(h.WM_KEYDOWN, h.VK_END, TYPED_END)
            app.sync()
            self.assertIsNone(app.proc.poll())
            # Keys from the keyboard: Print Screen while the tray menu is open (it would be in
            # the picture), then Alt+F4 to the hidden window that the menu left in front.
            app.press_icon(3)
            h.poll(h.popup_menu_shown, what="the menu")
            h.probe("keys", app.hwnd, 0x2C)  # VK_SNAPSHOT
            app.idle()
            self.assertEqual(app.window_info()["visible"], "0")
            app.close_menu()
            h.probe("keys", app.hwnd, 0x12, h.VK_F4)  # VK_MENU
            app.idle()
            self.assertIsNone(app.proc.poll())
            self.assertEqual(len(os.listdir(out)), 1)
            # The program's own requests (Save, Exit) still work.
            app.command(3)
            h.poll(lambda: len(os.listdir(out)) == 2, what="the saved file")
            app.exit(self)


class Menu(unittest.TestCase):
    def test_each_menu_item_does_what_it_says(self):
        # winebrowser hands .htm files to xdg-open from PATH: ours records what it got.
        bindir = tempfile.mkdtemp(prefix="grabotine-bin-")
        record = os.path.join(bindir, "opened.txt")
        script = os.path.join(bindir, "xdg-open")
        with open(script, "w") as f:
            f.write('#!/bin/sh\nprintf "%%s\\n" "$@" >> "%s"\n' % record)
        os.chmod(script, os.stat(script).st_mode | stat.S_IEXEC)
        self.addCleanup(os.environ.__setitem__, "PATH", os.environ["PATH"])
        os.environ["PATH"] = bindir + os.pathsep + os.environ["PATH"]
        out = tempfile.mkdtemp(prefix="grabotine-out-")
        self.addCleanup(shutil.rmtree, out, True)
        screen = h.lay_pattern()
        with h.Program(ini=h.settings_ini(h.unix_to_windows(out))) as app:
            app.capture(10, 40, 60, 90)
            app.choose_from_menu(2)  # Save
            saved = h.poll(lambda: os.listdir(out), what="the saved file")
            image = h.poll(lambda: h.decoded_bmp(os.path.join(out, saved[0])), what="a whole BMP")
            h.assert_same_image(self, image, h.crop(screen, 10, 40, 50, 50))

            app.choose_from_menu(1)  # Help
            opened = h.poll(lambda: h.read_text(record), what="the help page to be opened")
            page = opened.strip().splitlines()[0]
            if page.startswith("file://"):
                page = page[len("file://"):]
            self.assertTrue(os.path.samefile(page, os.path.join(h.BUILD, "grabotine.htm")), page)

            for position, caption, close_id in ((0, "About ...", 100), (8, "Options", 110)):
                app.choose_from_menu(position)
                dialog = h.Dialog(app.hwnd, caption)
                dialog.click(close_id)
                dialog.wait_closed()

            app.choose_from_menu(9)  # Exit
            self.assertEqual(app.wait_exit(), 0)

        # Help from a copy installed where the code page cannot write the folder's name.
        folder = os.path.join(h.PREFIX, "drive_c", "Гработин")
        os.makedirs(folder)
        for name in ("Grabotine.exe", "NViewLib.dll", "grabotine.htm"):
            shutil.copy(os.path.join(h.BUILD, name), folder)
        os.remove(record)
        with h.Program(exe=os.path.join(folder, "Grabotine.exe")) as app:
            app.choose_from_menu(1)
            opened = h.poll(lambda: h.read_text(record), what="the copy's help page to be opened")
            page = urllib.parse.unquote(opened.strip()).replace("file://", "", 1)
            self.assertTrue(os.path.samefile(page, os.path.join(folder, "grabotine.htm")), page)


if __name__ == "__main__":
    unittest.main()
