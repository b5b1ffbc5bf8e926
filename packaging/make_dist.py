#!/usr/bin/env python3
"""Makes the release packages from the builds of each architecture: per build the portable zip
and the installer, and one SHA256SUMS over all of them.

usage: make_dist.py OUT_DIR BUILD_DIR...   (each build an x86 or x64 one)
       make_dist.py --sign FILE   (signs FILE in place; the installer compiler calls it)

The same build gives the same bytes on every run: every file carries the time of the last
commit (or SOURCE_DATE_EPOCH when set), and the zip lists its entries in a fixed order.

With SIGN_CERT (PEM certificate or chain) and SIGN_KEY (PEM private key) in the environment,
the program, its library, the uninstaller and the installer are signed with Authenticode
(SHA-256); SIGN_PASS (or the first line of the file SIGN_PASS_FILE) unlocks the key,
SIGN_TIMESTAMP names a time-stamp server. Without a
time stamp each signature says it was made at the release time, so the packages stay the same
bytes on every run.
"""
import hashlib
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(HERE)
PROGRAM = ["Grabotine.exe", "NViewLib.dll", "grabotine.htm"]
SIGNED = ["Grabotine.exe", "NViewLib.dll", "Uninstall.exe"]
# Zip times start in 1980.
EARLIEST = 315532800


def build_identity(build):
    """(version, architecture) of a build: its configured version, and x86 or x64 as the
    machine field of its program's PE header says."""
    with open(os.path.join(build, "generated", "version.h")) as f:
        version = re.search(r'GRABOTINE_VERSION "([^"]+)"', f.read()).group(1)
    with open(os.path.join(build, "Grabotine.exe"), "rb") as f:
        head = f.read(4096)
    machine, = struct.unpack_from("<H", head, struct.unpack_from("<I", head, 0x3C)[0] + 4)
    return version, {0x14C: "x86", 0x8664: "x64"}[machine]


def signing_password():
    if os.environ.get("SIGN_PASS_FILE"):
        with open(os.environ["SIGN_PASS_FILE"]) as f:
            return f.readline().rstrip("\r\n")
    return os.environ.get("SIGN_PASS")


def release_time():
    if os.environ.get("SOURCE_DATE_EPOCH"):
        return int(os.environ["SOURCE_DATE_EPOCH"])
    out = subprocess.run(["git", "-C", SOURCE, "log", "-1", "--format=%ct"],
                         capture_output=True, text=True)
    return int(out.stdout) if out.returncode == 0 and out.stdout.strip() else EARLIEST


def signing():
    """Whether the environment asks for signed files (both certificate and key, or neither)."""
    cert, key = os.environ.get("SIGN_CERT"), os.environ.get("SIGN_KEY")
    if bool(cert) != bool(key):
        sys.exit("make_dist.py: SIGN_CERT and SIGN_KEY go together")
    return bool(cert)


def sign(path, stamp):
    """Signs the Windows program at path in place with the environment's certificate and key;
    without a time-stamp server the signature is dated stamp."""
    command = ["osslsigncode", "sign", "-certs", os.environ["SIGN_CERT"],
               "-key", os.environ["SIGN_KEY"], "-h", "sha256", "-n", "Grabotine"]
    password = signing_password()
    if password:
        command += ["-readpass", "-"]  # never on a command line others can read
    if os.environ.get("SIGN_TIMESTAMP"):
        command += ["-ts", os.environ["SIGN_TIMESTAMP"]]
    else:
        command += ["-time", str(stamp)]
    signed = path + ".signed"
    result = subprocess.run(command + ["-in", path, "-out", signed], input=password or "",
                            capture_output=True, text=True)
    if result.returncode != 0:
        if os.path.exists(signed):
            os.remove(signed)
        sys.exit("make_dist.py: signing %s failed:\n%s%s" % (path, result.stdout, result.stderr))
    os.replace(signed, path)


def stage(build, folder, stamp):
    """The program's files and the README (with Windows line ends) in folder, all dated stamp."""
    for name in PROGRAM + ["Uninstall.exe"]:  # the last for the installer only
        shutil.copyfile(os.path.join(build, name), os.path.join(folder, name))
    with open(os.path.join(HERE, "README.txt")) as src, \
            open(os.path.join(folder, "README.txt"), "w", newline="\r\n") as dst:
        dst.write(src.read())
    if signing():
        for name in SIGNED:
            sign(os.path.join(folder, name), stamp)
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


def package(build, out, stamp):
    """The zip and the installer of one build in out; returns their names."""
    version, arch = build_identity(build)
    zip_name = "Grabotine-%s-%s.zip" % (version, arch)
    setup_name = "Grabotine-%s-%s-setup.exe" % (version, arch)
    with tempfile.TemporaryDirectory() as folder:
        stage(build, folder, stamp)
        make_zip(folder, os.path.join(out, zip_name), stamp)
        # The installer compiler has the uninstaller and the installer signed as it writes them.
        sign_define = ['-DSIGN="%s" "%s" --sign' % (sys.executable, os.path.abspath(__file__))]
        subprocess.run(["makensis", "-V2", "-DVERSION=" + version, "-DARCH=" + arch,
                        "-DSTAGE=" + folder,
                        "-DICON=" + os.path.join(SOURCE, "resources", "grabotine.ico"),
                        "-DOUTFILE=" + os.path.join(out, setup_name)]
                       + (sign_define if signing() else [])
                       + [os.path.join(HERE, "grabotine.nsi")], check=True)
    return [zip_name, setup_name]


def main(out, *builds):
    stamp = release_time()
    # The installer compiler takes relative names from its script's folder.
    out = os.path.abspath(out)
    # The installer compiler runs the signing command from another folder.
    for name in ("SIGN_CERT", "SIGN_KEY", "SIGN_PASS_FILE"):
        if os.environ.get(name):
            os.environ[name] = os.path.abspath(os.environ[name])
    os.makedirs(out, exist_ok=True)
    names = []
    for build in builds:
        names += package(build, out, stamp)
    with open(os.path.join(out, "SHA256SUMS"), "w") as f:
        for name in sorted(names):
            f.write("%s  %s\n" % (sha256(os.path.join(out, name)), name))


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "--sign":
        sys.exit(sign(sys.argv[2], release_time()))
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    main(*sys.argv[1:])
