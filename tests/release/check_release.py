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
         answer PING (the X11 one on the private Xvfb); dpkg -r removes every
         file and folder the package brought;
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
import re
import shutil
import signal
import struct
import subprocess
import sys
import tarfile
import tempfile
import threading
import time
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "drivers"))
from common import READY_LINE, WAIT, Piped, Report, SetupError, missing_tools, next_line, \
    skip_or_fail, start_xvfb, stop  # noqa: E402

TOOLS = ["git", "cmake", "ninja", "cpack", "x86_64-w64-mingw32-g++", "x86_64-w64-mingw32-windres", "zip",
         "gzip", "tar", "sha256sum", "file", "dpkg", "dpkg-deb", "dpkg-shlibdeps", "dpkg-query", "lintian",
         "readelf", "ldconfig", "wine", "wineboot", "wineserver", "Xvfb"]
SYSTEM_PYTHON = "/usr/bin/python3"
PACKAGE = "braskelot"
EXE = "braskelot_win_input.exe"
PROGRAMS = ["braskelot_trace", "braskelot_x11_input"]
BUILD_TIMEOUT = 900


# ---------------------------------------------------------------- the sources

class Release:
    """What the sources say the release must carry, and the files one build made."""

    def __init__(self, checkout):
        self.checkout = checkout
        self.dist = os.path.join(checkout, "dist")
        with open(os.path.join(checkout, "CMakeLists.txt")) as f:
            found = re.search(r"^project\(braskelot_win_input VERSION ([0-9.]+)", f.read(), re.M)
        if not found:
            raise SetupError("no project(... VERSION ...) in CMakeLists.txt")
        self.version = found.group(1)
        with open(os.path.join(checkout, "cmake", "release.cmake")) as f:
            found = re.search(r'^set\(BRASKELOT_SUMMARY "([^"]*)"\)', f.read(), re.M)
        if not found:
            raise SetupError("no BRASKELOT_SUMMARY in cmake/release.cmake")
        self.summary = found.group(1)
        with open(os.path.join(checkout, "README.md"), "rb") as f:
            self.readme = f.read()
        self.epoch = int(subprocess.run(["git", "-C", checkout, "log", "-1", "--format=%ct"], check=True,
                                        capture_output=True, timeout=WAIT).stdout)
        self.has_client = os.path.exists(os.path.join(checkout, "clients", "python", "pyproject.toml"))
        v = self.version
        self.zip = f"braskelot_win_input-{v}-windows-x86_64.zip"
        self.deb = f"{PACKAGE}_{v}_amd64.deb"
        self.tar_top = f"braskelot-{v}-linux-x86_64"
        self.tar = self.tar_top + ".tar.gz"
        self.wheel = f"braskelot-{v}-py3-none-any.whl"

    def artifacts(self):
        return [self.zip, self.deb, self.tar] + ([self.wheel] if self.has_client else [])

    def path(self, name):
        return os.path.join(self.dist, name)

    def read(self, name):
        with open(self.path(name), "rb") as f:
            return f.read()


def run(argv, timeout=WAIT * 6, **kwargs):
    return subprocess.run(argv, capture_output=True, timeout=timeout, **kwargs)


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


def deb_part(path, part):
    """The .deb's control or data tar, uncompressed (what dpkg-deb unpacks)."""
    return run(["dpkg-deb", f"--{part}-tarfile", path], check=True).stdout


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


# ---------------------------------------------------------------- the PE file

def pe_sections(data):
    """(COFF time stamp, [(virtual address, virtual size, raw offset, raw size)], resource RVA)."""
    if data[:2] != b"MZ":
        raise ValueError("no MZ header")
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise ValueError("no PE signature")
    _, count, stamp, _, _, optional_size, _ = struct.unpack_from("<HHIIIHH", data, pe + 4)
    optional = pe + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    directories = optional + {0x10B: 96, 0x20B: 112}[magic]
    resource_rva = struct.unpack_from("<I", data, directories + 2 * 8)[0]
    sections = []
    for i in range(count):
        _, vsize, vaddr, raw_size, raw = struct.unpack_from("<8sIIII", data, optional + optional_size + 40 * i)
        sections.append((vaddr, max(vsize, raw_size), raw, raw_size))
    return stamp, sections, resource_rva


def rva_offset(sections, rva):
    for vaddr, size, raw, _ in sections:
        if vaddr <= rva < vaddr + size:
            return raw + rva - vaddr
    raise ValueError(f"RVA 0x{rva:X} in no section")


def pe_resources(data):
    """{(type, name, language): bytes} of the resource section; ids as ints, names as str."""
    _, sections, root_rva = pe_sections(data)
    found = {}
    if root_rva == 0:
        return found
    root = rva_offset(sections, root_rva)

    def walk(offset, path):
        named, ids = struct.unpack_from("<HH", data, offset + 12)
        for i in range(named + ids):
            name, target = struct.unpack_from("<II", data, offset + 16 + 8 * i)
            if name & 0x80000000:
                at = root + (name & 0x7FFFFFFF)
                length = struct.unpack_from("<H", data, at)[0]
                name = data[at + 2:at + 2 + 2 * length].decode("utf-16-le")
            if target & 0x80000000:
                walk(root + (target & 0x7FFFFFFF), path + (name,))
            else:
                rva, size = struct.unpack_from("<II", data, root + target)
                at = rva_offset(sections, rva)
                found[path + (name,)] = data[at:at + size]

    walk(root, ())
    return found


def version_blocks(data, offset=0, end=None):
    """The VS_VERSIONINFO tree: [(key, value bytes, value is text, children)]."""
    end = len(data) if end is None else end
    blocks = []
    while offset + 6 <= end:
        length, value_length, is_text = struct.unpack_from("<HHH", data, offset)
        if length == 0:
            break
        key_end = offset + 6
        while data[key_end:key_end + 2] != b"\0\0":
            key_end += 2
        key = data[offset + 6:key_end].decode("utf-16-le")
        value_at = (key_end + 2 + 3) & ~3
        value_size = value_length * 2 if is_text else value_length
        value = data[value_at:value_at + value_size]
        children_at = (value_at + value_size + 3) & ~3
        blocks.append((key, value, bool(is_text), version_blocks(data, children_at, offset + length)))
        offset = (offset + length + 3) & ~3
    return blocks


def version_info(data):
    """(file version, product version, {string name: text}) of the first RT_VERSION resource."""
    versions = [v for k, v in sorted(pe_resources(data).items(), key=str) if k[0] == 16]
    if not versions:
        raise ValueError("no version resource")
    (key, fixed, _, children), = version_blocks(versions[0])
    if key != "VS_VERSION_INFO":
        raise ValueError(f"version resource starts with {key!r}")
    signature, _, file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<6I", fixed)
    if signature != 0xFEEF04BD:
        raise ValueError("no VS_FIXEDFILEINFO")

    def dotted(ms, ls):
        return f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}"

    strings = {}
    for child_key, _, _, tables in children:
        if child_key == "StringFileInfo":
            for _, _, _, entries in tables:
                for name, text, _, _ in entries:
                    strings[name] = text.decode("utf-16-le").split("\0", 1)[0]
    return dotted(file_ms, file_ls), dotted(product_ms, product_ls), strings


# ---------------------------------------------------------------- running programs

def answers_ping(argv, env, ready_timeout=WAIT, stderr=subprocess.PIPE):
    """'' when the program prints the ready line, answers PING with PONG and
    exits with 0 at the end of its input; else what went wrong."""
    try:
        program = Piped(argv, env, stderr=stderr)
    except OSError as error:
        return str(error)
    try:
        ready = next_line(program.lines, "ready line", timeout=ready_timeout)
        if ready != READY_LINE:
            return f"ready line {ready!r}"
        program.send("PING\n")
        pong = next_line(program.lines, "PONG")
        if pong != b"PONG\r\n":
            return f"answered PING with {pong!r}"
        code, rest, errors = program.finish()
        if code != 0 or rest:
            return f"exit code {code}, then {rest!r}, stderr {errors[-500:]!r}"
        return ""
    except SetupError as error:
        return str(error)
    finally:
        program.kill()


class Wine:
    """A private Wine prefix on the private Xvfb, booted in the background."""

    def __init__(self, base, display):
        self.env = dict(os.environ, WINEPREFIX=os.path.join(base, "wine"), WINEARCH="win64", WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=", DISPLAY=display)
        self.error = None
        self.thread = threading.Thread(target=self.boot, daemon=True)
        self.thread.start()

    def boot(self):
        try:
            started = time.monotonic()
            subprocess.run(["wineboot", "-i"], env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                           timeout=300, check=True)
            subprocess.run(["wineserver", "-w"], env=self.env, timeout=300)
            # A persistent server: the program's first start then takes no seconds.
            subprocess.run(["wineserver", "-p"], env=self.env, timeout=WAIT)
            print(f"note: Wine prefix booted in {time.monotonic() - started:.1f} s")
        except (subprocess.SubprocessError, OSError) as error:
            self.error = f"wineboot: {error}"

    def ready(self):
        self.thread.join()
        if self.error:
            raise SetupError(self.error)
        return self.env

    def close(self):
        self.thread.join()
        subprocess.run(["wineserver", "-k"], env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=WAIT)


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


# ---------------------------------------------------------------- the .deb

def deb_listing(path):
    """{path without the leading '.': is a folder} of the data part."""
    with tarfile.open(fileobj=io.BytesIO(deb_part(path, "fsys"))) as t:
        return {m.name.lstrip(".").rstrip("/") or "/": m.isdir() for m in t.getmembers()}


def elf_needed(path):
    out = run(["readelf", "-d", path], check=True).stdout.decode()
    return re.findall(r"\(NEEDED\)\s+Shared library: \[([^\]]+)\]", out)


def library_packages(libraries):
    """The Debian package of each library, found as the dynamic loader finds it."""
    cache = run(["ldconfig", "-p"], check=True).stdout.decode()
    packages = set()
    for library in libraries:
        found = re.search(rf"^\s+{re.escape(library)} \(libc6,x86-64[^)]*\) => (\S+)$", cache, re.M)
        if not found:
            raise SetupError(f"{library} is not in the loader's cache")
        owner = run(["dpkg", "-S", os.path.realpath(found.group(1))])
        if owner.returncode != 0:
            owner = run(["dpkg", "-S", found.group(1)], check=True)
        packages.add(owner.stdout.decode().split(":", 1)[0])
    return packages


def depends_names(depends):
    return {re.split(r"[\s(:]", alternative.strip(), 1)[0] for alternative in re.split(r"[,|]", depends)
            if alternative.strip()}


def check_depends(report, release, scratch):
    depends = run(["dpkg-deb", "-f", release.path(release.deb), "Depends"]).stdout.decode().strip()
    if not report.check("deb: has a Depends line", bool(depends), "no Depends"):
        return
    print(f"note: Depends: {depends}")
    # dpkg-shlibdeps wants the binaries where a package build would put them:
    # under a root holding DEBIAN/, beside debian/control.
    work = tempfile.mkdtemp(prefix="shlibdeps-", dir=scratch)
    root = os.path.join(work, "debian", PACKAGE)
    os.makedirs(os.path.join(root, "DEBIAN"))
    subprocess.run(["dpkg-deb", "-x", release.path(release.deb), root], check=True, timeout=WAIT)
    open(os.path.join(work, "debian", "control"), "w").close()
    elves = []
    for folder, _, files in os.walk(root):
        for name in files:
            with open(os.path.join(folder, name), "rb") as f:
                if f.read(4) == b"\x7fELF":
                    elves.append(os.path.relpath(os.path.join(folder, name), work))
    needed = sorted({lib for elf in elves for lib in elf_needed(os.path.join(work, elf))})
    expected = library_packages(needed)
    report.compare("deb: Depends names the package of every library the programs need",
                   sorted(expected), sorted(depends_names(depends)))
    report.check("deb: Depends names libc6, libx11-6 and libxtst6",
                 {"libc6", "libx11-6", "libxtst6"} <= depends_names(depends), depends)
    computed = run(["dpkg-shlibdeps", "-O"] + sorted(elves), cwd=work)
    line = computed.stdout.decode().strip()
    report.check("deb: Depends is what dpkg-shlibdeps computes", line == f"shlibs:Depends={depends}",
                 f"dpkg-shlibdeps gives {line!r} {computed.stderr.decode(errors='replace').strip()!r}")


def package_status():
    out = run(["dpkg-query", "-W", "-f=${db:Status-Status}", PACKAGE])
    return out.stdout.decode().strip() if out.returncode == 0 else "unknown"


def check_installed_programs(report, display):
    # Only the system's folders, as a user's shell would search them; not the build tree.
    env = dict(os.environ, PATH="/usr/local/bin:/usr/bin:/bin")
    env.pop("DISPLAY", None)
    for program in PROGRAMS:
        found = shutil.which(program, path=env["PATH"])
        if not report.check(f"deb: {program} found on PATH at /usr/bin", found == f"/usr/bin/{program}",
                            f"found {found}"):
            continue
        run_env = dict(env, DISPLAY=display) if program == "braskelot_x11_input" else env
        failure = answers_ping([program], run_env)
        report.check(f"deb: installed {program} prints the ready line and answers PING", not failure, failure)


def check_installed(report, release, display):
    listing = deb_listing(release.path(release.deb))
    for program in PROGRAMS:
        report.check(f"deb: holds /usr/bin/{program}", listing.get(f"/usr/bin/{program}") is False, "missing")
    for doc in ("copyright", "changelog.gz", "README.md"):
        report.check(f"deb: holds /usr/share/doc/{PACKAGE}/{doc}",
                     listing.get(f"/usr/share/doc/{PACKAGE}/{doc}") is False, "missing")
    status = package_status()
    if not report.check("deb: not installed before the check", status in ("unknown", "not-installed"),
                        f"{PACKAGE} is {status}; remove it first"):
        return
    present_before = {path for path in listing if os.path.lexists(path)}
    clashes = sorted(path for path in present_before if not listing[path])
    if not report.check("deb: none of its files exists before", not clashes, ", ".join(clashes)):
        return
    installed = run(["dpkg", "-i", release.path(release.deb)], timeout=WAIT * 6)
    try:
        if report.check("deb: dpkg -i installs it", installed.returncode == 0 and package_status() == "installed",
                        installed.stderr.decode(errors="replace")):
            check_installed_programs(report, display)
    finally:
        # Also after a failed install: a half-installed package must go as well.
        removed = run(["dpkg", "-r", PACKAGE], timeout=WAIT * 6)
    status = package_status()
    report.check("deb: dpkg -r removes it", removed.returncode == 0 and status in ("unknown", "not-installed"),
                 removed.stderr.decode(errors="replace") + f" status {status}")
    left = sorted(path for path in listing if path not in present_before and os.path.lexists(path))
    report.check("deb: dpkg -r leaves none of its files or folders", not left, ", ".join(left))
    if status not in ("unknown", "not-installed"):
        # Leave the system as it was, so the next check starts clean.
        run(["dpkg", "--purge", PACKAGE], timeout=WAIT * 6)


def check_deb(report, release, scratch, display):
    path = release.path(release.deb)
    lint = run(["lintian", "--fail-on", "error", path], timeout=300)
    tags = lint.stdout.decode(errors="replace").splitlines()
    for tag in tags:
        if not tag.startswith("E:"):
            print(f"note: lintian {tag}")
    report.check("deb: lintian --fail-on error passes", lint.returncode == 0,
                 "; ".join(t for t in tags if t.startswith("E:")) or lint.stderr.decode(errors="replace"))
    check_depends(report, release, scratch)
    check_installed(report, release, display)


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
     [("cmake/release.cmake", " braskelot_trace braskelot_x11_input)", " braskelot_trace)")], None,
     ["deb: holds /usr/bin/braskelot_x11_input", "deb: Depends names libc6, libx11-6 and libxtst6",
      "deb: braskelot_x11_input found on PATH", "tar: holds bin/braskelot_x11_input"]),
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

    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    started = time.monotonic()
    report = Report()
    commit = run(["git", "-C", args.repository, "rev-parse", args.commit], check=True).stdout.decode().strip()
    if run(["git", "-C", args.repository, "status", "--porcelain", "--untracked-files=no"]).stdout.strip():
        print("note: uncommitted changes are not part of this check; it builds the commit")
    print(f"note: checking the release of {commit}")
    base = tempfile.mkdtemp(prefix="braskelot-release-")
    xvfb, wine = None, None
    try:
        xvfb, display = start_xvfb()
        wine = Wine(base, display)
        check_commit(report, args.repository, commit, os.path.join(base, "release"), wine, display)
        if args.self_test:
            self_test(report, args.repository, commit, base, wine, display)
    except (SetupError, subprocess.SubprocessError, OSError) as error:
        report.check("environment", False, str(error))
    finally:
        if wine is not None:
            wine.close()
        stop(xvfb)
        if args.keep:
            print(f"note: kept {base}")
        else:
            shutil.rmtree(base, ignore_errors=True)
    print(f"note: took {time.monotonic() - started:.1f} s")
    return report.close("release")


if __name__ == "__main__":
    sys.exit(main())
