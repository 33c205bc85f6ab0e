"""The checks of the ZIP (its .exe under Wine and its version resource), the
.tar.gz and the wheel."""

import io
import os
import struct
import subprocess
import tarfile
import tempfile
import zipfile

from pe_version import pe_resources, pe_sections, version_info
from programs import answers_ping
from release_files import EXE, PROGRAMS, SYSTEM_PYTHON, deb_listing, run


# ---------------------------------------------------------------- the ZIP

def check_zip(report, release, scratch, wine):
    data = release.read(release.zip)
    with zipfile.ZipFile(io.BytesIO(data)) as z:
        names = z.namelist()
        report.check("zip: holds exactly the program and the README", sorted(names) == sorted([EXE, "README.md"]),
                     f"holds {names}")
        folder = tempfile.mkdtemp(prefix="unpacked-", dir=scratch)
        z.extractall(folder)
    readme = os.path.join(folder, "README.md")
    unpacked = None
    if os.path.exists(readme):
        with open(readme, "rb") as f:
            unpacked = f.read()
    report.check("zip: README is the project's", unpacked == release.readme, "missing or different")
    exe_path = os.path.join(folder, EXE)
    if not report.check("zip: has the .exe", os.path.exists(exe_path), "missing"):
        return
    with open(exe_path, "rb") as f:
        exe = f.read()

    # Not a pipe: the Wine services the first start spawns keep standard error open.
    failure = answers_ping(["wine", exe_path], wine.ready(), ready_timeout=90, stderr=subprocess.DEVNULL)
    report.check("zip: .exe under Wine prints the ready line and answers PING", not failure, failure)

    try:
        stamp, _, _ = pe_sections(exe)
        file_version, product_version, strings = version_info(exe)
        manifests = [v for k, v in pe_resources(exe).items() if k[0] == 24]
    except (ValueError, KeyError, struct.error) as error:
        report.check("zip: .exe version resource readable", False, str(error))
        return
    # The linker writes 0 or, when set, SOURCE_DATE_EPOCH: never the time of the link.
    report.check("zip: .exe time stamp is not the link time", stamp in (0, release.epoch),
                 f"COFF time stamp {stamp}, the commit's time {release.epoch}")
    report.check("zip: .exe declares no DPI awareness in a manifest",
                 not any(b"dpiaware" in m.lower() for m in manifests), "a manifest names dpiAware")
    four = release.version + ".0" * (3 - release.version.count("."))
    expected = {"FileVersion": release.version, "ProductVersion": release.version,
                "ProductName": "braskelot_win_input", "FileDescription": release.summary}
    report.compare("zip: version resource, fixed file and product version", [four, four],
                   [file_version, product_version])
    report.compare("zip: version resource strings", sorted(expected.items()),
                   sorted((k, strings.get(k)) for k in expected))


# ---------------------------------------------------------------- the .tar.gz and the wheel

def check_tar(report, release):
    with tarfile.open(release.path(release.tar)) as t:
        members = {m.name.rstrip("/"): m for m in t.getmembers()}
    outside = sorted(n for n in members if n != release.tar_top and not n.startswith(release.tar_top + "/"))
    report.check(f"tar: every entry under {release.tar_top}/", not outside, ", ".join(outside))
    files = {n[len(release.tar_top):]: m for n, m in members.items() if m.isfile()}
    for program in PROGRAMS:
        member = files.get(f"/bin/{program}")
        report.check(f"tar: holds bin/{program}, executable", member is not None and member.mode & 0o111 == 0o111,
                     "missing" if member is None else f"mode {member.mode:o}")
    deb_files = sorted(p[len("/usr"):] for p, folder in deb_listing(release.path(release.deb)).items()
                       if not folder)
    report.compare("tar: the same files as the .deb", deb_files, sorted(files))


def check_wheel(report, release, scratch):
    venv = os.path.join(scratch, "venv")
    made = run([SYSTEM_PYTHON, "-m", "venv", "--system-site-packages", venv], timeout=120)
    if not report.check("wheel: a fresh venv", made.returncode == 0, made.stderr.decode(errors="replace")):
        return
    python = os.path.join(venv, "bin", "python")
    installed = run([python, "-m", "pip", "install", "-q", "--no-index", "--no-deps", release.path(release.wheel)],
                    timeout=120)
    if not report.check("wheel: pip install --no-index installs it", installed.returncode == 0,
                        installed.stderr.decode(errors="replace")):
        return
    probe = "import braskelot, importlib.metadata as m; print(braskelot.__file__); print(m.version('braskelot'))"
    imported = run([python, "-c", probe], cwd=scratch)
    lines = imported.stdout.decode().split()
    report.check("wheel: import braskelot works, from the venv, at the project's version",
                 imported.returncode == 0 and len(lines) == 2 and lines[0].startswith(venv + "/")
                 and lines[1] == release.version,
                 f"{imported.stdout.decode()} {imported.stderr.decode(errors='replace')[-500:]}")

