#!/usr/bin/env python3
"""Makes the release packages from a build: the portable zip, the installer and SHA256SUMS.

usage: make_dist.py BUILD_DIR VERSION OUT_DIR

The same build gives the same bytes on every run: every file carries the time of the last
commit (or SOURCE_DATE_EPOCH when set), and the zip lists its entries in a fixed order.
"""
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile
import time
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(HERE)
PROGRAM = ["Grabotine.exe", "NViewLib.dll", "grabotine.htm"]
# Zip times start in 1980.
EARLIEST = 315532800


def release_time():
    if os.environ.get("SOURCE_DATE_EPOCH"):
        return int(os.environ["SOURCE_DATE_EPOCH"])
    out = subprocess.run(["git", "-C", SOURCE, "log", "-1", "--format=%ct"],
                         capture_output=True, text=True)
    return int(out.stdout) if out.returncode == 0 and out.stdout.strip() else EARLIEST


def stage(build, folder, stamp):
    """The program's files and the README (with Windows line ends) in folder, all dated stamp."""
    for name in PROGRAM:
        shutil.copyfile(os.path.join(build, name), os.path.join(folder, name))
    with open(os.path.join(HERE, "README.txt")) as src, \
            open(os.path.join(folder, "README.txt"), "w", newline="\r\n") as dst:
        dst.write(src.read())
    for name in os.listdir(folder):
        os.utime(os.path.join(folder, name), (stamp, stamp))


def make_zip(folder, path, stamp):
    date = time.gmtime(max(stamp, EARLIEST))[:6]
    with zipfile.ZipFile(path, "w") as zf:
        entries = [("Grabotine/", None)] + [("Grabotine/" + n, n) for n in PROGRAM + ["README.txt"]]
        for arcname, name in entries:
            info = zipfile.ZipInfo(arcname, date)
            info.create_system = 0  # MS-DOS attributes, whoever packs it
            if name is None:
                info.external_attr = 0x10  # directory
                zf.writestr(info, b"")
                continue
            info.external_attr = 0x20  # archive
            info.compress_type = zipfile.ZIP_DEFLATED
            with open(os.path.join(folder, name), "rb") as f:
                zf.writestr(info, f.read(), compresslevel=9)


def sha256(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def main(build, version, out):
    stamp = release_time()
    os.makedirs(out, exist_ok=True)
    zip_name = "Grabotine-%s-win32.zip" % version
    setup_name = "Grabotine-%s-setup.exe" % version
    with tempfile.TemporaryDirectory() as folder:
        stage(build, folder, stamp)
        make_zip(folder, os.path.join(out, zip_name), stamp)
        subprocess.run(["makensis", "-V2", "-DVERSION=" + version, "-DSTAGE=" + folder,
                        "-DICON=" + os.path.join(SOURCE, "resources", "grabotine.ico"),
                        "-DOUTFILE=" + os.path.join(out, setup_name),
                        os.path.join(HERE, "grabotine.nsi")], check=True)
    with open(os.path.join(out, "SHA256SUMS"), "w") as f:
        for name in sorted([zip_name, setup_name]):
            f.write("%s  %s\n" % (sha256(os.path.join(out, name)), name))


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    main(*sys.argv[1:])
