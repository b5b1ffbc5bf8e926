"""The selection overlay and the grab to the clipboard, driven with real presses and drags."""
import subprocess
import unittest

import harness as h


def differing_pixels(a, b):
    """[(x, y, rgb_a, rgb_b)] where two screenshots differ."""
    w, _h, da = a
    db = b[2]
    out = []
    for i in range(0, len(da), 3):
        if da[i:i + 3] != db[i:i + 3]:
            p = i // 3
            out.append((p % w, p // w, da[i:i + 3], db[i:i + 3]))
    return out


def on_outline(x, y, left, top, right, bottom):
    """Whether (x, y) lies on the one-pixel border of the rectangle as Rectangle draws it."""
    inside = left <= x <= right - 1 and top <= y <= bottom - 1
    return inside and x in (left, right - 1) or inside and y in (top, bottom - 1)


class Capture(unittest.TestCase):
    def setUp(self):
        self.app = h.Program()
        self.addCleanup(self.app.__exit__, None, None, None)
        self.picture = h.lay_pattern()

    def test_overlay_freezes_the_screen_and_xors_the_outline_over_it(self):
        app = self.app
        items = app.menu_items(lambda: app.press_icon(3), close=False)
        self.assertEqual(items[2], ("3", "grayed", "&Save"))
        app.close_menu()

        app.open_overlay()
        # The screen changes underneath: the overlay keeps showing it as it was.
        h.lay_pattern(lambda path, w, hgt: h.make_pattern_ppm(path, 64, 64), wait=False)
        h.assert_same_image(self, h.screenshot(), self.picture)

        # Dragged up and to the left; the outline is XORed white, dotted, on the border only.
        h.drag(300, 260, 101, 83, release_at_end=False)
        shown = h.poll(lambda: (lambda s: s if s != self.picture else None)(h.screenshot()),
                       what="the outline")
        changed = differing_pixels(self.picture, shown)
        self.assertGreater(len(changed), 100)
        for x, y, before, after in changed:
            self.assertTrue(on_outline(x, y, 101, 83, 300, 260), (x, y))
            self.assertEqual(bytes(c ^ 0xFF for c in before), after, (x, y))
        # Dotted: some border pixels are left alone.
        self.assertLess(len(changed), 2 * (199 + 177))

        h.release()
        app.wait_visible(False)
        h.assert_same_image(self, h.clipboard_image("dib"), h.crop(self.picture, 101, 83, 199, 177))
        app.wait_overlay_unmapped()
        self.assertEqual(app.menu_items(lambda: app.press_icon(3))[2:4],
                         [("3", "enabled", "&Save"), ("7", "enabled", "Capture last region")])

    def test_print_screen_over_another_program_starts_a_selection(self):
        self.open_by_print_screen()
        h.drag(100, 100, 300, 260)
        self.app.wait_visible(False)
        h.assert_same_image(self, h.clipboard_image("dib"), h.crop(self.picture, 100, 100, 200, 160))

    def open_by_print_screen(self):
        h.xdotool("windowactivate", "--sync", h.x_window_of(h.show_topmost_window(self)))
        h.key("Print")
        self.app.wait_visible(True)
        h.poll(lambda: self.app.overlay_geometry() == h.primary_monitor(), what="the overlay")

    def test_a_capture_by_keyboard_alone_is_exact(self):
        h.move_to(100, 100)
        self.open_by_print_screen()
        # A pixel, ten with Shift: Enter at (103, 120), Space at (153, 137).
        h.xdotool("key", "Right", "Right", "Right", "shift+Down", "shift+Down", "Return",
                  *["shift+Right"] * 5, *["Down"] * 7, "shift+Down", "space")
        self.app.wait_visible(False)
        h.assert_same_image(self, h.clipboard_image("dib"), h.crop(self.picture, 103, 120, 50, 17))

    def test_the_magnifier_shows_beside_the_pointer_and_never_in_the_capture(self):
        self.app.exit(self)
        with h.Program(ini=h.settings_ini("0") + "[Magnifier]\r\nState=1\r\n") as app:
            app.open_overlay()
            h.drag(300, 260, 101, 83, release_at_end=False)
            # The pixel under the pointer, enlarged in the box below and right of it: inside
            # the selection.
            w, at = self.picture[0], (101 * 3 + 83 * self.picture[0] * 3)
            under = self.picture[2][at:at + 3]
            box = ((107 + 97 + 4) * w + 125 + 97 + 4) * 3
            h.poll(lambda: h.screenshot()[2][box:box + 3] == under, what="the magnifier")
            h.release()
            app.wait_visible(False)
            h.assert_same_image(self, h.clipboard_image("dib"),
                                h.crop(self.picture, 101, 83, 199, 177))

    def test_snapping_takes_the_window_or_control_under_a_click(self):
        self.app.exit(self)
        info = h.window_info(h.show_topmost_window(self, "child"))
        x, y, w, hgt, cx, cy = (int(info[k]) for k in ("x", "y", "w", "h", "cx", "cy"))
        screen = h.poll(lambda: (lambda s: s if s != self.picture else None)(h.screenshot()),
                        what="the window on the screen")
        window, button = h.crop(screen, x, y, w, hgt), h.crop(screen, cx + 40, cy + 30, 120, 60)
        with h.Program(ini=h.settings_ini("0") + "[Snap]\r\nState=1\r\n") as app:
            # (where to click, keys before the click, what it takes)
            for at, keys, want in (((x + 250, y + 150), (), window),
                                   ((x + 100, y + 60), (), button),
                                   ((x + 100, y + 60), ("Tab",), window),
                                   ((x + 100, y + 60), ("Tab", "shift+Tab"), button),
                                   ((100, 100), (), screen)):
                app.open_overlay()
                h.move_to(*at)
                for k in keys:
                    h.key(k)
                h.click_at(*at)
                app.wait_visible(False)
                got = h.clipboard_image("dib")
                if want is screen:  # the whole monitor, but the tray's icon the press lit up
                    self.assertEqual(got[:2], h.screen_size())
                    got, want = h.crop(got, 0, 0, 900, 768), h.crop(screen, 0, 0, 900, 768)
                h.assert_same_image(self, got, want, str((at, keys)))
            # Enter twice at one point is a click.
            app.open_overlay()
            h.move_to(x + 100, y + 60)
            h.xdotool("key", "Return", "Return")
            app.wait_visible(False)
            h.assert_same_image(self, h.clipboard_image("dib"), button, "Enter, Enter")
            # A drag is a drag, over windows too.
            app.capture(x + 100, y + 60, x + 250, y + 190)
            h.assert_same_image(self, h.clipboard_image("dib"), h.crop(screen, x + 100, y + 60, 150, 130))
        with h.Program() as app:
            app.open_overlay()
            h.click_at(x + 250, y + 150)
            app.wait_visible(False)
            h.assert_same_image(self, h.clipboard_image("dib"), (1, 1, b"\0\0\0"), "off: empty")

    def test_shift_print_screen_captures_the_last_region_from_the_screen_as_it_is_now(self):
        self.app.capture(40, 60, 240, 200)
        now = h.crop(h.lay_pattern(h.make_photo_ppm), 40, 60, 200, 140)
        self.assertNotEqual(now, h.crop(self.picture, 40, 60, 200, 140))
        h.xdotool("windowactivate", "--sync", h.x_window_of(h.show_topmost_window(self)))
        h.key("shift+Print")
        h.poll(lambda: h.clipboard_image("dib") == now, what="the last region again")

    def test_right_button_and_focus_loss_cancel_without_touching_the_clipboard(self):
        app = self.app
        h.clipboard_set_text("left alone")

        app.open_overlay()
        h.drag(100, 100, 200, 180, release_at_end=False)
        h.xdotool("click", 3)
        app.wait_visible(False)
        h.release()
        self.assertEqual(h.clipboard_text(), "left alone")

        app.open_overlay()
        h.drag(100, 100, 200, 180, release_at_end=False)
        self.assertTrue(app.steal_focus())
        h.release()
        # Esc, and Alt+F4 (through the window manager here), cancel too; the program goes on.
        for keys in ("Escape", "alt+F4"):
            app.open_overlay()
            h.drag(100, 100, 200, 180, release_at_end=False)
            h.key(keys)
            app.wait_visible(False)
            h.release()
        self.assertEqual(h.clipboard_text(), "left alone")
        self.assertNotIn("bitmap", h.clipboard_info())

        # The overlay still works after a cancel, and the cancel left no outline behind.
        app.capture(10, 10, 60, 50)
        h.assert_same_image(self, h.clipboard_image("bitmap"), h.crop(self.picture, 10, 10, 50, 40))

    def test_a_delayed_capture_freezes_on_time_with_what_opened_meanwhile(self):
        self.app.exit(self)
        with h.Program(ini=h.settings_ini("0") + "[Delay]\r\nState=8\r\n") as app:
            h.move_to(150, 150)
            timer = subprocess.Popen(["wine", h.PROBE, "command-to-overlay", app.hwnd,
                                      str(h.IDM_DELAY), "30000"], stdout=subprocess.PIPE, text=True)
            self.addCleanup(timer.wait)
            other = h.show_topmost_window(self)
            h.xdotool("windowactivate", "--sync", h.x_window_of(other))
            # The countdown's box beside the pointer takes neither the keyboard nor the focus.
            self.assertEqual(h.ask("foreground"), other)
            elapsed = int(timer.communicate(timeout=h.TIMEOUT)[0])
            self.assertTrue(8000 <= elapsed <= 9000, elapsed)
            h.poll(lambda: app.overlay_geometry() == (0, 0) + h.screen_size(), what="the overlay")
            frozen = h.screenshot()
            # The window is in the picture; the box, gone before the freeze, is not.
            self.assertNotEqual(h.crop(frozen, 550, 400, 200, 100),
                                h.crop(self.picture, 550, 400, 200, 100))
            self.assertEqual(h.crop(frozen, 100, 100, 300, 200),
                             h.crop(self.picture, 100, 100, 300, 200))
            h.drag(100, 100, 850, 600)
            app.wait_visible(False)
            h.assert_same_image(self, h.clipboard_image("dib"), h.crop(frozen, 100, 100, 750, 500))

    def test_a_pin_shows_the_capture_above_another_window_copies_it_and_closes_by_esc(self):
        app = self.app
        app.capture(420, 300, 620, 450)
        region = h.crop(self.picture, 420, 300, 200, 150)
        other = h.show_topmost_window(self)
        h.xdotool("windowactivate", "--sync", h.x_window_of(other))
        app.command(h.IDM_PIN)
        pin = h.ask("wait-window", "GrabotinePin", "-", int(h.TIMEOUT * 1000))
        h.poll(lambda: h.crop(h.screenshot(), 420, 300, 200, 150) == region, what="the pin")
        h.clipboard_set_text("before the pin's copy")
        h.click_at(520, 375)
        h.poll(lambda: h.ask("foreground") == pin, what="the pin to take the keyboard")
        h.key("ctrl+c")
        h.poll(lambda: "dib" in h.clipboard_info(), what="the pin on the clipboard")
        h.assert_same_image(self, h.clipboard_image("dib"), region)
        h.key("Escape")
        h.probe("wait-gone", pin, int(h.TIMEOUT * 1000))

    def test_a_hundred_captures_leave_the_gdi_object_count_flat(self):
        app = self.app
        self.assertEqual(app.capture_loop(3, 0, 0, 300, 200), 3)
        before = app.gdi_objects()
        self.assertEqual(app.capture_loop(100, 0, 0, 300, 200), 100)
        self.assertEqual(app.gdi_objects(), before)
        # And the last of them is on the clipboard, pixel for pixel.
        h.assert_same_image(self, h.clipboard_image("dib"), h.crop(self.picture, 0, 0, 300, 200))


if __name__ == "__main__":
    unittest.main()
