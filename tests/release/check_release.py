#!/usr/bin/env python3
"""Builds the release twice and checks what a user gets.

scripts/release.sh runs in two fresh clones of the current commit, placed in
folders whose paths differ in length. Then:
  same   the two SHA256SUMS are identical, and so are the ZIP, the .exe in
         it and the .deb's control and data parts (named apart, so a
         difference says where it is);
  zip    exactly the program and the README; unpacked into an empty folder,
         the .exe runs under Wine on a private Xvfb, prints the ready line and
         answers PING; its version resource reads back the project's version,
         name and description; its time stamp is not the link time; no
         manifest sets DPI awareness;
  deb    lintian finds no error (warnings are listed); Depends is what
         dpkg-shlibdeps computes for the programs, naming the package of every
         library they need; dpkg -i installs it, the programs found on PATH
         answer PING (the X11 one on the private Xvfb) but the Wayland one,
         which without WAYLAND_DISPLAY refuses with one line and code 1;
         dpkg -r removes every file and folder the package brought;
  tar    the programs and documents, the same files as the .deb;
  wheel  installs into a fresh venv without an index; import braskelot works.

With --self-test it then breaks scratch clones in the ways BREAKAGES lists
(time stamps, missing files, a hand-written Depends), builds and checks each,
and requires the checks named there to fail.

Must run as root (dpkg -i). Exit codes: 0 all passed, 1 a check failed, 77
skipped (a tool missing or not root; with CI=true either fails instead).
"""

import argparse
import io
import os
import shutil
import subprocess
import sys
import tarfile
import tempfile
import time
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
# The modules beside this one import common from there as well.
sys.path.insert(0, os.path.join(HERE, "..", "drivers"))
from common import WAIT, Report, SetupError, WinePrefix, missing_tools, run_on_xvfb, skip_or_fail  # noqa: E402
from archive_checks import check_tar, check_wheel, check_zip  # noqa: E402
from deb_checks import check_deb  # noqa: E402
from release_files import EXE, PACKAGE, SYSTEM_PYTHON, Release, deb_part, run  # noqa: E402

TOOLS = ["git", "cmake", "ninja", "cpack", "x86_64-w64-mingw32-g++", "x86_64-w64-mingw32-windres", "zip",
         "gzip", "tar", "sha256sum", "file", "dpkg", "dpkg-deb", "dpkg-shlibdeps", "dpkg-query", "lintian",
         "readelf", "ldconfig", "wine", "wineboot", "wineserver", "Xvfb"]
BUILD_TIMEOUT = 900


# ---------------------------------------------------------------- the builds

def clone(repository, commit, folder):
    quiet = ["git", "-c", "advice.detachedHead=false"]
    subprocess.run(quiet + ["clone", "-q", "--no-hardlinks", repository, folder], check=True, timeout=WAIT * 6)
    subprocess.run(quiet + ["-C", folder, "checkout", "-q", "--detach", commit], check=True, timeout=WAIT * 6)


def clone_and_build(repository, commit, checkout, log_path, epoch=None):
    clone(repository, commit, checkout)
    env = dict(os.environ)
    env.pop("SOURCE_DATE_EPOCH", None)
    if epoch is not None:
        env["SOURCE_DATE_EPOCH"] = str(epoch)
    started = time.monotonic()
    with open(log_path, "wb") as log:
        code = subprocess.run(["bash", "scripts/release.sh"], cwd=checkout, env=env, stdin=subprocess.DEVNULL,
                              stdout=log, stderr=subprocess.STDOUT, timeout=BUILD_TIMEOUT).returncode
    print(f"note: release built in {time.monotonic() - started:.1f} s in {checkout}")
    if code != 0:
        with open(log_path, "rb") as log:
            tail = log.read()[-3000:].decode(errors="replace")
        raise SetupError(f"scripts/release.sh failed with code {code} in {checkout}:\n{tail}")
    return Release(checkout)


# ---------------------------------------------------------------- same bytes

def zip_members(data):
    with zipfile.ZipFile(io.BytesIO(data)) as z:
        return {i.filename: (i.date_time, i.CRC, i.external_attr, i.compress_type) for i in z.infolist()}


def member_differences(a, b):
    names = sorted(set(a) | set(b))
    return ", ".join(f"{n}: {a.get(n)} / {b.get(n)}" for n in names if a.get(n) != b.get(n)) or "members equal"



def tar_entries(data):
    with tarfile.open(fileobj=io.BytesIO(data)) as t:
        return {m.name: (m.mtime, m.mode, m.uid, m.gid, m.size) for m in t.getmembers()}


def check_same(report, a, b):
    sums_a, sums_b = a.read("SHA256SUMS"), b.read("SHA256SUMS")
    lines_a, lines_b = sums_a.decode().splitlines(), sums_b.decode().splitlines()
    report.check("same: SHA256SUMS identical", sums_a == sums_b,
                 "differing lines: " + "; ".join(sorted(set(lines_a) ^ set(lines_b))))
    for release in (a, b):
        verified = run(["sha256sum", "--strict", "-c", "SHA256SUMS"], cwd=release.dist)
        listed = sorted(line.split("  ", 1)[1] for line in release.read("SHA256SUMS").decode().splitlines())
        made = sorted(n for n in os.listdir(release.dist) if n != "SHA256SUMS")
        report.check(f"same: SHA256SUMS lists every artifact and matches it ({release.checkout})",
                     verified.returncode == 0 and listed == made == sorted(release.artifacts()),
                     f"listed {listed}, in dist/ {made}, expected {sorted(release.artifacts())}; "
                     + verified.stdout.decode(errors="replace").strip())
    if not all(os.path.exists(r.path(r.zip)) and os.path.exists(r.path(r.deb)) for r in (a, b)):
        report.check("same: ZIP and .deb in both builds", False, "missing")
        return
    zip_a, zip_b = a.read(a.zip), b.read(b.zip)
    report.check("same: ZIP byte-identical", zip_a == zip_b,
                 member_differences(zip_members(zip_a), zip_members(zip_b)))
    exe = []
    for data in (zip_a, zip_b):
        with zipfile.ZipFile(io.BytesIO(data)) as z:
            exe.append(z.read(EXE) if EXE in z.namelist() else None)
    report.check("same: .exe byte-identical", exe[0] is not None and exe[0] == exe[1],
                 "missing" if exe[0] is None else f"{len(exe[0])} / {len(exe[1] or b'')} bytes differ")
    for part in ("ctrl", "fsys"):
        part_a, part_b = deb_part(a.path(a.deb), part), deb_part(b.path(b.deb), part)
        report.check(f"same: .deb {'data' if part == 'fsys' else 'control'} contents byte-identical", part_a == part_b,
                     member_differences(tar_entries(part_a), tar_entries(part_b)))


# ---------------------------------------------------------------- the whole run

def check_one(report, release, scratch, wine, display):
    """Every check of a single build, groups whose artifact is missing failing at once."""
    groups = [("zip", release.zip, lambda: check_zip(report, release, scratch, wine)),
              ("deb", release.deb, lambda: check_deb(report, release, scratch, display)),
              ("tar", release.tar, lambda: check_tar(report, release))]
    if release.has_client:
        groups.append(("wheel", release.wheel, lambda: check_wheel(report, release, scratch)))
    for group, name, check in groups:
        if report.check(f"{group}: {name} made", os.path.exists(release.path(name)), "missing from dist/"):
            check()


def list_artifacts(release):
    for name in sorted(os.listdir(release.dist)):
        print(f"note: {os.path.getsize(release.path(name)):>9}  {name}")


def check_commit(report, repository, commit, base, wine, display, epoch_shift=None):
    """Both builds of one commit, in two folders under base, and every check."""
    first = clone_and_build(repository, commit, os.path.join(base, "a"), os.path.join(base, "a.log"))
    # A path of another length, so a build path that leaks into an artifact shows.
    epoch = None if epoch_shift is None else first.epoch + epoch_shift
    second = clone_and_build(repository, commit, os.path.join(base, "b", "a-longer-folder", "clone"),
                             os.path.join(base, "b.log"), epoch=epoch)
    list_artifacts(first)
    check_same(report, first, second)
    check_one(report, first, tempfile.mkdtemp(prefix="scratch-", dir=base), wine, display)


# What --self-test breaks, each on a scratch clone with the change committed
# there: (what, [(file, text, replacement; text None: a new file)],
# SOURCE_DATE_EPOCH shift of the second build, checks (name prefixes) that
# must fail).
BREAKAGES = [
    ("the second build a day earlier (SOURCE_DATE_EPOCH)", [], -86400,
     ["same: SHA256SUMS identical", "same: ZIP byte-identical", "same: .exe byte-identical",
      "same: .deb data contents byte-identical"]),
    ("the ZIP's files keep their build-time stamps", [("scripts/release.sh", 'settle "$win"\n', "")], None,
     ["same: SHA256SUMS identical", "same: ZIP byte-identical"]),
    ("the README missing from the ZIP",
     [("scripts/release.sh", 'settle "$win"\n', 'rm "$win/README.md"\nsettle "$win"\n')], None,
     ["zip: holds exactly the program and the README", "zip: README is the project's"]),
    ("the copyright file missing from the .deb",
     [("cmake/release.cmake", " ${CMAKE_SOURCE_DIR}/packaging/copyright DESTINATION", " DESTINATION")], None,
     ["deb: lintian --fail-on error passes", "deb: holds /usr/share/doc/braskelot/copyright"]),
    ("the X11 program missing from the .deb and .tar.gz",
     [("cmake/release.cmake", "braskelot_win_input braskelot_trace braskelot_x11_input braskelot_wayland_input)",
       "braskelot_win_input braskelot_trace braskelot_wayland_input)")], None,
     ["deb: holds /usr/bin/braskelot_x11_input", "deb: Depends names libc6,",
      "deb: braskelot_x11_input found on PATH", "tar: holds bin/braskelot_x11_input"]),
    ("the Wayland program missing from the .deb and .tar.gz",
     [("cmake/release.cmake", "braskelot_win_input braskelot_trace braskelot_x11_input braskelot_wayland_input)",
       "braskelot_win_input braskelot_trace braskelot_x11_input)")], None,
     ["deb: holds /usr/bin/braskelot_wayland_input", "deb: Depends names libc6,",
      "deb: braskelot_wayland_input found on PATH", "tar: holds bin/braskelot_wayland_input"]),
    ("a file kept after dpkg -r (marked as a conffile)",
     [("packaging/conffiles", None, f"/usr/share/doc/{PACKAGE}/copyright\n"),
      ("cmake/release.cmake", "set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)",
       "set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)\n"
       "    set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_SOURCE_DIR}/packaging/conffiles)")], None,
     ["deb: dpkg -r removes it", "deb: dpkg -r leaves none of its files or folders"]),
    ("a hand-written Depends line",
     [("cmake/release.cmake", "set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)",
       'set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libx11-6, libxtst6")')], None,
     ["deb: Depends is what dpkg-shlibdeps computes"]),
]


class Recorded(Report):
    """The report of a broken release: the names of the failed checks, and only those printed."""

    def __init__(self):
        super().__init__()
        self.failures = []

    def check(self, name, ok, detail=""):
        if ok:
            self.passed += 1
        else:
            self.failed += 1
            self.failures.append(name)
            print(f"  broken: FAIL {name}: {detail[:300]}")
        return ok


def break_clone(repository, commit, folder, edits):
    clone(repository, commit, folder)
    for name, text, replacement in edits:
        path = os.path.join(folder, name)
        if text is None:
            with open(path, "w") as f:
                f.write(replacement)
            continue
        with open(path) as f:
            content = f.read()
        if content.count(text) != 1:
            raise SetupError(f"{name} no longer holds {text!r} once; the breakage needs updating")
        with open(path, "w") as f:
            f.write(content.replace(text, replacement))
    if edits:
        subprocess.run(["git", "-C", folder, "add", "-A"], check=True, timeout=WAIT)
        subprocess.run(["git", "-C", folder, "-c", "user.name=self-test", "-c", "user.email=self-test@invalid",
                        "commit", "-q", "-m", "broken on purpose"], check=True, timeout=WAIT)


def self_test(report, repository, commit, base, wine, display):
    for number, (what, edits, epoch_shift, expected) in enumerate(BREAKAGES):
        print(f"note: breaking: {what}")
        folder = os.path.join(base, f"broken-{number}")
        broken = Recorded()
        try:
            break_clone(repository, commit, os.path.join(folder, "repository"), edits)
            check_commit(broken, os.path.join(folder, "repository"), "HEAD", folder, wine, display, epoch_shift)
        except (SetupError, subprocess.SubprocessError, OSError) as error:
            broken.check("environment", False, str(error))
        missed = [name for name in expected if not any(f.startswith(name) for f in broken.failures)]
        report.check(f"self-test: {what} is caught", not missed,
                     f"these did not fail: {missed}; these did: {broken.failures}")
        shutil.rmtree(folder, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--repository", default=os.path.normpath(os.path.join(HERE, "..", "..")),
                        help="the git repository to clone (default: this checkout)")
    parser.add_argument("--commit", default="HEAD")
    parser.add_argument("--self-test", action="store_true",
                        help="then break scratch copies of the release in several ways; each must be caught")
    parser.add_argument("--keep", action="store_true", help="keep the clones and builds")
    args = parser.parse_args()

    missing = missing_tools(TOOLS, [SYSTEM_PYTHON])
    if os.geteuid() != 0:
        missing.append("root privileges (for dpkg -i)")
    code = skip_or_fail(missing)
    if code is not None:
        return code

    commit = run(["git", "-C", args.repository, "rev-parse", args.commit], check=True).stdout.decode().strip()
    if run(["git", "-C", args.repository, "status", "--porcelain", "--untracked-files=no"]).stdout.strip():
        print("note: uncommitted changes are not part of this check; it builds the commit")
    print(f"note: checking the release of {commit}")

    def body(report, display):
        base = tempfile.mkdtemp(prefix="braskelot-release-")
        wine = None
        try:
            wine = WinePrefix(os.path.join(base, "wine"), display)
            check_commit(report, args.repository, commit, os.path.join(base, "release"), wine, display)
            if args.self_test:
                self_test(report, args.repository, commit, base, wine, display)
        finally:
            if wine is not None:
                wine.close()
            if args.keep:
                print(f"note: kept {base}")
            else:
                shutil.rmtree(base, ignore_errors=True)

    return run_on_xvfb("release", body)


if __name__ == "__main__":
    sys.exit(main())
