"""Start-up, the notification icon, the popup menu, Help, Exit and End, as a user meets them."""
import os
import stat
import subprocess
import tempfile
import unittest

import harness as h

MENU = [
    ("2", "enabled", "&About ..."),
    ("6", "enabled", "&Help"),
    ("3", "grayed", "&Save"),
    ("5", "enabled", "&Options"),
    ("1", "enabled", "&Exit"),
]


def ini_sections(text):
    """[(section, value of State)] in file order."""
    sections = []
    for line in text.splitlines():
        line = line.strip()
        if line.startswith("["):
            sections.append([line.strip("[]"), None])
        elif line.startswith("State=") and sections:
            sections[-1][1] = line[len("State="):]
    return [tuple(s) for s in sections]


def windows_path(unix_path):
    return h.unix_to_windows(unix_path)


class StartAndQuit(unittest.TestCase):
    def test_fresh_start_menu_and_exit_write_the_defaults(self):
        with h.Program() as app:
            info = app.window_info()
            self.assertEqual(info["visible"], "0")
            self.assertEqual((info["x"], info["y"], info["w"], info["h"]), ("0", "0", "0", "0"))

            items = app.menu_items(lambda: app.press_icon(3))
            self.assertEqual(items, MENU)

            # Choose Exit with its accelerator from the open menu, as a user would.
            app.menu_items(lambda: app.press_icon(3), close=False)
            h.key("e")
            self.assertEqual(app.wait_exit(), 0)

        sections = ini_sections(h.read_ini())
        self.assertEqual([s for s, _ in sections], ["autoSave", "Sound", "SaveAs", "Folder"])
        values = dict(sections)
        self.assertEqual((values["autoSave"], values["Sound"], values["SaveAs"]), ("0", "0", "0"))
        # The default folder is the user's desktop, written as Windows sees it.
        self.assertRegex(values["Folder"], r"(?i)^C:\\users\\[^\\]+\\Desktop$")
        # Only the tray icon ever showed: it is gone with the program.
        h.poll(lambda: h.tray_icons_area() is None, what="the icon to go")

    def test_stored_values_are_read_and_written_back_normalised(self):
        out = tempfile.mkdtemp(prefix="grabotine-out-")
        ini = ("[autoSave]\r\nState=yes\r\n[Sound]\r\nState=01\r\n"
               "[SaveAs]\r\nState=1.5\r\n[Folder]\r\nState=%s\r\n" % windows_path(out))
        with h.Program(ini=ini) as app:
            app.command(1)  # Exit, as the menu sends it
            self.assertEqual(app.wait_exit(), 0)
        values = dict(ini_sections(h.read_ini()))
        self.assertEqual(values, {"autoSave": "0", "Sound": "1", "SaveAs": "1",
                                  "Folder": windows_path(out)})

    def test_end_key_on_the_overlay_quits_and_writes_the_settings(self):
        with h.Program() as app:
            app.press_icon(1)
            app.wait_visible(True)
            h.key("End")
            self.assertEqual(app.wait_exit(), 0)
        self.assertEqual([s for s, _ in ini_sections(h.read_ini())],
                         ["autoSave", "Sound", "SaveAs", "Folder"])

    def test_close_request_runs_the_same_shutdown(self):
        with h.Program() as app:
            app.post(h.WM_CLOSE)
            self.assertEqual(app.wait_exit(), 0)
        self.assertEqual([s for s, _ in ini_sections(h.read_ini())],
                         ["autoSave", "Sound", "SaveAs", "Folder"])
        h.poll(lambda: h.tray_icons_area() is None, what="the icon to go")

    def test_second_instance_exits_at_once_without_a_second_icon(self):
        with h.Program() as app:
            tray_before = h.tray_icons_area()
            second = subprocess.run(["wine", h.EXE], capture_output=True, timeout=h.TIMEOUT)
            self.assertEqual(second.returncode, 0)
            self.assertEqual(h.tray_icons_area(), tray_before)
            # Still one program window, and the first instance is untouched.
            self.assertIsNotNone(app.window_info())
            self.assertIsNone(app.proc.poll())
            x, y, _w, _h = tray_before
            shot = h.screenshot()
            second_cell = h.crop(shot, x + 20, y, 20, 20)[2]
            self.assertEqual(len(set(second_cell[i:i + 3] for i in range(0, len(second_cell), 3))), 1,
                             "a second icon was drawn in the tray")
            app.command(1)
            self.assertEqual(app.wait_exit(), 0)


class Help(unittest.TestCase):
    def test_help_opens_the_page_beside_the_exe_with_the_default_handler(self):
        # winebrowser hands .htm files to xdg-open from PATH: ours records what it got.
        bindir = tempfile.mkdtemp(prefix="grabotine-bin-")
        record = os.path.join(bindir, "opened.txt")
        script = os.path.join(bindir, "xdg-open")
        with open(script, "w") as f:
            f.write('#!/bin/sh\nprintf "%%s\\n" "$@" >> "%s"\n' % record)
        os.chmod(script, os.stat(script).st_mode | stat.S_IEXEC)
        old_path = os.environ["PATH"]
        os.environ["PATH"] = bindir + os.pathsep + old_path
        try:
            with h.Program() as app:
                app.command(6)
                opened = h.poll(lambda: h.read_text(record), what="the help page to be opened")
                self.assertIn("grabotine.htm", opened)
                page = opened.strip().splitlines()[0]
                if page.startswith("file://"):
                    page = page[len("file://"):]
                self.assertTrue(os.path.samefile(page, os.path.join(h.BUILD, "grabotine.htm")), page)
                app.command(1)
                self.assertEqual(app.wait_exit(), 0)
        finally:
            os.environ["PATH"] = old_path


if __name__ == "__main__":
    unittest.main()
