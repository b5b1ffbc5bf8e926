#!/usr/bin/env python3
"""Makes the release packages from the builds of each architecture: per build the portable zip
and the installer, and one SHA256SUMS over all of them.

usage: make_dist.py [--release-url=URL] OUT_DIR BUILD_DIR...   (each build an x86 or x64 one)
       make_dist.py --sign FILE   (signs FILE in place; the installer compiler calls it)

With --release-url (the https folder the release's files will be published in) it also writes
the package managers' manifests for those files: winget's in OUT_DIR/winget, Scoop's in
OUT_DIR/scoop. Publisher, license, description, tags and release notes come from metadata.json.

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
import json
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
# Texts that go out with Windows line ends: (source, name in the package).
TEXTS = [(os.path.join(HERE, "README.txt"), "README.txt"),
         (os.path.join(SOURCE, "LICENSE"), "License.txt")]
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
    """The program's files, the README and the license (with Windows line ends) in folder, all
    dated stamp."""
    for name in PROGRAM + ["Uninstall.exe"]:  # the last for the installer only
        shutil.copyfile(os.path.join(build, name), os.path.join(folder, name))
    for source, name in TEXTS:
        with open(source) as src, open(os.path.join(folder, name), "w", newline="\r\n") as dst:
            dst.write(src.read())
    if signing():
        for name in SIGNED:
            sign(os.path.join(folder, name), stamp)
    for name in os.listdir(folder):
        os.utime(os.path.join(folder, name), (stamp, stamp))


def make_zip(folder, path, stamp):
    date = time.gmtime(max(stamp, EARLIEST))[:6]
    with zipfile.ZipFile(path, "w") as zf:
        entries = [("Grabotine/", None)] + [("Grabotine/" + n, n) for n in
                                            PROGRAM + [name for _, name in TEXTS]]
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


def metadata():
    with open(os.path.join(HERE, "metadata.json"), encoding="utf-8") as f:
        return json.load(f)


def package(build, out, stamp):
    """The zip and the installer of one build in out; returns (version, architecture, zip's
    name, installer's name)."""
    version, arch = build_identity(build)
    zip_name = "Grabotine-%s-%s.zip" % (version, arch)
    setup_name = "Grabotine-%s-%s-setup.exe" % (version, arch)
    with tempfile.TemporaryDirectory() as folder:
        stage(build, folder, stamp)
        make_zip(folder, os.path.join(out, zip_name), stamp)
        # The installer compiler has the uninstaller and the installer signed as it writes them.
        sign_define = ['-DSIGN="%s" "%s" --sign' % (sys.executable, os.path.abspath(__file__))]
        subprocess.run(["makensis", "-V2", "-DVERSION=" + version, "-DARCH=" + arch,
                        "-DSTAGE=" + folder, "-DPUBLISHER=" + metadata()["publisher"],
                        "-DICON=" + os.path.join(SOURCE, "resources", "grabotine.ico"),
                        "-DOUTFILE=" + os.path.join(out, setup_name)]
                       + (sign_define if signing() else [])
                       + [os.path.join(HERE, "grabotine.nsi")], check=True)
    return version, arch, zip_name, setup_name


def yaml_text(fields, indent=""):
    """fields (a dict, in its order) as YAML: strings written as JSON strings, which YAML reads
    back as they are (a version stays text, "no" stays a word); dicts as nested mappings, lists
    as block sequences."""
    lines = []
    for key, value in fields.items():
        if isinstance(value, dict):
            lines += ["%s%s:" % (indent, key), yaml_text(value, indent + "  ").rstrip("\n")]
        elif isinstance(value, list):
            lines.append("%s%s:" % (indent, key))
            for item in value:
                if isinstance(item, dict):
                    text = yaml_text(item, indent + "  ").rstrip("\n")
                    lines.append(indent + "- " + text[len(indent) + 2:])
                else:
                    lines.append("%s- %s" % (indent, json.dumps(item, ensure_ascii=False)))
        else:
            lines.append("%s%s: %s" % (indent, key, json.dumps(value, ensure_ascii=False)))
    return "\n".join(lines) + "\n"


# winget's manifest schema, and the name of the uninstall key that Setup writes, by which
# winget recognises an install it did not make.
MANIFEST_VERSION = "1.6.0"
UNINSTALL_KEY = "Grabotine"
SCOOP_ARCH = {"x64": "64bit", "x86": "32bit"}


def winget_manifests(out, url, version, packages, about):
    """The version, default-locale and installer manifests of winget in out/winget."""
    ident = about["identifier"]
    head = {"PackageIdentifier": ident, "PackageVersion": version}
    installers = []
    for arch, zip_name, setup_name in packages:
        setup = {"Architecture": arch, "InstallerType": "nullsoft",
                 "InstallerUrl": url + setup_name,
                 "InstallerSha256": sha256(os.path.join(out, setup_name)).upper(),
                 "ProductCode": UNINSTALL_KEY}
        installers.append(dict(setup, Scope="user"))
        # Setup for all users asks for an administrator's rights and refuses without them.
        installers.append(dict(setup, Scope="machine", ElevationRequirement="elevationRequired",
                               InstallerSwitches={"Custom": "/ALLUSERS"}))
        installers.append({"Architecture": arch, "InstallerType": "zip",
                           "NestedInstallerType": "portable",
                           "NestedInstallerFiles": [{"RelativeFilePath": "Grabotine\\Grabotine.exe",
                                                     "PortableCommandAlias": "grabotine"}],
                           "InstallerUrl": url + zip_name,
                           "InstallerSha256": sha256(os.path.join(out, zip_name)).upper()})
    manifests = [
        (ident + ".yaml", "version", dict(head, DefaultLocale="en-US")),
        (ident + ".locale.en-US.yaml", "defaultLocale", dict(
            head, PackageLocale="en-US", Publisher=about["publisher"], PackageName=about["name"],
            License=about["license"], ShortDescription=about["short_description"],
            Tags=about["tags"], ReleaseNotes=about["release_notes"][version])),
        (ident + ".installer.yaml", "installer",
         dict(head, UpgradeBehavior="install", Installers=installers)),
    ]
    folder = os.path.join(out, "winget")
    os.makedirs(folder, exist_ok=True)
    for name, kind, fields in manifests:
        fields = dict(fields, ManifestType=kind, ManifestVersion=MANIFEST_VERSION)
        with open(os.path.join(folder, name), "w", encoding="utf-8", newline="\n") as f:
            f.write("# yaml-language-server: $schema=https://aka.ms/winget-manifest.%s.%s.schema.json\n"
                    % (kind, MANIFEST_VERSION) + yaml_text(fields))


def scoop_manifest(out, url, version, packages, about):
    """Scoop's manifest for the zips in out/scoop. The settings file beside the program turns
    the portable mode on, so Scoop keeps it across updates; a URL that names the version gets
    $version in the updates and its parent folder to look for newer ones in."""
    parent = url
    if "/%s/" % version in url:
        parent = url[:url.rindex("/%s/" % version) + 1]
    pattern = url.replace(version, "$version")
    architecture, autoupdate = {}, {}
    for arch, zip_name, _ in packages:
        architecture[SCOOP_ARCH[arch]] = {"url": url + zip_name,
                                          "hash": sha256(os.path.join(out, zip_name)),
                                          "extract_dir": "Grabotine"}
        autoupdate[SCOOP_ARCH[arch]] = {"url": pattern + zip_name.replace(version, "$version")}
    manifest = {
        "version": version,
        "description": about["short_description"],
        "license": about["license"],
        "architecture": architecture,
        "pre_install": "if (!(Test-Path \"$persist_dir\\grabotine.ini\")) "
                       "{ New-Item \"$dir\\grabotine.ini\" | Out-Null }",
        "shortcuts": [["Grabotine.exe", "Grabotine"]],
        "persist": "grabotine.ini",
        "checkver": {"url": parent, "regex": "Grabotine-([\\d.]+)-x(?:64|86)\\.zip"},
        "autoupdate": {"architecture": autoupdate,
                       "hash": {"url": "$baseurl/SHA256SUMS", "regex": "$sha256\\s+$basename"}},
    }
    folder = os.path.join(out, "scoop")
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "grabotine.json"), "w", encoding="utf-8", newline="\n") as f:
        f.write(json.dumps(manifest, indent=4, ensure_ascii=False) + "\n")


def main(out, *builds, release_url=None):
    stamp = release_time()
    # The installer compiler takes relative names from its script's folder.
    out = os.path.abspath(out)
    # The installer compiler runs the signing command from another folder.
    for name in ("SIGN_CERT", "SIGN_KEY", "SIGN_PASS_FILE"):
        if os.environ.get(name):
            os.environ[name] = os.path.abspath(os.environ[name])
    about = metadata()
    version = build_identity(builds[0])[0]
    if release_url and version not in about["release_notes"]:
        sys.exit("make_dist.py: packaging/metadata.json has no release notes for " + version)
    os.makedirs(out, exist_ok=True)
    packages = []
    for build in builds:
        version, arch, zip_name, setup_name = package(build, out, stamp)
        packages.append((arch, zip_name, setup_name))
    with open(os.path.join(out, "SHA256SUMS"), "w") as f:
        for name in sorted(n for p in packages for n in p[1:]):
            f.write("%s  %s\n" % (sha256(os.path.join(out, name)), name))
    if not release_url:
        print("make_dist.py: no RELEASE_URL given, so no winget or Scoop manifests")
        return
    packages.sort()
    winget_manifests(out, release_url, version, packages, about)
    scoop_manifest(out, release_url, version, packages, about)


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "--sign":
        sys.exit(sign(sys.argv[2], release_time()))
    args = sys.argv[1:]
    url = None
    if args and args[0].startswith("--release-url="):
        url = args.pop(0)[len("--release-url="):]
        # Package managers fetch over https only; the files are named relative to the folder.
        if not url.startswith("https://"):
            sys.exit("make_dist.py: RELEASE_URL must be an https:// address")
        url = url if url.endswith("/") else url + "/"
    if len(args) < 2:
        sys.exit(__doc__)
    main(*args, release_url=url)
