"""Drives the real program under Wine the way a user and the shell do.

X input comes from xdotool, the X clipboard from xclip, screenshots from ImageMagick's
import; what only Windows can see (windows, the Win32 clipboard, the program's menu and
GDI objects) comes from probe.exe, run under Wine beside the program.

Everything waits by polling with a timeout; nothing sleeps for a fixed long time.
"""
import glob
import math
import os
import re
import struct
import subprocess
import sys
import tempfile
import time

BUILD = os.environ.get("GRABOTINE_BUILD", os.path.join(os.path.dirname(__file__), "..", "..", "build"))
PREFIX = os.environ["WINEPREFIX"]
# The test desktop this runs on (tests/desktop.sh): all but bare and twomonitors have a window
# manager, a tray host that docks the icon, and a sound server.
DESKTOP = os.environ.get("GRABOTINE_DESKTOP", "bare")
MANAGED = DESKTOP not in ("bare", "twomonitors")
# Scratch folders go beside the throw-away prefix, so the runner removes them with it.
tempfile.tempdir = os.path.dirname(PREFIX)
VERSION = os.environ.get("GRABOTINE_VERSION", "1.22")
APP_NAME = "Grabotine v. " + VERSION
# x64 or x86: which of the two programs this build is.
ARCH = os.environ.get("GRABOTINE_ARCH", "x64")
EXE = os.path.join(BUILD, "Grabotine.exe")
# The release packages (the build's dist target).
DIST = os.path.join(BUILD, "dist")
PROBE = os.path.join(BUILD, "probe.exe")

WM_KEYDOWN = 0x100
WM_COMMAND = 0x111
WM_CLOSE = 0x10
WM_SYSCOMMAND = 0x112
SC_CLOSE = 0xF060
VK_END = 0x23
VK_F4 = 0x73
# The popup menu's items, and the commands of the new ones.
MENU_ITEMS = 10
IDM_DELAY, IDM_PIN, IDM_COPYPATH = 8, 9, 10

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


def report_wine_state(why):
    """Prints every process and window of this desktop and the stacks of the program and of
    the desktop process (which hosts the tray), as Wine's debugger sees them: a rare stall
    then names the call it hung in."""
    try:
        out = [wine("winedbg", "--command", c, check=False, timeout=60).stdout
               for c in ("info process", "info wnd")]
        stacks = subprocess.run(["wine", "winedbg"], input="bt all\nquit\n", text=True,
                                capture_output=True, timeout=60).stdout
        out += [b for b in stacks.split("\nBacktracing for ")
                if re.search(r"Grabotine|explorer", b.split("\n")[0])]
    except subprocess.TimeoutExpired as e:
        out = ["the debugger itself timed out: %s" % e]
    sys.stderr.write("--- %s; Wine's state:\n%s\n" % (why, "\n".join(out)))


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
    """The user's settings file (%APPDATA%\\Grabotine\\grabotine.ini)."""
    return os.path.join(user_profile(), "AppData", "Roaming", "Grabotine", "grabotine.ini")


def temp_bmp():
    """The JPEG export's temporary file, in the user's temporary folder (Wine's %TEMP%)."""
    return os.path.join(user_profile(), "Temp", "~temp.bmp")


def write_ini(text, path=None):
    path = path or ini_path()
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", newline="\r\n") as f:
        f.write(text)


def remove_ini():
    if os.path.exists(ini_path()):
        os.remove(ini_path())


def read_ini():
    with open(ini_path(), newline="") as f:
        return f.read()


def settings():
    """{section: value of State} of the settings file, in file order."""
    return ini_values(read_ini())


def user_profile():
    """The folder of the prefix's user (C:\\users\\<user>)."""
    dirs = [d for d in glob.glob(os.path.join(PREFIX, "drive_c", "users", "*"))
            if os.path.basename(d) != "Public" and os.path.isdir(os.path.join(d, "Desktop"))]
    if not dirs:
        raise RuntimeError("no user folder in the Wine prefix")
    return dirs[0]


def desktop_dir():
    return os.path.join(user_profile(), "Desktop")


def c_drive_path(path):
    """A path inside the prefix's drive_c as Windows names it (C:\\...)."""
    relative = os.path.relpath(path, os.path.join(PREFIX, "drive_c"))
    return "C:\\" + relative.replace("/", "\\")


def programs_running(name="Grabotine.exe"):
    """The paths the running processes of that program in this prefix were started by: Wine
    gives each process its Windows command line as its Linux one."""
    paths = []
    prefix_var = ("WINEPREFIX=" + PREFIX).encode()
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open("/proc/%s/cmdline" % pid, "rb") as f:
                command = f.read().split(b"\0")[0].decode(errors="replace")
            with open("/proc/%s/environ" % pid, "rb") as f:
                env = f.read().split(b"\0")
        except OSError:
            continue
        if command.replace("\\", "/").rsplit("/", 1)[-1].lower() == name.lower() and \
                prefix_var in env:
            paths.append(command)
    return paths


def end_session():
    """Ends the session as a log-off does (every program is asked, told, then ended), then
    brings the desktop back for what follows."""
    wine("wineboot", "-e")
    subprocess.Popen(["wine", PROBE, "keep-desktop"], stdout=subprocess.DEVNULL,
                     stderr=subprocess.DEVNULL)
    probe("wait-window", "-", "probe keep-desktop", int(TIMEOUT * 1000))


# ------------------------------------------------------------------ X side

def xdotool(*args):
    subprocess.run(["xdotool", *map(str, args)], check=True, timeout=TIMEOUT)


def move_to(x, y):
    xdotool("mousemove", x, y)


def press(button=1):
    xdotool("mousedown", button)


def release(button=1):
    xdotool("mouseup", button)


def click_at(x, y, button=1):
    """A real click at (x, y) on the X screen."""
    move_to(x, y)
    # A press arriving right after the pointer moved there can be lost.
    time.sleep(0.3)
    xdotool("click", button)


def click_screen(x, y):
    """A real click at (x, y) in Windows screen coordinates, whose origin is the primary
    monitor's corner wherever X has it."""
    mx, my, _w, _h = primary_monitor()
    click_at(x + mx, y + my)


def key(name):
    xdotool("key", name)


def x_window_geometry(name):
    """(x, y, width, height) of the viewable top-level X window with that name, or None."""
    return _viewable_geometry(subprocess.run(["xwininfo", "-name", name], capture_output=True,
                                             text=True))


def _viewable_geometry(result):
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


def x_geometry(window_id):
    """(x, y, width, height) of a viewable X window, or None."""
    result = subprocess.run(["xwininfo", "-id", str(window_id)], capture_output=True, text=True)
    return _viewable_geometry(result)


def tray_icons():
    """The notification icons on screen as (x, y, w, h): docked in the tray host (XEmbed windows
    of Wine's desktop process) or, without one, the cells of Wine's stand-alone tray."""
    if MANAGED:
        found = subprocess.run(["xdotool", "search", "--onlyvisible", "--classname", "explorer.exe"],
                               capture_output=True, text=True).stdout.split()
        icons = []
        for window in found:
            embed = subprocess.run(["xprop", "-id", window, "_XEMBED_INFO"], capture_output=True,
                                   text=True).stdout
            geometry = x_geometry(window) if "=" in embed else None
            if geometry:
                icons.append(geometry)
        return sorted(icons)
    area = x_window_geometry("Wine System Tray")
    if not area:
        return []
    x, y, w, cell = area
    return [(x + i * cell, y, cell, cell) for i in range(w // cell)]


def x_above(upper, lower):
    """Whether X shows the window upper above the window lower (window manager frames and
    all)."""
    def top_level(window):
        while True:
            out = subprocess.run(["xwininfo", "-id", str(window), "-tree"], capture_output=True,
                                 text=True, check=True).stdout
            parent = int(out.split("Parent window id:")[1].split()[0], 16)
            if parent == int(out.split("Root window id:")[1].split()[0], 16):
                return window
            window = parent
    out = subprocess.run(["xwininfo", "-root", "-children"], capture_output=True, text=True,
                         check=True).stdout
    # xwininfo lists the root's children top first.
    order = [int(line.split()[0], 16) for line in out.splitlines() if line.strip().startswith("0x")]
    return order.index(top_level(int(upper, 16))) < order.index(top_level(int(lower, 16)))


def desktop_furniture():
    """What always stays on top of a picture laid on the screen: the tray host's panel or
    Wine's stand-alone tray."""
    return [g for g in (x_window_geometry("panel"), x_window_geometry("Wine System Tray")) if g]


def primary_monitor():
    """The primary monitor as X places it (x, y, w, h); Windows puts its corner at (0, 0)."""
    if DESKTOP == "twomonitors":
        return 1024, 0, 800, 600
    return (0, 0) + screen_size()


def monitors():
    """The monitors as X places them (x, y, w, h), the primary last."""
    return [(0, 0, 1024, 768), primary_monitor()] if DESKTOP == "twomonitors" else [primary_monitor()]


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


def x_clipboard(target):
    """The X clipboard's content for target as a program outside Wine pastes it, or None.
    A read right after a program's first capture can hang: time-out and try again."""
    for _ in range(3):
        try:
            result = subprocess.run(["xclip", "-selection", "clipboard", "-t", target, "-o"],
                                    capture_output=True, timeout=5)
        except subprocess.TimeoutExpired:
            continue
        return result.stdout if result.returncode == 0 and result.stdout else None
    raise TimeoutError("xclip kept hanging")


def x_clipboard_bmp():
    """The X clipboard's image/bmp as (w, h, RGB bytes)."""
    blob = x_clipboard("image/bmp")
    if not blob:
        raise RuntimeError("no image/bmp on the X clipboard")
    return read_bmp(blob)


def lay_pattern(maker=None, wait=True):
    """Lays a picture made by maker(path, width, height) (make_pattern_ppm by default) on the
    root window (after the Wine desktop is up) and waits until a screenshot shows it
    everywhere but under the tray; returns that screenshot, the picture as the screen holds it.
    With wait False it returns at once, for a screen that is covered."""
    width, height = screen_size()
    path = os.path.join(PREFIX, "grabotine-pattern.ppm")
    (maker or make_pattern_ppm)(path, width, height)
    with open(path, "rb") as f:
        expected = f.read()[-width * height * 3:]
    # Some ImageMagick builds exit 1 after laying the picture.
    subprocess.run(["display", "+dither", "-window", "root", path], timeout=TIMEOUT)
    if not wait:
        return None

    def shows_pattern():
        shot = screenshot()
        data = bytearray(shot[2])
        for x, y, w, h in desktop_furniture():
            for row in range(y, min(y + h, height)):
                covered = slice((row * width + x) * 3, (row * width + min(x + w, width)) * 3)
                data[covered] = expected[covered]
        if DESKTOP == "depth16":
            # ImageMagick rounds the picture into 5-6-5 its own way: near is all it promises.
            near = all(abs(data[i] - expected[i]) <= 10 for i in range(0, len(data), 97))
            return shot if near else None
        return shot if data == expected else None
    return poll(shows_pattern, what="the pattern on the screen")


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
        blob = f.read()
    # Only the program's own CF_DIB is BI_RGB: one the system made up from CF_BITMAP is not.
    if fmt == "dib" and struct.unpack_from("<I", blob, 30)[0] != 0:
        raise AssertionError("CF_DIB is not the BI_RGB DIB the program offers")
    return read_bmp(blob)


def clipboard_png():
    """The clipboard's "PNG" as another Windows program reads it, decoded: (w, h, RGB bytes)."""
    path = os.path.join(PREFIX, "grabotine-clipboard.png")
    probe("clipboard-save", "png", unix_to_windows(path))
    return read_png(path)


def clipboard_set_text(text):
    """Another program takes the clipboard with this text."""
    probe("clipboard-set-text", text)


def clipboard_text():
    """The clipboard's CF_TEXT, or None when it holds no text."""
    out = probe("clipboard-text", check=False)
    return out.stdout.rstrip("\n") if out.returncode == 0 else None


# ------------------------------------------------------------------ sound

SOUND_RATE = 11025  # the shutter clip's rate; recordings are made at it, 16-bit mono


class Recording:
    """Records what the desktop's sound server plays (its null sink's monitor) from the moment
    it is made until stop()."""

    def __init__(self):
        self.path = tempfile.mktemp(suffix=".raw")
        with open(self.path, "wb") as out:
            self.proc = subprocess.Popen(
                ["parec", "-d", "grabotine.monitor", "--raw", "--format=s16le", "--channels=1",
                 "--rate=%d" % SOUND_RATE, "--latency-msec=20"], stdout=out)
        # Running once samples (silence included) arrive.
        self._wait_for_seconds(0.1)

    def _seconds(self):
        return os.path.getsize(self.path) / 2 / SOUND_RATE

    def _wait_for_seconds(self, seconds):
        poll(lambda: self._seconds() >= seconds, what="%.1f s of recorded sound" % seconds)

    def stop(self, tail=0.5):
        """Records tail seconds more (sound still on its way), then stops; returns the samples."""
        self._wait_for_seconds(self._seconds() + tail)
        self.proc.terminate()
        self.proc.wait(timeout=TIMEOUT)
        with open(self.path, "rb") as f:
            data = f.read()
        os.remove(self.path)
        return struct.unpack("<%dh" % (len(data) // 2), data[:len(data) // 2 * 2])


def sounds(samples, level=1000, gap=0.1):
    """The stretches of sound in samples, as (length in seconds, mean square) each: runs of
    samples louder than level, joined across silences shorter than gap seconds."""
    loud = [i for i, v in enumerate(samples) if abs(v) > level]
    stretches = []
    for i in loud:
        if stretches and i - stretches[-1][1] <= gap * SOUND_RATE:
            stretches[-1][1] = i
        else:
            stretches.append([i, i])
    return [((end - start + 1) / SOUND_RATE,
             sum(v * v for v in samples[start:end + 1]) / (end - start + 1))
            for start, end in stretches]


def shutter_clip():
    """The shutter clip the program carries, as its sounds() would hear it played."""
    with open(os.path.join(os.path.dirname(__file__), "..", "..", "resources", "shutter.wav"),
              "rb") as f:
        wav = f.read()
    pcm = wav[wav.index(b"data") + 8:]
    return sounds([(b - 128) * 256 for b in pcm])


# ------------------------------------------------------------------ images

def assert_same_image(test, got, want, what="image"):
    """Fails with the sizes, or with how many pixels differ and the first of them; never hands
    megabytes of pixels to assertEqual, whose diff of them outlasts any time-out."""
    test.assertEqual(got[:2], want[:2], "%s size" % what)
    width, a, b = got[0], got[2], want[2]
    differing = [i for i in range(0, len(b), 3) if a[i:i + 3] != b[i:i + 3]]
    if differing:
        i = differing[0]
        test.fail("%s: %d of %d pixels differ, first at (%d, %d): %s instead of %s" % (
            what, len(differing), len(b) // 3, i // 3 % width, i // 3 // width,
            tuple(a[i:i + 3]), tuple(b[i:i + 3])))


def crop(image, left, top, width, height):
    w, h, data = image
    rows = [data[(top + y) * w * 3 + left * 3:(top + y) * w * 3 + (left + width) * 3]
            for y in range(height)]
    return width, height, b"".join(rows)


def read_bmp(blob):
    """Decodes an uncompressed BMP (file bytes) of 1 to 32 bits into (w, h, RGB bytes)."""
    if blob[:2] != b"BM":
        raise ValueError("not a BMP")
    offset = struct.unpack_from("<I", blob, 10)[0]
    return read_dib(blob[14:], offset - 14)


def decoded_bmp(path):
    """The BMP file's pixels, or None while it is missing or not yet whole."""
    try:
        with open(path, "rb") as f:
            return read_bmp(f.read())
    except (OSError, ValueError, struct.error, IndexError):
        return None


def read_dib(dib, pixel_offset=None):
    """Decodes a packed DIB (header, optional masks/table, pixels) of 1, 4, 8, 16, 24 or 32
    bits."""
    size, width, height, _planes, bits, compression = struct.unpack_from("<IiiHHI", dib, 0)
    clr_used = struct.unpack_from("<I", dib, 32)[0]
    if bits <= 8 and clr_used == 0:
        clr_used = 1 << bits
    if pixel_offset is None:
        pixel_offset = size + (12 if compression == 3 and size == 40 else 0) + 4 * clr_used
    table = [bytes((dib[i + 2], dib[i + 1], dib[i])) for i in range(size, size + 4 * clr_used, 4)]
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
        elif bits <= 8:  # indices into the table, high bits first
            for x in range(width):
                index = row[x * bits // 8] >> (8 - bits - x * bits % 8) & ((1 << bits) - 1)
                out += table[index]
        elif bits == 16 and compression == 0:  # 5-5-5, widened by repeating the top bits
            for x in range(width):
                v = row[2 * x] | row[2 * x + 1] << 8
                out += bytes(((c << 3) | (c >> 2)) for c in ((v >> 10) & 31, (v >> 5) & 31, v & 31))
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
    """Decodes a JPEG (or PNG) file with ImageMagick into (w, h, RGB bytes)."""
    size = subprocess.run(["identify", "-format", "%w %h", path], capture_output=True,
                          text=True, check=True, timeout=TIMEOUT).stdout.split()
    data = subprocess.run(["convert", path, "-depth", "8", "rgb:-"], capture_output=True,
                          check=True, timeout=TIMEOUT).stdout
    return int(size[0]), int(size[1]), data


def read_png(path):
    """read_jpeg for a file that must be a PNG file, not only decode: its signature first."""
    with open(path, "rb") as f:
        if f.read(8) != b"\x89PNG\r\n\x1a\n":
            raise AssertionError("%s is not a PNG file" % path)
    return read_jpeg(path)


def psnr(a, b):
    """Peak signal-to-noise ratio in dB between two images of the same size."""
    if a[:2] != b[:2]:
        raise ValueError("sizes differ: %r and %r" % (a[:2], b[:2]))
    total = sum((x - y) * (x - y) for x, y in zip(a[2], b[2]))
    if total == 0:
        return float("inf")
    return 10 * math.log10(255 * 255 * len(a[2]) / total)


# ------------------------------------------------------------------ the program

def ask(*args):
    return probe(*args).rstrip("\r\n")


def ini_values(text):
    """{section: value of State}, in file order."""
    values, section = {}, None
    for line in text.splitlines():
        line = line.strip()
        if line.startswith("["):
            section = line.strip("[]")
        elif line.startswith("State=") and section:
            values[section] = line[len("State="):]
    return values


def settings_ini(folder, sound=0, auto_save=0, save_as=0):
    """A settings file as the program writes it, folder as Windows names it."""
    return ("[autoSave]\r\nState=%s\r\n[Sound]\r\nState=%s\r\n[SaveAs]\r\nState=%s\r\n"
            "[Folder]\r\nState=%s\r\n" % (auto_save, sound, save_as, folder))


def show_topmost_window(test, *kind):
    """Another program shows an always-on-top window at (500, 350), 300 x 200, until test ends
    (with "child", frameless, holding a button at (40, 30), 120 x 60 in it); returns its handle
    once X shows it."""
    other = subprocess.Popen(["wine", PROBE, "topmost-window", *kind], stdout=subprocess.PIPE,
                             stderr=subprocess.DEVNULL, text=True)
    test.addCleanup(other.stdout.close)
    test.addCleanup(other.wait)
    test.addCleanup(other.kill)
    hwnd = other.stdout.readline().strip()

    def shown():
        # Wine gives the window its X window a moment after the probe has reported it.
        out = probe("x-window", hwnd, check=False)
        return out.returncode == 0 and x_geometry(out.stdout.strip())
    poll(shown, what="the topmost window")
    return hwnd


def window_info(hwnd):
    """{visible, x, y, w, h (the window), cx, cy, cw, ch (its client area), pid, tid} in
    Windows screen coordinates, or None once the window is gone."""
    out = probe("window-info", hwnd, check=False)
    if out.returncode != 0:
        return None
    return dict(kv.split("=") for kv in out.stdout.split())


def x_window_of(hwnd):
    """The X window Wine shows a window in."""
    return probe("x-window", hwnd).strip()


class Dialog:
    """A dialog box of the program, found by its owner and caption."""

    def __init__(self, owner, caption="-"):
        self.hwnd = ask("find-dialog", owner, caption, int(TIMEOUT * 1000))

    def text(self, control_id):
        return ask("control-text", self.hwnd, control_id)

    def checked(self, control_id):
        return int(ask("control-check", self.hwnd, control_id))

    def rect(self, control_id):
        return tuple(int(v) for v in ask("control-rect", self.hwnd, control_id).split())

    def click(self, control_id):
        x, y, w, hgt = self.rect(control_id)
        click_screen(x + w // 2, y + hgt // 2)

    def toggle(self, control_id):
        before = self.checked(control_id)
        self.click(control_id)
        poll(lambda: self.checked(control_id) != before, what="box %d to toggle" % control_id)

    def send_command(self, command_id):
        """WM_COMMAND with that id, returning once the dialog has handled it."""
        ask("send", self.hwnd, WM_COMMAND, command_id, 0)

    def controls(self):
        return [line.split("|") for line in ask("controls", self.hwnd).splitlines()]

    def is_open(self):
        """Still shown: EndDialog hides a dialog at once, before it is destroyed."""
        info = window_info(self.hwnd)
        return bool(info) and info["visible"] == "1"

    def press_close_box(self):
        """A click on the caption's close box; without a window manager nobody draws one, so
        this is what it sends."""
        if not MANAGED:
            probe("post", self.hwnd, WM_SYSCOMMAND, SC_CLOSE, 0)
            return
        info = window_info(self.hwnd)
        frame = subprocess.run(["xprop", "-id", x_window_of(self.hwnd), "_NET_FRAME_EXTENTS"],
                               capture_output=True, text=True, check=True).stdout
        _left, right, top, _bottom = (int(v) for v in frame.split("=")[1].split(","))
        x, y = int(info["cx"]) + int(info["cw"]) + right, int(info["cy"])
        # The window manager's close box ends its caption bar, about 11 pixels in.
        click_screen(x - 11, y - top // 2)

    def wait_closed(self):
        probe("wait-gone", self.hwnd, int(TIMEOUT * 1000))

    @staticmethod
    def open_options(app):
        app.command(5)  # Options, as the menu sends it
        return Dialog(app.hwnd, "Options")


class Program:
    """One run of Grabotine.exe; use as a context manager so a failed test still ends it."""

    def __init__(self, ini=None, cwd=None, exe=EXE, by_shell=False):
        """by_shell: the shell opens exe (a Windows path, a shortcut too) as a click on it does;
        the program then runs on its own."""
        if ini is None:
            remove_ini()
        else:
            write_ini(ini)
        self.by_shell = by_shell
        command = ["wine", "start", exe] if by_shell else ["wine", exe]
        # What Wine says of the program (a crash's backtrace among it), for the failure that
        # finds its window gone.
        self.log = tempfile.NamedTemporaryFile(prefix="grabotine-stderr-", delete=False)
        self.proc = subprocess.Popen(command, cwd=cwd or BUILD, stdout=subprocess.DEVNULL,
                                     stderr=self.log)
        try:
            self.hwnd = probe("wait-window", APP_NAME, APP_NAME, int(TIMEOUT * 1000)).strip()
            self.wait_for_tray_icon()
        except BaseException:
            report_wine_state("the program did not come up")
            # A copy that comes up late would be the running one for every later test.
            self.__exit__()
            raise

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.log.close()
        if self.proc.poll() is None or self.by_shell:
            self.proc.kill()
            self.proc.wait()
            # The Windows process outlives the killed wine loader: end it properly.
            subprocess.run(["wine", "taskkill", "/f", "/im", "Grabotine.exe"],
                           capture_output=True, timeout=TIMEOUT)
        return False

    def wait_for_tray_icon(self):
        poll(tray_icons, what="the notification icon")

    def icon_position(self):
        """Centre of the program's icon, the only one on the desktop."""
        x, y, w, h = poll(tray_icons, what="the notification icon")[0]
        return x + w // 2, y + h // 2

    def press_icon(self, button):
        # Wine's tray drops a press while the program is busy (as while the shutter plays).
        self.sync()
        click_at(*self.icon_position(), button=button)

    def choose_from_menu(self, position):
        """Opens the menu with a right press on the icon and clicks its item at position
        (0 to MENU_ITEMS - 1, items of one height), as a user does; returns the menu's
        (x, y, w, h)."""
        self.press_icon(3)
        x, y, w, h = (int(v) for v in probe("find-menu", self.hwnd, int(TIMEOUT * 1000)).split())
        click_screen(x + w // 2, y + h * (2 * position + 1) // (2 * MENU_ITEMS))
        return x, y, w, h

    def window_info(self):
        return window_info(self.hwnd)

    def wait_visible(self, visible=True, timeout=TIMEOUT):
        probe("wait-visible", self.hwnd, 1 if visible else 0, int(timeout * 1000), timeout=timeout)

    def sync(self):
        """Returns once the program is back in a message loop."""
        probe("sync", self.hwnd, int(TIMEOUT * 1000))

    def idle(self):
        """Returns once the program has handled what was posted to it before the call (as the
        save an auto-save posts): it handles a sent message before posted ones, so the second
        one finds them done."""
        self.sync()
        self.sync()

    def post(self, msg, wparam=0, lparam=0):
        probe("post", self.hwnd, msg, wparam, lparam)

    def command(self, command_id):
        self.post(WM_COMMAND, command_id)

    def menu_items(self, open_menu, close=True):
        """Reads the popup menu as the program builds it: [(id, 'enabled'|'grayed', text)].

        open_menu() must make the program open it (a right press on the icon); the menu is
        closed again unless close is False."""
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
            self.close_menu()
        return [tuple(line.split("|", 2)) for line in out.splitlines() if line]

    def gdi_objects(self):
        return int(dict(kv.split("=") for kv in probe("counts", self.hwnd).split())["gdi"])

    def wait_exit(self, timeout=TIMEOUT):
        try:
            return self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            report_wine_state("the program did not end")
            raise

    def exit(self, test):
        """Exit as the menu sends it; the program must end cleanly. Returns the settings it
        wrote."""
        self.command(1)
        test.assertEqual(self.wait_exit(), 0)
        return settings()

    def overlay_geometry(self):
        """(x, y, w, h) of the overlay as X shows it, or None while X has it unmapped."""
        return x_window_geometry(APP_NAME)

    def open_overlay(self):
        """A real left press on the icon; returns once the overlay covers every monitor and
        has the keyboard."""
        for _ in range(3):
            # The overlay's X window is unmapped a while after Windows hides it: until then it
            # still covers the icon.
            self.wait_overlay_unmapped()
            self.press_icon(1)
            self.wait_visible(True)

            def state():
                info = self.window_info()
                if info is None:  # the probe did not answer, or the program is gone
                    self.assert_running()
                    return None
                # Under load openbox now and then takes the focus back the moment the overlay
                # shows, which cancels it as any focus loss does: the user presses again.
                if info["visible"] == "0":
                    return "cancelled"
                # A probe that did not answer is asked again at the next turn.
                front = probe("foreground", check=False)
                return (self.overlay_geometry() == (0, 0) + screen_size() and
                        front.returncode == 0 and front.stdout.strip() == self.hwnd and "ready")
            if poll(state, what="the overlay") == "ready":
                return
        raise AssertionError("the overlay lost the focus at once, three times")

    def assert_running(self):
        if self.proc.poll() is not None:
            with open(self.log.name, errors="replace") as f:
                raise AssertionError("the program ended (%d): %s" % (self.proc.returncode,
                                                                     f.read()[-3000:]))

    def wait_overlay_unmapped(self):
        poll(lambda: self.overlay_geometry() is None, what="the overlay to leave the screen")

    def capture(self, x1, y1, x2, y2):
        """A whole capture as a user makes it: press on the icon, drag, release; returns once
        the overlay is hidden."""
        self.open_overlay()
        drag(x1, y1, x2, y2)
        self.wait_visible(False)

    def close_menu(self):
        """Closes the open popup menu with a click away from it, as a user does."""
        w, h = screen_size()
        move_to(w - 5, h - 5)
        time.sleep(0.3)
        xdotool("click", 1)
        poll(lambda: not popup_menu_shown(), what="the menu to close")

    def capture_loop(self, count, x1, y1, x2, y2):
        """count captures driven from the probe with the messages a press on the icon and a
        drag send (fast: no X round trips); returns how many completed."""
        out = probe("capture-loop", self.hwnd, count, x1, y1, x2, y2,
                    timeout=TIMEOUT + 5 * count, check=False)
        done = int(out.stdout.strip() or 0)
        if done < count:
            sys.stderr.write(out.stderr)
        return done

    def steal_focus(self, timeout=TIMEOUT):
        """Another program's window takes the focus; True once the overlay has hidden."""
        out = probe("steal-focus", self.hwnd, int(timeout * 1000), timeout=timeout, check=False)
        return out.returncode == 0
