#!/usr/bin/python3
"""Installs the build into a temporary DESTDIR and checks every file with its own tool, then packs the same build
with cpack and checks the .deb with dpkg-deb and lintian. A missing tool fails the check.

  check_install.py BUILD_DIR WORK_DIR PREFIX APP_ID VERSION"""
import fnmatch, gzip, os, re, shutil, struct, subprocess, sys, xml.etree.ElementTree as ET
from pathlib import Path

build, work, prefix, app_id, version = sys.argv[1:6]
failures = []


def run(*command, env=None):  # status, what it printed, what it said on stderr
    done = subprocess.run(command, capture_output=True, text=True, env=env and {**os.environ, **env})
    return done.returncode, done.stdout, done.stderr


def check(ok, what):
    if not ok:
        failures.append(what)


def silent(*command):  # these tools say something only about a fault
    status, out, err = run(*command)
    check(status == 0 and not (out + err).strip(), f"{' '.join(command)}: {status}\n{out}{err}")


def desktop_entry(path):
    silent("desktop-file-validate", str(path))
    keys = dict(line.split("=", 1) for line in path.read_text().splitlines() if "=" in line and line[0] != "#")
    check(keys["Exec"].split()[0] == "quendrel" and keys["Icon"] == app_id, f"{path}: Exec or Icon")
    check("Network" in keys["Categories"].split(";"), f"{path}: not in the Network category")


def metainfo(path):
    status, out, err = run("appstreamcli", "validate", "--no-net", str(path))
    check(status == 0, f"appstreamcli validate {path}:\n{out}{err}")
    root = ET.parse(path).getroot()
    check(root.findtext("id") == app_id and root.findtext("launchable") == f"{app_id}.desktop", f"{path}: id")
    check(root.find("releases/release").get("version") == version, f"{path}: release")


def manual_page(path):
    status, out, err = run("man", "--warnings", "-l", str(path), env={"LC_ALL": "C.UTF-8", "MANROFFSEQ": "", "MANWIDTH": "80"})
    check(status == 0 and not err and "EXIT STATUS" in out and "--settings" in out, f"man -l {path}: {err}")


def png_icon(path):
    head = path.read_bytes()[:24]
    size = int(path.parent.parent.name.split("x")[0])
    check(head[:8] == b"\x89PNG\r\n\x1a\n" and struct.unpack(">II", head[16:24]) == (size, size), f"{path}: size")


def program(path):
    check(run(str(path), "--version")[:2] == (0, f"Quendrel {version}\n"), f"{path} --version")


def user_unit(path):
    execs = [line for line in path.read_text().splitlines() if line.startswith("ExecStart=")]
    check(all(line.startswith(f"ExecStart={prefix}/bin/quendrel --update") for line in execs), f"{path}: ExecStart")


# Each installed file, by its path under the prefix: its check and whether it must be there.
CHECKS = [
    ("bin/quendrel", program, True),
    (f"share/applications/{app_id}.desktop", desktop_entry, True),
    (f"share/metainfo/{app_id}.metainfo.xml", metainfo, True),
    (f"share/icons/hicolor/scalable/apps/{app_id}.svg", lambda p: check(ET.parse(p).getroot().tag.endswith("svg"), p), True),
    *[(f"share/icons/hicolor/{n}x{n}/apps/{app_id}.png", png_icon, True) for n in (16, 22, 24, 32, 48, 64, 128, 256)],
    ("share/man/man1/quendrel.1.gz", manual_page, True),
    ("lib/systemd/user/quendrel-update.service", user_unit, True),
    ("lib/systemd/user/quendrel-update.timer", user_unit, True),
    # Debian's own files, checked by lintian below.
    ("share/doc/quendrel/copyright", lambda p: None, True),
    ("share/doc/quendrel/changelog.gz", lambda p: check(gzip.open(p).readline().startswith(b"quendrel ("), p), True),
    # The help's pages and links are check_help.py's, on the copy the build wrote.
    ("share/quendrel/help/*", lambda p: check(p.stat().st_size > 0, f"{p}: empty"), False),
]

for tool in ("cmake", "cpack", "desktop-file-validate", "appstreamcli", "man", "dpkg-deb", "lintian"):
    if not shutil.which(tool):
        sys.exit(f"FAILED: {tool} not found (see tools/install-deps.sh)")
shutil.rmtree(work, ignore_errors=True)
root = Path(work, "root")
status, out, err = run("cmake", "--install", build, env={"DESTDIR": str(root)})
check(status == 0, f"cmake --install: {err}")
installed = sorted(str(p.relative_to(root)) for p in root.rglob("*") if not p.is_dir())
for name in installed:
    relative = os.path.relpath("/" + name, prefix)
    match = next((c for c in CHECKS if fnmatch.fnmatch(relative, c[0])), None)
    check(match is not None, f"/{name}: installed, but nothing checks it")
    if match:
        match[1](root / name)
for pattern, _, required in CHECKS:
    check(not required or (root / prefix.lstrip("/") / pattern).exists(), f"{pattern} not installed")

status, out, err = run("cpack", "-G", "DEB", "-B", f"{work}/deb", "--config", f"{build}/CPackConfig.cmake")
if prefix != "/usr":  # the package lives under /usr; a build for elsewhere is refused
    check(status != 0 and "-DCMAKE_INSTALL_PREFIX=/usr" in out + err, "cpack packed a build not made for /usr")
else:
    check(status == 0, f"cpack: {out}{err}")
    deb = next(Path(work, "deb").glob("quendrel_*.deb"))
    listing = [line.split() for line in run("dpkg-deb", "-c", str(deb))[1].splitlines()]
    check(all(e[1] == "root/root" and re.match(r"\./usr/", e[5]) for e in listing), "owned by root, under /usr")
    check(sorted(e[5][2:] for e in listing if e[0][0] != "d") == installed, "the package is what was installed")
    fields = run("dpkg-deb", "-f", str(deb), "Section", "Depends")[1]
    check("Section: net" in fields and "libqt6widgets6" in fields and "libcurl4" in fields, f"control: {fields}")
    said = run("lintian", "--display-info", str(deb))[1]
    print("lintian:\n" + said)
    check(not re.search(r"^E: ", said, re.M), "lintian reports errors")  # an unstripped program among them

print("\n".join(f"FAILED: {f}" for f in failures) or f"{len(installed)} installed files checked")
sys.exit(1 if failures else 0)
