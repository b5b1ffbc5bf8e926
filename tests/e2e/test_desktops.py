"""The same few checks on each desktop users have (see tests/desktop.sh, which CTest runs this
under several times): the overlay covers every monitor, a capture is exact through
CF_BITMAP, CF_DIB and the X clipboard (while the program runs and after it exits) and the
saved BMP (across monitors too), and menu and dialogs lie whole on the icon's monitor."""
import os
import shutil
import tempfile
import unittest

import harness as h


# The Options template itself runs the JPG box 3 of its 165 dialog units past the right edge
# (36 + 132); the box's text ends well inside.
OVERHANG = {"Options": 3 / 165, "About ...": 0}


def inside(inner, outer, overhang=0):
    """Whether the (x, y, w, h) rectangle inner lies in outer, its right edge passing outer's
    by at most overhang pixels."""
    ix, iy, iw, ih = inner
    ox, oy, ow, oh = outer
    return ox <= ix and oy <= iy and ix + iw <= ox + ow + overhang and iy + ih <= oy + oh


def as_bitmaps_hold(image):
    """The image as the program's bitmaps hold it. On a 16-bit screen Wine keeps bitmaps in
    5-5-5 where the screen (and Windows) has 5-6-5: green's last bit is lost in every copy made
    through a screen-compatible bitmap, the clipboard's and the BMP file's alike; a BMP file at
    depth 16 is 5-5-5 anyway. Pixels compared through this are the same pixel on such a screen,
    whichever way each reader widened them to 8 bits."""
    if h.DESKTOP != "depth16":
        return image
    w, hgt, data = image
    return w, hgt, bytes(v & 0xF8 for v in data)


class OnThisDesktop(unittest.TestCase):
    def test_capture_covers_every_monitor_and_is_exact_everywhere(self):
        out = tempfile.mkdtemp(prefix="grabotine-out-")
        self.addCleanup(shutil.rmtree, out, True)
        with h.Program(ini=h.settings_ini(h.unix_to_windows(out), auto_save=1)) as app:
            picture = h.lay_pattern()
            # Another program's always-on-top window (away from the region captured below),
            # which the overlay must cover too.
            topmost = h.x_window_of(h.show_topmost_window(self))
            app.open_overlay()
            self.assertTrue(h.x_above(h.x_window_of(app.hwnd), topmost))
            mx, my, mw, mh = h.primary_monitor()
            info = app.window_info()
            self.assertEqual(tuple(int(info[k]) for k in "xywh"), (-mx, -my) + h.screen_size())

            # Dragged up and to the left, on the primary monitor wherever X has it.
            left, top, right, bottom = 101, 83, 300, 260
            h.drag(mx + right, my + bottom, mx + left, my + top)
            app.wait_visible(False)
            expected = as_bitmaps_hold(h.crop(picture, mx + left, my + top, right - left,
                                              bottom - top))
            h.assert_same_image(self, as_bitmaps_hold(h.clipboard_image("dib")), expected)
            h.assert_same_image(self, as_bitmaps_hold(h.clipboard_image("bitmap")), expected)
            h.assert_same_image(self, as_bitmaps_hold(h.x_clipboard_bmp()), expected)
            saved = h.poll(lambda: os.listdir(out), what="the saved BMP")
            image = h.poll(lambda: h.decoded_bmp(os.path.join(out, saved[0])), what="a whole BMP")
            h.assert_same_image(self, as_bitmaps_hold(image), expected)
            app.exit(self)
        # Readers find the same pixels after the program has gone.
        h.assert_same_image(self, as_bitmaps_hold(h.clipboard_image("bitmap")), expected)
        h.assert_same_image(self, as_bitmaps_hold(h.clipboard_image("dib")), expected)
        h.assert_same_image(self, as_bitmaps_hold(h.x_clipboard_bmp()), expected)

    def test_a_capture_on_another_monitor_or_across_two_is_exact(self):
        if len(h.monitors()) == 1:
            self.skipTest("one monitor")
        with h.Program() as app:
            picture, (mx, my, _w, _h) = h.lay_pattern(), h.primary_monitor()
            # Wholly on the left monitor; from (100, 100) on the primary to (-200, 300) left of it.
            for x1, y1, x2, y2 in ((200, 300, 520, 500), (mx + 100, my + 100, mx - 200, my + 300)):
                app.capture(x1, y1, x2, y2)
                h.assert_same_image(self, h.clipboard_image("dib"), h.crop(
                    picture, min(x1, x2), min(y1, y2), abs(x2 - x1), abs(y2 - y1)))

    def test_menu_and_dialogs_lie_inside_the_icons_monitor_and_close_by_their_close_box(self):
        (mx, my, _w, _h), (x, y, w, hgt) = h.primary_monitor(), h.monitors()[0]
        monitor = (x - mx, y - my, w, hgt)
        with h.Program() as app:
            if len(h.monitors()) > 1:  # Wine's tray moved onto the first monitor, at negative x
                h.xdotool("search", "--name", "Wine System Tray", "windowmove", x, y)
            # Chosen from the real menu, as users do: a command posted from outside leaves the
            # last press on the icon a left one, and the overlay then shows as a dialog closes.
            for position, caption in ((8, "Options"), (0, "About ...")):
                with self.subTest(caption):
                    self.assertTrue(inside(menu := app.choose_from_menu(position), monitor), menu)
                    dialog = h.Dialog(app.hwnd, caption)
                    info = h.window_info(dialog.hwnd)
                    frame = tuple(int(info[k]) for k in "xywh")
                    client = tuple(int(info[k]) for k in ("cx", "cy", "cw", "ch"))
                    if not inside(frame, monitor):
                        self.fail("%s lies at %s; the owner at %s"
                                  % (caption, frame, h.window_info(app.hwnd)))
                    overhang = -(-client[2] * OVERHANG[caption] // 1)
                    for _id, cls, control in dialog.controls():
                        place = h.window_info(control)
                        place = tuple(int(place[k]) for k in "xywh")
                        self.assertTrue(inside(place, client, overhang), (cls, place, client))
                    dialog.press_close_box()
                    dialog.wait_closed()
            self.assertIsNone(app.proc.poll())
            app.exit(self)


if __name__ == "__main__":
    unittest.main()
