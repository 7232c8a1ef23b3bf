#!/usr/bin/env python3
"""Records what the reference tools say of the real samples under tests/data/real,
for the accuracy test (tests/instrumentation/AccuracyTest.cpp):

  smbios/references.tsv   dmidecode --from-dump of every *.dumpbin.bin: the slots
                          of the system memory arrays, and each installed
                          module's size, type, form factor, speeds, maker, part
                          number, locator and bank; each battery's design
                          capacity and chemistry.

  sysfs/references.tsv    lscpu --sysroot of every captured tree (its processors
                          and topology; a "possible" file added where the
                          capture lacks it): sockets, cores per socket, threads
                          per core, and the level 2 and 3 caches' sizes in KiB.

Run it again after adding a sample, and review the diff. Texts are trimmed, and
the tools' words for "no value" are written "-".
"""
import pathlib
import re
import subprocess
import sys
import tarfile
import tempfile

ROOT = pathlib.Path(__file__).resolve().parent.parent / "tests" / "data" / "real"
NONE = {"", "Not Specified", "Unknown", "Undefined", "None", "Not Provided", "Other"}
UNITS = {"bytes": 1, "kB": 1 << 10, "MB": 1 << 20, "GB": 1 << 30, "TB": 1 << 40}


def value(text):
    text = text.strip()
    return "-" if text in NONE else text


def size(text):
    m = re.fullmatch(r"(\d+) (bytes|kB|MB|GB|TB)", text.strip())
    return str(int(m.group(1)) * UNITS[m.group(2)]) if m else "-"


def speed(text):
    m = re.fullmatch(r"(\d+) MT/s", text.strip())
    return m.group(1) if m else "-"


def records(dump, types):
    out = subprocess.run(["dmidecode", "--from-dump", str(dump), "-t", types], check=True,
                         capture_output=True, text=True).stdout
    for block in out.split("\n\n"):
        lines = block.splitlines()
        if len(lines) < 2 or not lines[0].startswith("Handle"):
            continue
        fields = {}
        for line in lines[2:]:
            if line.startswith("\t") and not line.startswith("\t\t") and ":" in line:
                key, _, val = line.strip().partition(":")
                fields[key] = val.strip()
        yield lines[1], fields


def smbios():
    rows = []
    for dump in sorted((ROOT / "smbios").glob("*.dumpbin.bin")):
        slots = 0
        for kind, f in records(dump, "16,17,22"):
            if kind == "Physical Memory Array" and f.get("Use") == "System Memory":
                slots += int(f.get("Number Of Devices", "0"))
            elif kind == "Memory Device" and size(f.get("Size", "")) != "-":
                rows.append((dump.name, "module", " | ".join([
                    size(f["Size"]), value(f.get("Type", "")), value(f.get("Form Factor", "")),
                    speed(f.get("Speed", "")), speed(f.get("Configured Memory Speed", f.get("Configured Clock Speed", ""))),
                    value(f.get("Manufacturer", "")), value(f.get("Part Number", "")),
                    value(f.get("Locator", "")), value(f.get("Bank Locator", ""))])))
            elif kind == "Portable Battery":
                capacity = re.fullmatch(r"(\d+) mWh", f.get("Design Capacity", ""))
                chemistry = f.get("SBDS Chemistry", f.get("Chemistry", ""))
                rows.append((dump.name, "battery", " | ".join([
                    capacity.group(1) if capacity else "-", value(chemistry)])))
        rows.append((dump.name, "slots", str(slots)))
    with open(ROOT / "smbios" / "references.tsv", "w") as out:
        out.write("# file\tfact\tvalue (written by scripts/renew-references.py from dmidecode 3.4)\n")
        for row in rows:
            out.write("\t".join(row) + "\n")


def kib(text):
    m = re.match(r"([\d.]+) (KiB|MiB|GiB)", text.strip())
    if not m:
        return "-"
    return str(round(float(m.group(1)) * {"KiB": 1, "MiB": 1024, "GiB": 1 << 20}[m.group(2)]))


def cpus():
    rows = []
    for archive in sorted((ROOT / "sysfs").glob("*.tar.*")):
        with tempfile.TemporaryDirectory() as tmp:
            with tarfile.open(archive) as tar:
                tar.extractall(tmp, members=[m for m in tar.getmembers()
                                             if "/proc/cpuinfo" in "/" + m.name or "sys/devices/system/cpu" in m.name])
            root = next(pathlib.Path(tmp).rglob("cpuinfo")).parent.parent
            cpu = root / "sys" / "devices" / "system" / "cpu"
            if not (cpu / "possible").exists():
                (cpu / "possible").write_text("0-%d\n" % (len(list(cpu.glob("cpu[0-9]*"))) - 1))
            out = subprocess.run(["lscpu", "--sysroot", str(root)], check=True, capture_output=True,
                                 text=True).stdout
            f = dict((k.strip(), v.strip()) for k, _, v in (line.partition(":") for line in out.splitlines()))
            rows.append((archive.name, f.get("Socket(s)", "-"), f.get("Core(s) per socket", "-"),
                         f.get("Thread(s) per core", "-"), kib(f.get("L2 cache", "")), kib(f.get("L3 cache", ""))))
    with open(ROOT / "sysfs" / "references.tsv", "w") as out:
        out.write("# archive\tsockets\tcores per socket\tthreads per core\tL2 KiB\tL3 KiB"
                  " (written by scripts/renew-references.py from lscpu 2.38.1)\n")
        for row in rows:
            out.write("\t".join(row) + "\n")


if __name__ == "__main__":
    smbios()
    cpus()
    sys.exit(0)
