"""The release as a Windows user gets it: the installer (install, use, upgrade over the running
program, removal), run silently as deployments do, and the portable zip."""
import contextlib
import filecmp
import hashlib
import json
import os
import struct
import subprocess
import sys
import tempfile
import unittest
import zipfile

import yaml

import harness as h

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
VERSION = h.VERSION
SETUP = os.path.join(h.DIST, "Grabotine-%s-%s-setup.exe" % (VERSION, h.ARCH))
ZIP = os.path.join(h.DIST, "Grabotine-%s-%s.zip" % (VERSION, h.ARCH))
KEY = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Grabotine"
MACHINE_KEY = "HKLM" + KEY[4:]
KEYBOARD = "HKCU\\Control Panel\\Keyboard"
AS_USER = [h.PROBE, "as-user"]
PROGRAM = ["Grabotine.exe", "NViewLib.dll", "grabotine.htm"]


def run(*command):
    """Runs a Windows program to its end and returns its exit code. What it starts runs on its
    own: its output is not waited for."""
    return subprocess.run(["wine", *command], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL, timeout=h.TIMEOUT).returncode


def registry(key, *view):
    """{name: value} of a registry key (DWORDs as numbers), or None while it does not exist;
    view "/reg:32" reads the 32-bit programs' view of a 64-bit Windows."""
    out = h.wine("reg", "query", key, *view, check=False)
    if out.returncode != 0:
        return None
    values = {}
    for line in out.stdout.splitlines():
        fields = line.strip().split("    ", 2)
        if len(fields) == 3 and fields[1].startswith("REG_"):
            values[fields[0]] = int(fields[2], 16) if fields[1] == "REG_DWORD" else fields[2]
    return values


def names_target(shortcut, target):
    """Whether the shortcut file holds the Windows path target (ANSI or UTF-16)."""
    with open(shortcut, "rb") as f:
        data = f.read().lower()
    target = target.lower()
    return target.encode("cp1252") in data or target.encode("utf-16-le") in data


def link_time_stamps(path):
    """The time stamps a linker can leave in a PE file: its header's, its export directory's and
    its resource directory's."""
    with open(path, "rb") as f:
        data = f.read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    sections, = struct.unpack_from("<H", data, pe + 6)
    optional = pe + 24
    section_table = optional + struct.unpack_from("<H", data, pe + 20)[0]

    def file_offset(rva):
        for i in range(sections):
            virtual_size, address, raw_size, raw = struct.unpack_from(
                "<IIII", data, section_table + 40 * i + 8)
            if address <= rva < address + max(virtual_size, raw_size):
                return rva - address + raw
        raise ValueError("address %#x in no section" % rva)

    stamps = [struct.unpack_from("<I", data, pe + 8)[0]]
    # The data directories start at 96 in a 32-bit image's optional header, at 112 in a 64-bit one.
    table = optional + (112 if struct.unpack_from("<H", data, optional)[0] == 0x20B else 96)
    for directory in (0, 2):  # exports, resources
        rva, size = struct.unpack_from("<II", data, table + 8 * directory)
        if size:
            stamps.append(struct.unpack_from("<I", data, file_offset(rva) + 4)[0])
    return stamps


def assert_program_files(test, folder):
    """The program's files in folder are those of the build."""
    for name in PROGRAM:
        test.assertTrue(filecmp.cmp(os.path.join(folder, name), os.path.join(h.BUILD, name),
                                    shallow=False), name)


def run_command_line(line):
    """Runs a command line as the registry holds it: the quoted program, then its arguments."""
    program, arguments = line[1:].split('"', 1)
    return run(program, *arguments.split())


@contextlib.contextmanager
def held(path):
    """A copy that another session runs holds the file."""
    holder = subprocess.Popen(["wine", h.PROBE, "hold-file", h.c_drive_path(path)],
                              stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    try:
        yield holder.stdout.readline().strip()
    finally:
        holder.stdin.close()
        holder.wait(timeout=h.TIMEOUT)


def pack(out, *options, **signing):
    """Packs the build's release into out, signed as the settings given say; returns out."""
    subprocess.run([sys.executable, os.path.join(SOURCE, "packaging", "make_dist.py"), *options,
                    out, h.BUILD], check=True, capture_output=True, timeout=h.TIMEOUT,
                   env=dict(os.environ, **signing))
    return out


class Installer(unittest.TestCase):
    def test_for_all_users_upgrades_keep_its_choices_use_and_silent_removal(self):
        # The native Program Files of either prefix: the 32-bit one's or the 64-bit one's.
        folder = os.path.join(h.PREFIX, "drive_c", "Program Files", "Grabotine")
        programs = os.path.join(h.PREFIX, "drive_c", "ProgramData", "Microsoft", "Windows",
                                "Start Menu", "Programs")
        shortcuts = [os.path.join(programs, "Grabotine.lnk"),
                     os.path.join(programs, "StartUp", "Grabotine.lnk")]
        exe = h.c_drive_path(os.path.join(folder, "Grabotine.exe"))

        if h.ARCH == "x64":
            # Over the 32-bit release for all users, without its sign-in start: one install
            # stays, the 64-bit one, and the choice with it.
            old = os.path.join(h.PREFIX, "drive_c", "Program Files (x86)", "Grabotine")
            os.makedirs(old)
            for name in PROGRAM + ["Uninstall.exe"]:
                open(os.path.join(old, name), "w").close()
            for name, value in (("InstallLocation", h.c_drive_path(old)), ("DisplayVersion", "1.21")):
                h.wine("reg", "add", MACHINE_KEY, "/v", name, "/d", value, "/reg:32", "/f")
            # Kept: refused by a standard user's Setup, and by any while a copy runs it.
            self.assertEqual(run(*AS_USER, h.unix_to_windows(SETUP), "/S"), 2)
            self.assertIsNone(registry(KEY))
            with held(os.path.join(old, "Grabotine.exe")) as answer:
                self.assertEqual((answer, run(SETUP, "/S")), ("held", 2))
            self.assertIsNotNone(registry(MACHINE_KEY, "/reg:32"))
            self.assertFalse(os.path.exists(folder))
            self.assertEqual(run(SETUP, "/S"), 0)
            self.assertFalse(os.path.exists(old))
            self.assertIsNone(registry(MACHINE_KEY, "/reg:32"))
        else:
            self.assertEqual(run(SETUP, "/S", "/ALLUSERS", "/NOAUTOSTART"), 0)
        # A plain upgrade stays for all users, the sign-in start off; /AUTOSTART brings it back.
        self.assertEqual(run(SETUP, "/S"), 0)
        self.assertEqual([os.path.exists(s) for s in shortcuts], [True, False])
        self.assertEqual(run(SETUP, "/S", "/AUTOSTART"), 0)
        assert_program_files(self, folder)
        for shortcut in shortcuts:
            self.assertTrue(names_target(shortcut, exe), shortcut)
        self.assertEqual(registry(MACHINE_KEY)["InstallLocation"], h.c_drive_path(folder))
        self.assertIsNone(registry(KEY))

        with h.Program(exe=h.c_drive_path(shortcuts[0]), by_shell=True) as app:
            self.assertEqual(h.programs_running(), [exe])
            app.capture(10, 40, 60, 90)
            self.assertEqual(h.clipboard_info()["dib"][:2], (50, 50))
            # Setup runs as an administrator there: it closes the program and starts none.
            self.assertEqual(run(SETUP, "/S"), 0)
            h.probe("wait-gone", app.hwnd, int(h.TIMEOUT * 1000))
            self.assertEqual(h.programs_running(), [])
            self.assertEqual(run(os.path.join(folder, "Uninstall.exe"), "/S"), 0)
            self.assertIsNone(registry(MACHINE_KEY))  # over when the command returns
            self.assertFalse(os.path.exists(folder))
            self.assertFalse([s for s in shortcuts if os.path.exists(s)])

    def test_silent_install_use_upgrade_over_the_running_program_and_silent_removal(self):
        profile = h.user_profile()
        folder = os.path.join(profile, "AppData", "Local", "Programs", "Grabotine")
        programs = os.path.join(profile, "AppData", "Roaming", "Microsoft", "Windows",
                                "Start Menu", "Programs")
        shortcuts = [os.path.join(programs, "Grabotine.lnk"),
                     os.path.join(programs, "StartUp", "Grabotine.lnk")]
        exe = h.c_drive_path(os.path.join(folder, "Grabotine.exe"))

        # Install: no questions, into the user's own programs folder; Print Screen asked for.
        self.assertEqual(run(SETUP, "/S", "/PRINTSCREEN"), 0)
        self.assertEqual(registry(KEYBOARD)["PrintScreenKeyForSnippingEnabled"], 0)
        assert_program_files(self, folder)
        self.assertTrue(os.path.isfile(os.path.join(folder, "Uninstall.exe")))
        for shortcut in shortcuts:
            self.assertTrue(names_target(shortcut, exe), shortcut)
        uninstaller = h.c_drive_path(os.path.join(folder, "Uninstall.exe"))
        values = registry(KEY)
        size = values.pop("EstimatedSize")
        self.assertEqual(values.pop("PrintScreenBefore"), "absent")
        self.assertEqual(values, {
            "DisplayName": "Grabotine", "DisplayVersion": VERSION,
            "Publisher": "The Grabotine team", "DisplayIcon": exe + ",0",
            "InstallLocation": h.c_drive_path(folder),
            "UninstallString": '"%s"' % uninstaller,
            "QuietUninstallString": '"%s" /S' % uninstaller, "NoModify": 1, "NoRepair": 1})
        kib = sum(os.path.getsize(os.path.join(folder, n)) for n in PROGRAM + ["License.txt", "Uninstall.exe"])
        self.assertLessEqual(abs(size - kib / 1024), len(PROGRAM) + 1)
        self.assertEqual(run(SETUP, "/S", "/ALLUSERS"), 2)  # not beside an install for one user
        self.assertIsNone(registry(MACHINE_KEY))

        # A copy that another session runs holds the program: the entry's command fails, and
        # waits for the removal, which leaves everything as it was, entry included.
        with held(os.path.join(folder, "Grabotine.exe")) as answer:
            self.assertEqual((answer, run_command_line(values["QuietUninstallString"])),
                             ("held", 2))
        assert_program_files(self, folder)
        self.assertEqual(len(os.listdir(folder)), len(PROGRAM) + 3)  # License, Uninstall.exe, .dat
        self.assertIsNotNone(registry(KEY))

        # Started from the Start menu, it runs from there and captures; the user keeps the
        # captures in the program's folder.
        app = h.Program(ini=h.settings_ini(h.c_drive_path(folder), auto_save=1),
                        exe=h.c_drive_path(shortcuts[0]), by_shell=True)
        with app:
            self.assertEqual(h.programs_running(), [exe])
            app.capture(10, 40, 60, 90)
            capture = h.poll(lambda: [n for n in os.listdir(folder) if n.endswith(".bmp")],
                             what="the auto-saved capture")[0]
            self.assertEqual(h.poll(lambda: h.decoded_bmp(os.path.join(folder, capture)))[:2],
                             (50, 50))

            # Upgrade over the running program, now without the start at sign-in: it is asked to
            # close (and stores its settings), every file is replaced, and the program is back.
            h.remove_ini()
            with open(os.path.join(folder, "grabotine.htm"), "w") as f:
                f.write("damaged")
            self.assertEqual(run(*AS_USER, h.unix_to_windows(SETUP), "/S", "/NOAUTOSTART"), 0)
            h.probe("wait-gone", app.hwnd, int(h.TIMEOUT * 1000))
            self.assertEqual(h.ini_values(h.read_ini()),
                             {"autoSave": "1", "Sound": "0", "SaveAs": "0",
                              "Folder": h.c_drive_path(folder), "Hotkey": "1",
                              "Magnifier": "0", "Snap": "0", "Delay": "3"})
            assert_program_files(self, folder)
            self.assertEqual([os.path.exists(s) for s in shortcuts], [True, False])
            h.probe("wait-window", h.APP_NAME, h.APP_NAME, int(h.TIMEOUT * 1000))
            self.assertEqual(h.poll(h.programs_running, what="the program back"), [exe])

            # Silent removal while it runs: it is closed, and only the user's data stays.
            h.remove_ini()
            self.assertEqual(run_command_line(values["QuietUninstallString"]), 0)
            self.assertIsNone(registry(KEY))
            self.assertNotIn("PrintScreenKeyForSnippingEnabled", registry(KEYBOARD))
            self.assertEqual(h.programs_running(), [])
            self.assertEqual(sorted(os.listdir(folder)), [capture])
            self.assertFalse([s for s in shortcuts if os.path.exists(s)])
            self.assertEqual(h.ini_values(h.read_ini())["Folder"], h.c_drive_path(folder))


class PortableZip(unittest.TestCase):
    def test_the_unpacked_folder_runs_as_it_is(self):
        place = tempfile.mkdtemp(prefix="grabotine-unzipped-")
        with zipfile.ZipFile(ZIP) as z:
            self.assertEqual(z.namelist(), ["Grabotine/"] + ["Grabotine/" + n for n in
                                                            PROGRAM + ["README.txt", "License.txt"]])
            z.extractall(place)
        folder = os.path.join(place, "Grabotine")
        assert_program_files(self, folder)
        with open(os.path.join(folder, "README.txt"), "rb") as f:
            readme = f.read()
        # Every line ends as Windows' own editors expect.
        self.assertNotIn(b"\n", readme.replace(b"\r\n", b""))
        with open(os.path.join(folder, "License.txt"), "rb") as f, \
                open(os.path.join(SOURCE, "LICENSE"), "rb") as source:
            self.assertEqual(f.read(), source.read().replace(b"\n", b"\r\n"))

        with h.Program(exe=os.path.join(folder, "Grabotine.exe"), cwd=folder) as app:
            app.capture(10, 40, 60, 90)
            self.assertEqual(h.clipboard_info()["dib"][:2], (50, 50))
            app.command(1)  # Exit
            self.assertEqual(app.wait_exit(), 0)


class Reproducible(unittest.TestCase):
    def test_signed_release_verifies_to_the_uninstaller_and_packs_again_to_the_same_bytes(self):
        # A password on make's command line is refused before anything runs.
        refused = subprocess.run(["make", "-C", SOURCE, "-n", "dist", "SIGN_PASS=secret"],
                                 capture_output=True, text=True)
        self.assertNotEqual(refused.returncode, 0)
        self.assertIn("SIGN_PASS on the command line", refused.stderr)
        place = tempfile.mkdtemp(prefix="grabotine-signed-")
        cert, key = os.path.join(place, "cert.pem"), os.path.join(place, "key.pem")
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                        "-subj", "/CN=Grabotine test", "-keyout", key, "-out", cert],
                       check=True, capture_output=True)
        packs = [pack(os.path.join(place, n), SIGN_CERT=cert, SIGN_KEY=key, SIGN_PASS="",
                      SIGN_TIMESTAMP="") for n in "ab"]
        names = os.listdir(packs[0])
        self.assertEqual(filecmp.cmpfiles(*packs, names, shallow=False)[0], names)
        setup = os.path.join(packs[0], os.path.basename(SETUP))
        self.assertEqual(run(setup, "/S", "/NOAUTOSTART", "/D=C:\\Signed"), 0)
        folder = os.path.join(h.PREFIX, "drive_c", "Signed")
        for path in [setup] + [os.path.join(folder, n) for n in
                               ("Grabotine.exe", "NViewLib.dll", "Uninstall.exe", "Uninstall.dat")]:
            verify = subprocess.run(["osslsigncode", "verify", "-CAfile", cert, "-in", path],
                                    capture_output=True, text=True)
            self.assertEqual(verify.returncode, 0, path + verify.stdout + verify.stderr)
        self.assertEqual(run(os.path.join(folder, "Uninstall.exe"), "/S"), 0)
        self.assertEqual((registry(KEY), os.path.exists(folder)), (None, False))

    def test_binaries_hold_no_time_or_build_path_and_packing_again_gives_the_same_bytes(self):
        for name in ("Grabotine.exe", "NViewLib.dll", "Uninstall.exe"):
            path = os.path.join(h.BUILD, name)
            self.assertEqual(set(link_time_stamps(path)), {0}, name)
            with open(path, "rb") as f:
                data = f.read()
            for folder in (SOURCE, h.BUILD):
                self.assertNotIn(os.path.realpath(folder).encode(), data, name)
        again = pack(tempfile.mkdtemp(prefix="grabotine-dist-"))
        self.assertEqual(sorted(os.listdir(again)), sorted(os.listdir(h.DIST)))
        for name in os.listdir(h.DIST):
            self.assertTrue(filecmp.cmp(os.path.join(again, name), os.path.join(h.DIST, name),
                                        shallow=False), name)

    def test_manifests_parse_name_the_published_files_and_pack_again_to_the_same_bytes(self):
        url = "https://example.org/grabotine/%s/" % VERSION
        out, again = [pack(tempfile.mkdtemp(prefix="grabotine-manifests-"), "--release-url=" + url)
                      for _ in "ab"]
        names = ["winget/" + n for n in os.listdir(os.path.join(out, "winget"))]
        self.assertEqual(filecmp.cmpfiles(out, again, names + ["scoop/grabotine.json"],
                                          shallow=False)[0], names + ["scoop/grabotine.json"])
        read = {}
        for name in names:
            with open(os.path.join(out, name), encoding="utf-8") as f:
                manifest = yaml.safe_load(f)
            read[manifest["ManifestType"]] = manifest
            self.assertEqual((manifest["PackageVersion"], manifest["ManifestVersion"][:4]),
                             (VERSION, "1.6."))
        with open(os.path.join(out, "scoop", "grabotine.json"), encoding="utf-8") as f:
            scoop = json.load(f)
        with zipfile.ZipFile(os.path.join(out, os.path.basename(ZIP))) as z:
            in_zip = z.namelist()

        def published(link, digest):  # the file named is in the release, with that SHA-256
            with open(os.path.join(out, link[len(url):]), "rb") as f:
                self.assertEqual(digest.lower(), hashlib.sha256(f.read()).hexdigest(), link)

        locale = read["defaultLocale"]
        self.assertTrue(all(isinstance(v, str) for v in locale["Tags"] + [locale[f] for f in (
            "PackageLocale", "Publisher", "PackageName", "License", "ShortDescription")]))
        self.assertIsInstance(read["version"]["DefaultLocale"], str)
        entries = {(i["InstallerType"], i.get("Scope")): i for i in read["installer"]["Installers"]}
        self.assertEqual(set(entries), {("nullsoft", "user"), ("nullsoft", "machine"), ("zip", None)})
        for entry in entries.values():
            published(entry["InstallerUrl"], entry["InstallerSha256"])
        # The key Setup writes, by which winget knows an install it did not make.
        self.assertEqual({entries[("nullsoft", s)]["ProductCode"] for s in ("user", "machine")},
                         {KEY.rsplit("\\", 1)[1]})
        self.assertEqual(entries[("nullsoft", "machine")]["InstallerSwitches"]["Custom"], "/ALLUSERS")
        for f in entries[("zip", None)]["NestedInstallerFiles"]:
            self.assertIn(f["RelativeFilePath"].replace("\\", "/"), in_zip)

        arch = scoop["architecture"]["64bit" if h.ARCH == "x64" else "32bit"]
        published(arch["url"], arch["hash"])
        self.assertIn(arch["extract_dir"] + "/" + scoop["shortcuts"][0][0], in_zip)
        self.assertEqual((scoop["version"], scoop["persist"]), (VERSION, "grabotine.ini"))
        update = scoop["autoupdate"]["architecture"]["64bit" if h.ARCH == "x64" else "32bit"]
        self.assertEqual(update["url"].replace("$version", VERSION), arch["url"])

if __name__ == "__main__":
    unittest.main()
