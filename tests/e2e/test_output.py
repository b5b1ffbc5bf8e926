"""Saving as a user meets it without a capture: the Save command (F4) with JPEG chosen, its
message boxes read and answered from another process, and the files it leaves behind."""
import os
import shutil
import struct
import tempfile
import unittest

import harness as h

INFO = ("Information", "Warning! Will create JPG file!")
RETRY = ("Error Handled", "Error: cannot create JPG file\\n\\tRetry")
FAIL = ("Error Handled", "Error: cannot create JPG file")


def ini(save_as, folder, sound=0):
    return ("[autoSave]\r\nState=0\r\n[Sound]\r\nState=%d\r\n[SaveAs]\r\nState=%d\r\n"
            "[Folder]\r\nState=%s\r\n" % (sound, save_as, h.unix_to_windows(folder)))


def small_bmp(path, width=4, height=3):
    """A valid 24-bit BMP, as another program might leave it."""
    stride = (width * 3 + 3) // 4 * 4
    pixels = bytes([0x40, 0x80, 0xC0] * width + [0] * (stride - width * 3)) * height
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 0, 0, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(pixels), 0, 0, 54)
    with open(path, "wb") as f:
        f.write(header + info + pixels)


class SaveWithoutCapture(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="grabotine-output-")
        self.cwd = os.path.join(self.work, "cwd")
        self.out = os.path.join(self.work, "out")
        os.makedirs(self.cwd)
        os.makedirs(self.out)
        self.temp_bmp = os.path.join(self.cwd, "~temp.bmp")

    def tearDown(self):
        shutil.rmtree(self.work, ignore_errors=True)

    def answer_boxes(self, app, count):
        """Reads the next count message boxes in order and presses OK on each."""
        seen = []
        for _ in range(count):
            lines = h.probe("msgbox-wait", app.hwnd, int(h.TIMEOUT * 1000)).splitlines()
            self.assertEqual(len(lines), 3, lines)
            seen.append((lines[1], lines[2]))
            h.probe("msgbox-ok", lines[0], int(h.TIMEOUT * 1000))
        # Once the program answers again it is either idle or showing yet another box.
        h.probe("sync", app.hwnd, int(h.TIMEOUT * 1000))
        extra = h.probe("msgbox-wait", app.hwnd, 0, check=False)
        self.assertNotEqual(extra.returncode, 0, "one box too many: %s" % extra.stdout)
        return seen

    def test_jpeg_to_a_missing_directory_shows_the_three_messages_in_order(self):
        missing = os.path.join(self.out, "no such dir")
        with h.Program(ini=ini(1, missing), cwd=self.cwd) as app:
            app.post(h.WM_KEYDOWN, h.VK_F4)
            self.assertEqual(self.answer_boxes(app, 3), [INFO, RETRY, FAIL])
            self.assertFalse(os.path.exists(self.temp_bmp), "~temp.bmp left behind")
            self.assertFalse(os.path.exists(missing))
            self.assertIsNone(app.proc.poll())
            app.command(1)
            self.assertEqual(app.wait_exit(), 0)

    def test_stale_temporary_file_is_not_exported_as_the_capture(self):
        small_bmp(self.temp_bmp)
        with h.Program(ini=ini(1, self.out), cwd=self.cwd) as app:
            app.post(h.WM_KEYDOWN, h.VK_F4)
            self.assertEqual(self.answer_boxes(app, 3), [INFO, RETRY, FAIL])
            self.assertEqual(os.listdir(self.out), [], "something was exported")
            self.assertFalse(os.path.exists(self.temp_bmp))
            app.command(1)
            self.assertEqual(app.wait_exit(), 0)

    def test_bmp_without_a_capture_writes_nothing_and_shows_nothing(self):
        with h.Program(ini=ini(0, self.out, sound=1), cwd=self.cwd) as app:
            app.post(h.WM_KEYDOWN, h.VK_F4)
            self.assertEqual(self.answer_boxes(app, 0), [])
            self.assertEqual(os.listdir(self.out), [])
            self.assertEqual(os.listdir(self.cwd), [])
            app.command(1)
            self.assertEqual(app.wait_exit(), 0)


if __name__ == "__main__":
    unittest.main()
