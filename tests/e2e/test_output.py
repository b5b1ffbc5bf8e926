"""Saving as a user meets it: auto-save after real captures, and the Save command (F4)
without a capture; message boxes read and answered from another process, and the files
left behind checked byte by byte."""
import os
import re
import shutil
import struct
import tempfile
import time
import unittest

import harness as h

INFO = ("Information", "Warning! Will create JPG file!")
RETRY = ("Error Handled", "Error: cannot create JPG file\\n\\tRetry")
FAIL = ("Error Handled", "Error: cannot create JPG file")


def ini(save_as, folder, sound=0, auto_save=0):
    return ("[autoSave]\r\nState=%d\r\n[Sound]\r\nState=%d\r\n[SaveAs]\r\nState=%d\r\n"
            "[Folder]\r\nState=%s\r\n" % (auto_save, sound, save_as, h.unix_to_windows(folder)))


def names_between(start, end, ext):
    """Every file name a save between the two times (seconds since the epoch) may take."""
    names = set()
    for t in range(int(start), int(end) + 2):
        lt = time.localtime(t)
        names.add("%d%d%d_%d%d.%s" % (lt.tm_hour, lt.tm_min, lt.tm_sec, lt.tm_mday, lt.tm_mon,
                                      ext))
    return names


def small_bmp(path, width=4, height=3):
    """A valid 24-bit BMP, as another program might leave it."""
    stride = (width * 3 + 3) // 4 * 4
    pixels = bytes([0x40, 0x80, 0xC0] * width + [0] * (stride - width * 3)) * height
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 0, 0, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(pixels), 0, 0, 54)
    with open(path, "wb") as f:
        f.write(header + info + pixels)


class OutputTest(unittest.TestCase):
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


class SaveWithoutCapture(OutputTest):
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


class AutoSaveThroughRealCaptures(OutputTest):
    """Auto-save on: every real capture lands in the output directory as a file."""

    REGION = (137, 91, 402, 301)  # dragged from bottom-right to top-left below

    def capture(self, app, picture_maker):
        picture = h.lay_pattern(maker=picture_maker)
        left, top, right, bottom = self.REGION
        start = time.time()
        app.capture(right, bottom, left, top)
        return picture, start

    def only_file(self, pattern):
        files = h.poll(lambda: [f for f in os.listdir(self.out) if re.fullmatch(pattern, f)],
                       what="the saved file")
        self.assertEqual(len(files), 1, files)
        return files[0]

    def expected(self, picture):
        left, top, right, bottom = self.REGION
        return h.crop(picture, left, top, right - left, bottom - top)

    def test_bmp_files_hold_exactly_the_captured_pixels(self):
        with h.Program(ini=ini(0, self.out, sound=1, auto_save=1), cwd=self.cwd) as app:
            picture, start = self.capture(app, h.make_pattern_ppm)
            name = self.only_file(r".*\.bmp")
            self.assertIn(name, names_between(start, time.time(), "bmp"))
            path = os.path.join(self.out, name)
            # The file is complete once the writer closed it: it then decodes whole.
            image = h.poll(lambda: self.decoded_bmp(path), what="a complete BMP")
            self.assertEqual(image, self.expected(picture))

            # A second capture never replaces the first file, even within the same second.
            app.capture(*self.REGION)
            files = h.poll(lambda: len(os.listdir(self.out)) == 2 and os.listdir(self.out),
                           what="the second file")
            self.assertIn(name, files)
            app.command(1)
            self.assertEqual(app.wait_exit(), 0)

    @staticmethod
    def decoded_bmp(path):
        try:
            with open(path, "rb") as f:
                return h.read_bmp(f.read())
        except (ValueError, struct.error, IndexError):
            return None

    def test_jpeg_files_are_close_to_the_captured_pixels(self):
        with h.Program(ini=ini(1, self.out, auto_save=1), cwd=self.cwd) as app:
            picture, start = self.capture(app, h.make_photo_ppm)
            self.assertEqual(self.answer_boxes(app, 2), [INFO, RETRY])
            name = self.only_file(r".*\.jpg")
            self.assertIn(name, names_between(start, time.time(), "jpg"))
            image = h.read_jpeg(os.path.join(self.out, name))
            self.assertGreater(h.psnr(image, self.expected(picture)), 30.0)
            self.assertFalse(os.path.exists(self.temp_bmp), "~temp.bmp left behind")
            app.command(1)
            self.assertEqual(app.wait_exit(), 0)


if __name__ == "__main__":
    unittest.main()
