"""Saving as a user meets it: auto-save after real captures, and the Save command (F4)
without a capture; message boxes read and answered from another process, and the files
left behind checked byte by byte."""
import os
import re
import shutil
import struct
import subprocess
import tempfile
import time
import unittest

import harness as h

INFO = ("Information", "Warning! Will create JPG file!")
RETRY = ("Error Handled", "Error: cannot create JPG file\\n\\tRetry")
FAIL = ("Error Handled", "Error: cannot create JPG file")


def ini(save_as, folder, **others):
    return h.settings_ini(h.unix_to_windows(folder), save_as=save_as, **others)


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
        self.temp_bmp = h.temp_bmp()

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

    def assert_shutter(self, samples, played):
        """The shutter clip, whole, was heard once in samples; or, played False, nothing was."""
        heard = h.sounds(samples)
        if not played:
            self.assertEqual(heard, [])
            return
        # Wine's sound driver sometimes ends an 8-bit stream with a loud click of a few tens of
        # milliseconds: anything shorter than half the clip is such a click, not the clip.
        [(length, power)] = h.shutter_clip()
        heard = [(seconds, loudness) for seconds, loudness in heard if seconds > length / 2]
        self.assertEqual(len(heard), 1, heard)
        self.assertAlmostEqual(heard[0][0], length, delta=0.05)
        self.assertAlmostEqual(heard[0][1] / power, 1, delta=0.3)


class SaveWithoutCapture(OutputTest):
    def test_jpeg_to_a_missing_directory_shows_the_three_messages_in_order(self):
        missing = os.path.join(self.out, "no such dir")
        with h.Program(ini=ini(1, missing), cwd=self.cwd) as app:
            app.post(h.WM_KEYDOWN, h.VK_F4)
            self.assertEqual(self.answer_boxes(app, 3), [INFO, RETRY, FAIL])
            self.assertFalse(os.path.exists(self.temp_bmp), "~temp.bmp left behind")
            self.assertFalse(os.path.exists(missing))
            self.assertIsNone(app.proc.poll())
            app.exit(self)

    def test_stale_temporary_file_is_not_exported_as_the_capture(self):
        small_bmp(self.temp_bmp)
        with h.Program(ini=ini(1, self.out), cwd=self.cwd) as app:
            app.post(h.WM_KEYDOWN, h.VK_F4)
            self.assertEqual(self.answer_boxes(app, 3), [INFO, RETRY, FAIL])
            self.assertEqual(os.listdir(self.out), [], "something was exported")
            self.assertFalse(os.path.exists(self.temp_bmp))
            app.exit(self)

    def test_the_shutter_follows_only_a_save_that_did_what_was_asked(self):
        for save_as, folder, played in ((0, os.path.join(self.out, "gone"), False),
                                        (2, self.out, True)):
            with h.Program(ini=ini(save_as, folder, sound=1), cwd=self.cwd) as app:
                app.capture(10, 10, 50, 40)
                recording = h.Recording()
                app.post(h.WM_KEYDOWN, h.VK_F4)
                self.assertEqual(self.answer_boxes(app, 0), [])
                self.assert_shutter(recording.stop(), played=played)
                app.exit(self)
        self.assertEqual(os.listdir(self.out), [])
        self.assertEqual(os.listdir(self.cwd), [])


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
            image = h.poll(lambda: h.decoded_bmp(path), what="a complete BMP")
            h.assert_same_image(self, image, self.expected(picture))

            # A second capture never replaces the first file, even within the same second.
            app.capture(*self.REGION)
            files = h.poll(lambda: len(os.listdir(self.out)) == 2 and os.listdir(self.out),
                           what="the second file")
            self.assertIn(name, files)
            app.exit(self)

    def test_a_capture_made_while_an_export_waits_is_exported_too(self):
        with h.Program(ini=ini(1, self.out, auto_save=1), cwd=self.cwd) as app:
            picture = h.lay_pattern(maker=h.make_photo_ppm)
            # Away from the middle of the screen, where the message boxes appear.
            regions = [(137, 91, 402, 301), (20, 520, 260, 700)]
            app.capture(*regions[0])
            h.probe("msgbox-wait", app.hwnd, int(h.TIMEOUT * 1000))
            # While the first export's box waits, the icon still works.
            app.capture(*regions[1])
            self.assertEqual(sorted(self.answer_boxes(app, 4)), [RETRY, RETRY, INFO, INFO])
            files = h.poll(lambda: len(os.listdir(self.out)) == 2 and os.listdir(self.out),
                           what="both files")
            images = sorted(h.read_jpeg(os.path.join(self.out, f)) for f in files)
            for (left, top, right, bottom), image in zip(sorted(regions), images):
                expected = h.crop(picture, left, top, right - left, bottom - top)
                self.assertGreater(h.psnr(image, expected), 30.0)
            app.exit(self)

    def test_a_full_disk_leaves_no_truncated_bmp_and_the_next_save_works(self):
        disk = os.path.join(self.work, "disk")
        os.makedirs(disk)
        mount = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=1m", "tmpfs", disk],
                               capture_output=True, text=True)
        if mount.returncode != 0:
            self.skipTest("a 1 MiB file system cannot be mounted here: " + mount.stderr)
        self.addCleanup(subprocess.run, ["umount", disk], check=True)
        drive = os.path.join(h.PREFIX, "dosdevices", "t:")
        os.symlink(disk, drive)
        self.addCleanup(os.remove, drive)
        with h.Program(ini=h.settings_ini("T:", auto_save=1), cwd=self.cwd) as app:
            picture = h.lay_pattern()
            app.capture(0, 30, 1000, 700)  # 2.6 MB at 32 bits: more than the disk holds
            app.idle()
            self.assertEqual(os.listdir(disk), [])
            self.assert_small_capture_lands_in(app, picture, disk)
            app.exit(self)

    def test_a_desktop_named_outside_the_code_page_is_where_captures_go(self):
        user = os.path.basename(os.path.dirname(h.desktop_dir()))
        # "Snapshots" in Russian: letters the usual 8-bit code page of these desktops lacks.
        desktop = os.path.join(os.path.dirname(h.desktop_dir()),
                               "\u0421\u043d\u0438\u043c\u043a\u0438")
        os.makedirs(desktop)
        self.addCleanup(shutil.rmtree, desktop, True)
        self.set_desktop("C:\\users\\%s\\%s" % (user, os.path.basename(desktop)))
        self.addCleanup(self.set_desktop, "C:\\users\\%s\\Desktop" % user)
        with h.Program(cwd=self.cwd) as app:  # no settings: the desktop is the output folder
            folder = app.exit(self)["Folder"]
        self.assertRegex(folder, r"^[ -~]+$")
        self.assertNotIn("?", folder)
        with h.Program(ini=h.settings_ini(folder, auto_save=1), cwd=self.cwd) as app:
            self.assert_small_capture_lands_in(app, h.lay_pattern(), desktop)
            # Its path, with the folder's own letters, as text and as a file list.
            app.command(h.IDM_COPYPATH)
            [name] = os.listdir(desktop)
            path = "C:\\users\\%s\\%s\\%s" % (user, os.path.basename(desktop), name)
            self.assertEqual(h.poll(lambda: h.x_clipboard("UTF8_STRING")).decode(), path)
            self.assertEqual(h.probe("clipboard-files"), path + "\n")
            app.exit(self)

    def assert_small_capture_lands_in(self, app, picture, folder):
        """A capture of 100 x 100 pixels is auto-saved into folder, which held nothing, as a BMP
        of exactly those pixels."""
        app.capture(10, 40, 110, 140)
        name = h.poll(lambda: os.listdir(folder), what="the saved file")[0]
        image = h.poll(lambda: h.decoded_bmp(os.path.join(folder, name)), what="a whole BMP")
        h.assert_same_image(self, image, h.crop(picture, 10, 40, 100, 100))

    def set_desktop(self, path):
        """Points the user's desktop folder at path, as moving it in Explorer does."""
        reg = tempfile.mktemp(suffix=".reg")
        with open(reg, "w", encoding="utf-16") as f:
            f.write("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\"
                    "Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders]\r\n"
                    '"Desktop"="%s"\r\n' % path.replace("\\", "\\\\"))
        h.wine("regedit", "/S", h.unix_to_windows(reg))
        os.remove(reg)

    def test_jpeg_files_are_close_to_the_captured_pixels_and_sound_off_plays_nothing(self):
        with h.Program(ini=ini(1, self.out, auto_save=1), cwd=self.cwd) as app:
            recording = h.Recording()
            picture, start = self.capture(app, h.make_photo_ppm)
            self.assertEqual(self.answer_boxes(app, 2), [INFO, RETRY])
            self.assert_shutter(recording.stop(), played=False)
            name = self.only_file(r".*\.jpg")
            self.assertIn(name, names_between(start, time.time(), "jpg"))
            image = h.read_jpeg(os.path.join(self.out, name))
            self.assertGreater(h.psnr(image, self.expected(picture)), 30.0)
            self.assertFalse(os.path.exists(self.temp_bmp), "~temp.bmp left behind")
            app.exit(self)


class PngCaptures(OutputTest):
    def test_png_is_saved_by_f4_and_offered_on_the_clipboard_with_exactly_the_capture(self):
        with h.Program(ini=ini(3, self.out), cwd=self.cwd) as app:
            picture = h.lay_pattern()
            start = time.time()
            app.capture(402, 301, 137, 91)
            expected = h.crop(picture, 137, 91, 265, 210)
            h.assert_same_image(self, h.clipboard_png(), expected, "PNG on the clipboard")
            x_png = os.path.join(self.work, "x.png")
            with open(x_png, "wb") as f:
                f.write(h.x_clipboard("image/png"))
            h.assert_same_image(self, h.read_png(x_png), expected, "image/png on the X side")
            app.post(h.WM_KEYDOWN, h.VK_F4)
            app.idle()
            [name] = os.listdir(self.out)
            self.assertIn(name, names_between(start, time.time(), "png"))
            h.assert_same_image(self, h.read_png(os.path.join(self.out, name)), expected,
                                "PNG file")
            # The empty selection's 1 x 1 monochrome bitmap is a PNG too, in both places.
            app.open_overlay()
            h.drag(200, 150, 200, 150)
            app.wait_visible(False)
            h.assert_same_image(self, h.clipboard_png(), (1, 1, b"\0\0\0"), "1 x 1 PNG")
            app.post(h.WM_KEYDOWN, h.VK_F4)
            app.idle()
            [second] = set(os.listdir(self.out)) - {name}
            h.assert_same_image(self, h.read_png(os.path.join(self.out, second)),
                                (1, 1, b"\0\0\0"), "1 x 1 PNG file")
            app.exit(self)


if __name__ == "__main__":
    unittest.main()
