"""What other programs read from the clipboard after a capture, the program running or gone:
CF_BITMAP, CF_DIB and "PNG" with the same pixels and image/bmp on the X side, the one-by-one
monochrome bitmap of an empty selection, and nothing of ours once another program has taken
the clipboard."""
import subprocess
import unittest

import harness as h

BLACK_PIXEL = (1, 1, b"\0\0\0")


class Readers(unittest.TestCase):
    def assert_readers_see(self, expected, depth=None):
        """Another Windows program reads both formats, and an X program image/bmp, as
        expected; the bitmap first, so that it is the reader who has it rendered."""
        h.assert_same_image(self, h.clipboard_image("bitmap"), expected, "CF_BITMAP")
        h.assert_same_image(self, h.clipboard_image("dib"), expected, "CF_DIB")
        h.assert_same_image(self, h.clipboard_png(), expected, "PNG")
        h.assert_same_image(self, h.x_clipboard_bmp(), expected, "image/bmp")
        info = h.clipboard_info()
        self.assertIn(h.CF_BITMAP, info["formats"])
        self.assertIn(h.CF_DIB, info["formats"])
        self.assertEqual(info["bitmap"][:2], expected[:2])
        self.assertEqual(info["dib"][:2], expected[:2])
        if depth:
            self.assertEqual(info["bitmap"][2], depth)
            self.assertEqual(info["dib"][2], depth)

    def test_both_formats_and_the_x_side_while_the_program_runs_and_after_it_exits(self):
        with h.Program() as app:
            picture = h.lay_pattern()
            app.capture(40, 30, 240, 170)
            self.assert_readers_see(h.crop(picture, 40, 30, 200, 140))
            app.capture(300, 200, 120, 60)
            app.exit(self)
        self.assert_readers_see(h.crop(picture, 120, 60, 180, 140))

    def test_the_session_ending_leaves_the_capture_too(self):
        with h.Program() as app:
            picture = h.lay_pattern()
            app.capture(100, 80, 260, 200)
            # Log-off: no Exit and no WM_DESTROY, the process is simply ended afterwards.
            h.end_session()
            app.wait_exit()
        self.assert_readers_see(h.crop(picture, 100, 80, 160, 120))

    def test_a_release_waits_for_a_reader_holding_the_clipboard_and_outlives_a_kill(self):
        with h.Program() as app:
            picture = h.lay_pattern()
            # Held past the release's wait the second time: that capture is not on the
            # clipboard, the first stays whole, and a balloon says so.
            for hold, x, y in ((600, 300, 200), (3000, 100, 100)):
                app.open_overlay()
                h.drag(x, y, x + 120, y + 60, release_at_end=False)
                if hold == 3000:  # a dying shell lost the icon: the balloon waits for it
                    h.probe("icon-delete", app.hwnd, 32000)
                    h.poll(lambda: not h.tray_icons(), what="the icon to go")
                holder = subprocess.Popen(["wine", h.PROBE, "clipboard-hold", str(hold)],
                                          stdout=subprocess.PIPE, text=True)
                self.assertEqual(holder.stdout.readline(), "held\n")
                h.release()
                app.wait_visible(False)
                self.assertEqual(holder.wait(timeout=h.TIMEOUT), 0)
            h.probe("balloon", int(h.TIMEOUT * 1000))
        # Killed, as End task does, before anyone read the bitmap.
        self.assert_readers_see(h.crop(picture, 300, 200, 120, 60))

    def test_an_empty_selection_is_a_one_by_one_monochrome_bitmap_before_and_after_exit(self):
        with h.Program() as app:
            for read_now in (True, False):  # the second is left to the exit
                app.open_overlay()
                h.drag(200, 150, 200, 150)
                app.wait_visible(False)
                if read_now:
                    self.assert_readers_see(BLACK_PIXEL, depth=1)
            app.exit(self)
        self.assert_readers_see(BLACK_PIXEL, depth=1)

    def test_once_another_program_takes_the_clipboard_nothing_of_ours_is_left(self):
        with h.Program() as app:
            picture = h.lay_pattern()
            app.capture(10, 10, 90, 70)
            h.clipboard_set_text("taken")
            info = h.clipboard_info()
            self.assertNotIn(h.CF_BITMAP, info["formats"])
            self.assertNotIn(h.CF_DIB, info["formats"])
            self.assertEqual(h.clipboard_text(), "taken")

            # The next capture offers both formats again, and the exit renders nothing into
            # a clipboard another program has taken meanwhile.
            app.capture(50, 40, 250, 190)
            self.assert_readers_see(h.crop(picture, 50, 40, 200, 150))
            app.capture(20, 20, 60, 60)
            h.clipboard_set_text("taken again")
            app.exit(self)
        self.assertEqual(h.clipboard_text(), "taken again")
        info = h.clipboard_info()
        self.assertNotIn(h.CF_BITMAP, info["formats"])
        self.assertNotIn(h.CF_DIB, info["formats"])
        self.assertEqual(h.x_clipboard("UTF8_STRING"), b"taken again")


if __name__ == "__main__":
    unittest.main()
