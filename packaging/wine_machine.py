"""What the package tests ask of the Wine prefix they run in (WINEPREFIX):
programs run through tools/wine-run, paths, the registry in either view,
and the machine type of a library."""

import os
import re
import subprocess

HERE = os.path.dirname(os.path.abspath(__file__))
WINE_RUN = os.path.join(HERE, "..", "tools", "wine-run")


def wine(*args, check=False):
    run = subprocess.run([WINE_RUN, *args], stdin=subprocess.DEVNULL, capture_output=True,
                         text=True, errors="replace", timeout=300)
    if check and run.returncode != 0:
        raise AssertionError(f"wine {' '.join(args)}: exit {run.returncode}\n{run.stdout}{run.stderr}")
    return run


def unix_path(windows_path):
    out = wine("winepath", "-u", windows_path, check=True).stdout.strip()
    return out.splitlines()[-1]


def reg_query(key, value, view="32"):
    """(type, data) of a value in the given registry view, or None; "" is
    the key's default value."""
    run = wine("reg", "query", key, *(["/v", value] if value else ["/ve"]), f"/reg:{view}")
    if run.returncode != 0:
        return None
    name = (value or "(Default)").lower()
    for line in run.stdout.splitlines():
        m = re.match(r"^\s+(.+?)\s{4}(REG_\w+)\s{4}(.*)$", line)
        if m and m.group(1).lower() == name:
            return m.group(2), m.group(3).rstrip("\r")
        m = re.match(r"^\s+(.+?)\s{4}(REG_\w+)\s*$", line)
        if m and m.group(1).lower() == name:
            return m.group(2), ""
    return None


def reg_key_exists(key, view="32"):
    return wine("reg", "query", key, f"/reg:{view}").returncode == 0


def reg_add(key, value=None, data="", view="32"):
    args = ["reg", "add", key, "/f", f"/reg:{view}"]
    if value is not None:
        args += ["/v", value, "/d", data]
    wine(*args, check=True)


def reg_delete(key, view="32"):
    wine("reg", "delete", key, "/f", f"/reg:{view}")


def machine_of(path):
    with open(path, "rb") as f:
        head = f.read(4096)
    pe = int.from_bytes(head[0x3C:0x40], "little")
    assert head[pe:pe + 4] == b"PE\0\0", path
    return int.from_bytes(head[pe + 4:pe + 6], "little")
