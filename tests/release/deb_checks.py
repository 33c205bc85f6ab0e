"""The checks of the .deb: lintian, its Depends line, and installing and
removing it (as root)."""

import os
import re
import shutil
import subprocess
import tempfile

from common import WAIT, SetupError
from programs import answers_ping
from release_files import PACKAGE, PROGRAMS, WAYLAND_PROGRAM, deb_listing, run


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
    report.check("deb: Depends names libc6, libx11-6, libxtst6, libwayland-client0 and libxkbcommon0",
                 {"libc6", "libx11-6", "libxtst6", "libwayland-client0", "libxkbcommon0"} <= depends_names(depends),
                 depends)
    computed = run(["dpkg-shlibdeps", "-O"] + sorted(elves), cwd=work)
    line = computed.stdout.decode().strip()
    report.check("deb: Depends is what dpkg-shlibdeps computes", line == f"shlibs:Depends={depends}",
                 f"dpkg-shlibdeps gives {line!r} {computed.stderr.decode(errors='replace').strip()!r}")


def package_status():
    out = run(["dpkg-query", "-W", "-f=${db:Status-Status}", PACKAGE])
    return out.stdout.decode().strip() if out.returncode == 0 else "unknown"


def refuses_without_compositor(argv, env):
    """'' when the program, with no WAYLAND_DISPLAY, prints nothing on standard
    output, one line on standard error naming the missing display, and exits
    with code 1; else what it did."""
    env = {k: v for k, v in env.items() if k != "WAYLAND_DISPLAY"}
    try:
        # PING on its input: a program that started anyway would answer it.
        done = run(argv, env=env, input=b"PING\n", timeout=WAIT)
    except (OSError, subprocess.SubprocessError) as error:
        return str(error)
    lines = done.stderr.decode(errors="replace").splitlines()
    if done.returncode != 1 or done.stdout or len(lines) != 1 or not lines[0].startswith(f"{os.path.basename(argv[0])}: ") \
            or "WAYLAND_DISPLAY" not in lines[0]:
        return f"exit code {done.returncode}, stdout {done.stdout!r}, stderr {done.stderr!r}"
    return ""


def check_installed_programs(report, display):
    # Only the system's folders, as a user's shell would search them; not the build tree.
    env = dict(os.environ, PATH="/usr/local/bin:/usr/bin:/bin")
    env.pop("DISPLAY", None)
    for program in PROGRAMS:
        found = shutil.which(program, path=env["PATH"])
        if not report.check(f"deb: {program} found on PATH at /usr/bin", found == f"/usr/bin/{program}",
                            f"found {found}"):
            continue
        if program == WAYLAND_PROGRAM:
            failure = refuses_without_compositor([program], env)
            report.check(f"deb: installed {program} without WAYLAND_DISPLAY refuses with one line and code 1",
                         not failure, failure)
            continue
        run_env = dict(env, DISPLAY=display) if program == "braskelot_x11_input" else env
        failure = answers_ping([program], run_env)
        report.check(f"deb: installed {program} prints the ready line and answers PING", not failure, failure)


def check_installed(report, release, display):
    listing = deb_listing(release.path(release.deb))
    for program in PROGRAMS:
        report.check(f"deb: holds /usr/bin/{program}", listing.get(f"/usr/bin/{program}") is False, "missing")
    for doc in ("copyright", "changelog.gz", "README.md", "docs/x11.md", "docs/wayland.md"):
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
