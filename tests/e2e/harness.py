"""Drives the real program under Wine the way a user and the shell do.

X input comes from xdotool, the X clipboard from xclip, screenshots from ImageMagick's
import; what only Windows can see (windows, the Win32 clipboard, the program's menu and
GDI objects) comes from probe.exe, run under Wine beside the program.

Everything waits by polling with a timeout; nothing sleeps for a fixed long time.
"""
import glob
import math
import os
import struct
import subprocess
import tempfile
import time

BUILD = os.environ.get("GRABOTINE_BUILD", os.path.join(os.path.dirname(__file__), "..", "..", "build"))
PREFIX = os.environ["WINEPREFIX"]
# Scratch folders go beside the throw-away prefix, so the runner removes them with it.
tempfile.tempdir = os.path.dirname(PREFIX)
APP_NAME = "Grabotine v. 1.21"
EXE = os.path.join(BUILD, "Grabotine.exe")
PROBE = os.path.join(BUILD, "probe.exe")

WM_KEYDOWN = 0x100
WM_COMMAND = 0x111
WM_CLOSE = 0x10
VK_END = 0x23
VK_F4 = 0x73

# Generous: a loaded two-core machine can be slow to start Wine processes.
TIMEOUT = 30.0
# How long a press on the icon may take to show its effect before it counts as lost.
RETRY_PRESS = 5.0


def poll(fn, timeout=TIMEOUT, interval=0.05, what="condition"):
    """Calls fn until it returns something truthy; returns that, or raises on timeout."""
    deadline = time.monotonic() + timeout
    while True:
        value = fn()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise TimeoutError("timed out waiting for " + what)
        time.sleep(interval)


def read_text(path):
    """The file's text, or None while it does not exist."""
    try:
        with open(path) as f:
            return f.read()
    except FileNotFoundError:
        return None


# ------------------------------------------------------------------ Wine side

def wine(*args, timeout=TIMEOUT, check=True):
    result = subprocess.run(["wine", *map(str, args)], capture_output=True, text=True,
                            timeout=timeout)
    if check and result.returncode != 0:
        raise RuntimeError("wine %s failed (%d): %s%s" % (" ".join(map(str, args)),
                           result.returncode, result.stdout, result.stderr))
    return result


def probe(*args, timeout=TIMEOUT, check=True):
    """Runs one probe command; returns its stdout (or the CompletedProcess when check=False)."""
    result = wine(PROBE, *args, timeout=timeout + 10, check=check)
    return result.stdout if check else result


def unix_to_windows(path):
    """A Linux path as Wine's Z: drive sees it."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def windows_dir():
    return os.path.join(PREFIX, "drive_c", "windows")


def ini_path():
    return os.path.join(windows_dir(), "grabotine.ini")


def write_ini(text):
    with open(ini_path(), "w", newline="\r\n") as f:
        f.write(text)


def remove_ini():
    if os.path.exists(ini_path()):
        os.remove(ini_path())


def read_ini():
    with open(ini_path(), newline="") as f:
        return f.read()


def desktop_dir():
    dirs = [d for d in glob.glob(os.path.join(PREFIX, "drive_c", "users", "*", "Desktop"))
            if "/Public/" not in d]
    if not dirs:
        raise RuntimeError("no desktop directory in the Wine prefix")
    return dirs[0]


def temp_dir():
    return glob.glob(os.path.join(PREFIX, "drive_c", "users", "*", "AppData", "Local", "Temp"))[0]


# ------------------------------------------------------------------ X side

def xdotool(*args):
    subprocess.run(["xdotool", *map(str, args)], check=True, timeout=TIMEOUT)


def move_to(x, y):
    xdotool("mousemove", x, y)


def press(button=1):
    xdotool("mousedown", button)


def release(button=1):
    xdotool("mouseup", button)


def key(name):
    xdotool("key", name)


def x_window_geometry(name):
    """(x, y, width, height) of the viewable top-level X window with that name, or None."""
    result = subprocess.run(["xwininfo", "-name", name], capture_output=True, text=True)
    if result.returncode != 0:
        return None
    info = {}
    for line in result.stdout.splitlines():
        line = line.strip()
        for label, field in (("Absolute upper-left X:", "x"), ("Absolute upper-left Y:", "y"),
                             ("Width:", "w"), ("Height:", "h"), ("Map State:", "map")):
            if line.startswith(label):
                info[field] = line.split(":", 1)[1].strip()
    if info.get("map") != "IsViewable":
        return None
    return int(info["x"]), int(info["y"]), int(info["w"]), int(info["h"])


def popup_menu_shown():
    """True while a popup menu of the program is mapped (a nameless window of its own)."""
    tree = subprocess.run(["xwininfo", "-root", "-tree"], capture_output=True, text=True).stdout
    for line in tree.splitlines():
        if "(has no name)" in line and '"grabotine.exe"' in line and " 1x1+" not in line:
            return True
    return False


def tray_icons_area():
    return x_window_geometry("Wine System Tray")


def screen_size():
    out = subprocess.run(["xdpyinfo"], capture_output=True, text=True, check=True).stdout
    for line in out.splitlines():
        if "dimensions:" in line:
            w, h = line.split()[1].split("x")
            return int(w), int(h)
    raise RuntimeError("no screen size")


def screenshot():
    """The whole X screen as (width, height, RGB bytes)."""
    w, h = screen_size()
    data = subprocess.run(["import", "-silent", "-window", "root", "-depth", "8", "rgb:-"],
                          capture_output=True, check=True, timeout=TIMEOUT).stdout
    if len(data) != w * h * 3:
        raise RuntimeError("screenshot has %d bytes, expected %d" % (len(data), w * h * 3))
    return w, h, data


def set_root_picture(path):
    """Lays a picture on the X root window, so the screen has something to capture."""
    subprocess.run(["display", "-window", "root", path], check=True, timeout=TIMEOUT)


def drag(x1, y1, x2, y2, button=1, release_at_end=True):
    """A real drag: press at (x1, y1), move through the middle to (x2, y2), release there
    (or leave the button held when release_at_end is False)."""
    move_to(x1, y1)
    # As on the icon, a press right after the pointer arrived can be lost.
    time.sleep(0.2)
    press(button)
    move_to((x1 + x2) // 2, (y1 + y2) // 2)
    move_to(x2, y2)
    if release_at_end:
        release(button)


def x_window_at(x, y):
    """The id of the X window under (x, y), found by moving the pointer there."""
    out = subprocess.run(["xdotool", "mousemove", str(x), str(y), "getmouselocation", "--shell"],
                         capture_output=True, text=True, check=True, timeout=TIMEOUT).stdout
    return int(dict(line.split("=", 1) for line in out.split())["WINDOW"])


def x_window_id(name):
    result = subprocess.run(["xwininfo", "-name", name], capture_output=True, text=True)
    for line in result.stdout.splitlines():
        if "Window id:" in line:
            return int(line.split("Window id:")[1].split()[0], 16)
    return None


def x_clipboard_targets():
    """The targets the X clipboard offers (empty when nobody owns it)."""
    result = subprocess.run(["xclip", "-selection", "clipboard", "-t", "TARGETS", "-o"],
                            capture_output=True, text=True, timeout=TIMEOUT)
    return result.stdout.split() if result.returncode == 0 else []


def x_clipboard_bmp():
    """The X clipboard's image/bmp as (w, h, RGB bytes), as a program outside Wine pastes it."""
    result = subprocess.run(["xclip", "-selection", "clipboard", "-t", "image/bmp", "-o"],
                            capture_output=True, timeout=TIMEOUT)
    if result.returncode != 0 or not result.stdout:
        raise RuntimeError("no image/bmp on the X clipboard: %s" % result.stderr)
    return read_bmp(result.stdout)


def lay_pattern(width=None, height=None, maker=None):
    """Lays a picture made by maker(path, width, height) (make_pattern_ppm by default) on the
    root window (after the Wine desktop is up) and waits until a screenshot shows it
    everywhere but under the notification icons; returns that screenshot."""
    if width is None:
        width, height = screen_size()
    path = os.path.join(PREFIX, "grabotine-pattern.ppm")
    (maker or make_pattern_ppm)(path, width, height)
    with open(path, "rb") as f:
        expected = f.read()[-width * height * 3:]
    set_root_picture_quietly(path)

    def shows_pattern():
        shot = screenshot()
        tray = tray_icons_area() or (0, 0, 0, 0)
        data = shot[2]
        stride = shot[0] * 3
        for y in range(height):
            row = slice(y * stride, y * stride + width * 3)
            if data[row] == expected[row]:
                continue
            tx, ty, tw, th = tray
            if not ty <= y < ty + th:
                return None
            left, right = slice(y * stride, y * stride + tx * 3), \
                slice(y * stride + (tx + tw) * 3, y * stride + width * 3)
            if data[left] != expected[left] or data[right] != expected[right]:
                return None
        return shot
    return poll(shows_pattern, what="the pattern on the screen")


def set_root_picture_quietly(path):
    """set_root_picture, for ImageMagick builds whose display exits 1 after laying it."""
    subprocess.run(["display", "-window", "root", path], timeout=TIMEOUT)


# ------------------------------------------------------------------ Win32 clipboard

CF_BITMAP = 2
CF_DIB = 8


def clipboard_info():
    """{'formats': [ids], 'bitmap': (w, h, bits), 'dib': (w, h, bits)} as another Windows
    program sees the clipboard; bitmap and dib only when present."""
    info = {"formats": []}
    for line in probe("clipboard-info").splitlines():
        key_, _, value = line.partition("=")
        if key_ == "formats":
            info["formats"] = [int(f) for f in value.split(",") if f]
        elif key_ in ("bitmap", "dib"):
            info[key_] = tuple(int(v) for v in value.split("x"))
    return info


def clipboard_image(fmt="dib"):
    """The clipboard's CF_DIB ('dib') or CF_BITMAP ('bitmap') read by another Windows program,
    as (w, h, RGB bytes)."""
    path = os.path.join(PREFIX, "grabotine-clipboard.bmp")
    if os.path.exists(path):
        os.remove(path)
    probe("clipboard-save", fmt, unix_to_windows(path))
    with open(path, "rb") as f:
        return read_bmp(f.read())


def clipboard_set_text(text):
    """Another program takes the clipboard with this text."""
    probe("clipboard-set-text", text)


def clipboard_text():
    """The clipboard's CF_TEXT, or None when it holds no text."""
    out = probe("clipboard-text", check=False)
    return out.stdout.rstrip("\n") if out.returncode == 0 else None


# ------------------------------------------------------------------ images

def crop(image, left, top, width, height):
    w, h, data = image
    rows = [data[(top + y) * w * 3 + left * 3:(top + y) * w * 3 + (left + width) * 3]
            for y in range(height)]
    return width, height, b"".join(rows)


def read_bmp(blob):
    """Decodes an uncompressed BMP (file bytes) of 24 or 32 bits into (w, h, RGB bytes)."""
    if blob[:2] != b"BM":
        raise ValueError("not a BMP")
    offset = struct.unpack_from("<I", blob, 10)[0]
    return read_dib(blob[14:], offset - 14)


def read_dib(dib, pixel_offset=None):
    """Decodes a packed DIB (header, optional masks/table, pixels) of 16, 24 or 32 bits."""
    size, width, height, _planes, bits, compression = struct.unpack_from("<IiiHHI", dib, 0)
    clr_used = struct.unpack_from("<I", dib, 32)[0]
    if pixel_offset is None:
        pixel_offset = size + (12 if compression == 3 and size == 40 else 0) + 4 * clr_used
    bottom_up = height > 0
    height = abs(height)
    stride = ((width * bits + 31) // 32) * 4
    out = bytearray()
    for y in range(height):
        row_index = height - 1 - y if bottom_up else y
        row = dib[pixel_offset + row_index * stride:pixel_offset + (row_index + 1) * stride]
        if bits == 24 or bits == 32:
            step = bits // 8
            for x in range(width):
                b, g, r = row[x * step:x * step + 3]
                out += bytes((r, g, b))
        else:
            raise ValueError("unsupported depth %d" % bits)
    return width, height, bytes(out)


def make_pattern_ppm(path, width, height):
    """A picture in which every pixel differs from its neighbours: any off-by-one shows."""
    header = b"P6 %d %d 255\n" % (width, height)
    pixels = bytearray(width * height * 3)
    i = 0
    for y in range(height):
        for x in range(width):
            pixels[i] = (x * 7 + y * 3) & 0xFF
            pixels[i + 1] = (y * 5 + (x >> 3) * 11) & 0xFF
            pixels[i + 2] = ((x ^ y) * 13) & 0xFF
            i += 3
    with open(path, "wb") as f:
        f.write(header + pixels)


def make_photo_ppm(path, width, height):
    """A picture with smooth areas and soft edges, as photos and desktops mostly are: what a
    JPEG is meant for."""
    header = b"P6 %d %d 255\n" % (width, height)
    pixels = bytearray(width * height * 3)
    i = 0
    for y in range(height):
        for x in range(width):
            block = ((x // 96) + (y // 80)) % 3
            pixels[i] = (x * 255 // max(width - 1, 1) + 60 * block) & 0xFF
            pixels[i + 1] = (y * 255 // max(height - 1, 1)) & 0xFF
            pixels[i + 2] = (128 + 90 * block) & 0xFF
            i += 3
    with open(path, "wb") as f:
        f.write(header + pixels)


def read_jpeg(path):
    """Decodes a JPEG file with ImageMagick into (w, h, RGB bytes)."""
    size = subprocess.run(["identify", "-format", "%w %h", path], capture_output=True,
                          text=True, check=True, timeout=TIMEOUT).stdout.split()
    data = subprocess.run(["convert", path, "-depth", "8", "rgb:-"], capture_output=True,
                          check=True, timeout=TIMEOUT).stdout
    return int(size[0]), int(size[1]), data


def psnr(a, b):
    """Peak signal-to-noise ratio in dB between two images of the same size."""
    if a[:2] != b[:2]:
        raise ValueError("sizes differ: %r and %r" % (a[:2], b[:2]))
    total = sum((x - y) * (x - y) for x, y in zip(a[2], b[2]))
    if total == 0:
        return float("inf")
    return 10 * math.log10(255 * 255 * len(a[2]) / total)


# ------------------------------------------------------------------ the program

class Program:
    """One run of Grabotine.exe; use as a context manager so a failed test still ends it."""

    def __init__(self, ini=None, cwd=None):
        if ini is None:
            remove_ini()
        else:
            write_ini(ini)
        self.proc = subprocess.Popen(["wine", EXE], cwd=cwd or BUILD,
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.hwnd = probe("wait-window", APP_NAME, APP_NAME, int(TIMEOUT * 1000)).strip()
        self.wait_for_tray_icon()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
            # The Windows process outlives the killed wine loader: end it properly.
            subprocess.run(["wine", "taskkill", "/f", "/im", "Grabotine.exe"],
                           capture_output=True, timeout=TIMEOUT)
        return False

    def wait_for_tray_icon(self):
        poll(tray_icons_area, what="the notification icon")

    def icon_position(self, index=0):
        """Centre of the program's cell in Wine's stand-alone tray (20 x 20 per icon)."""
        x, y, _w, _h = poll(tray_icons_area, what="the notification icon")
        return x + 20 * index + 10, y + 10

    def press_icon(self, button):
        x, y = self.icon_position()
        move_to(x, y)
        # A press arriving right after the pointer moved there can be lost.
        time.sleep(0.3)
        xdotool("click", button)

    def window_info(self):
        out = probe("window-info", self.hwnd, check=False)
        if out.returncode != 0:
            return None
        return dict(kv.split("=") for kv in out.stdout.split())

    def wait_visible(self, visible=True, timeout=TIMEOUT):
        probe("wait-visible", self.hwnd, 1 if visible else 0, int(timeout * 1000), timeout=timeout)

    def post(self, msg, wparam=0, lparam=0):
        probe("post", self.hwnd, msg, wparam, lparam)

    def command(self, command_id):
        self.post(WM_COMMAND, command_id)

    def menu_items(self, open_menu, close=True):
        """Reads the popup menu as the program builds it: [(id, 'enabled'|'grayed', text)].

        open_menu() must make the program open it (a right press on the icon); the menu is
        closed again with Escape unless close is False."""
        reader = subprocess.Popen(["wine", PROBE, "menu", self.hwnd, str(int(TIMEOUT * 1000))],
                                  stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        try:
            if reader.stdout.readline().strip() != "ready":
                raise RuntimeError("menu probe could not hook the program")
            out = None
            deadline = time.monotonic() + TIMEOUT
            while out is None:
                open_menu()
                try:
                    out, _ = reader.communicate(timeout=RETRY_PRESS)
                except subprocess.TimeoutExpired:
                    # Wine drops a press that comes as the pointer re-enters the tray (as when
                    # a menu over it has just closed): nothing opened, so press again.
                    if popup_menu_shown() or time.monotonic() > deadline:
                        out, _ = reader.communicate(timeout=TIMEOUT)
        finally:
            if reader.poll() is None:
                reader.kill()
        if reader.returncode != 0:
            raise RuntimeError("the menu did not open")
        # The items are read as the menu is built: keys reach it only once it is on screen.
        poll(popup_menu_shown, what="the popup menu on screen")
        if close:
            key("Escape")
            poll(lambda: not popup_menu_shown(), what="the popup menu to close")
        return [tuple(line.split("|", 2)) for line in out.splitlines() if line]

    def gdi_objects(self):
        return int(probe("gdi-count", self.hwnd).strip())

    def wait_exit(self, timeout=TIMEOUT):
        return self.proc.wait(timeout=timeout)

    def overlay_geometry(self):
        """(x, y, w, h) of the overlay as X shows it, or None while X has it unmapped."""
        return x_window_geometry(APP_NAME)

    def open_overlay(self):
        """A real left press on the icon; returns once the overlay covers the whole screen."""
        # The overlay's X window is unmapped a while after Windows hides it: until then it
        # still covers the icon.
        self.wait_overlay_unmapped()
        self.press_icon(1)
        self.wait_visible(True)
        full = (0, 0) + screen_size()
        poll(lambda: self.overlay_geometry() == full, what="the overlay to cover the screen")

    def wait_overlay_unmapped(self):
        poll(lambda: self.overlay_geometry() is None, what="the overlay to leave the screen")

    def capture(self, x1, y1, x2, y2):
        """A whole capture as a user makes it: press on the icon, drag, release; returns once
        the overlay is hidden."""
        self.open_overlay()
        drag(x1, y1, x2, y2)
        self.wait_visible(False)

    def close_menu(self):
        """Closes the open popup menu with a click away from it, as a user does (the menu
        opens over the icon, and Escape does not reach it without a window manager); returns
        once the icon is uncovered."""
        w, h = screen_size()
        move_to(w - 5, h - 5)
        time.sleep(0.3)
        xdotool("click", 1)
        x, y = self.icon_position()
        tray = x_window_id("Wine System Tray")
        poll(lambda: x_window_at(x, y) == tray, what="the menu to close")

    def capture_loop(self, count, x1, y1, x2, y2):
        """count captures driven from the probe with the messages a press on the icon and a
        drag send (fast: no X round trips); returns how many completed."""
        out = probe("capture-loop", self.hwnd, count, x1, y1, x2, y2,
                    timeout=TIMEOUT + 5 * count, check=False)
        return int(out.stdout.strip() or 0)

    def steal_focus(self, timeout=TIMEOUT):
        """Another program's window takes the focus; True once the overlay has hidden."""
        out = probe("steal-focus", self.hwnd, int(timeout * 1000), timeout=timeout, check=False)
        return out.returncode == 0
