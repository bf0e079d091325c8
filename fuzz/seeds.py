#!/usr/bin/env python3
"""Writes the seed corpus of every fuzz target into OUT/<target>/ from tests/data: the
TI-92 files, the captures of a real TI-92 (each side fed to the target that plays the
other), and a few texts, settings and LINK strings."""
import pathlib
import re
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
DATA = ROOT / "tests" / "data"
CARRIES = {0x06, 0x15, 0x36, 0xA2, 0xC9}


def capture(name):
    """The packets of a capture log: (from the calculator, bytes)."""
    allbytes = []
    for line in (DATA / "captures" / name).read_text(errors="replace").splitlines():
        allbytes += [int(t, 16) for t in line.split("|")[0].split() if re.fullmatch(r"[0-9A-Fa-f]{2}", t)]
    packets, i = [], 0
    while i + 4 <= len(allbytes):
        n = 4 + (allbytes[i + 2] + 256 * allbytes[i + 3] + 2 if allbytes[i + 1] in CARRIES else 0)
        packets.append((allbytes[i] == 0x89, bytes(allbytes[i:i + n])))
        i += n
    return packets


def side(name, fromcalc, framed=False):
    """One side's bytes; framed drops the checksums, which the target then works out."""
    out = b""
    for calc, p in capture(name):
        if calc == fromcalc:
            out += p[:-2] if framed and p[1] in CARRIES else p
    return out


def main(out):
    out = pathlib.Path(out)
    seeds = {t: {} for t in ("fuzz_tifile", "fuzz_rtf", "fuzz_text", "fuzz_settings", "fuzz_link",
                             "fuzz_packets", "fuzz_vcalc")}
    tifiles = [p for d in ("samples", "captures") for p in (DATA / d).iterdir() if re.search(r"\.92.$", p.name, re.I)]
    for p in tifiles:
        seeds["fuzz_tifile"][p.name] = p.read_bytes()[:16384]
        seeds["fuzz_text"][p.name] = p.read_bytes()[:16384]
    seeds["fuzz_text"].update({
        "utf8.txt": "Grüße, π ≈ 3.14\nzweite Zeile\r\n".encode(),
        "latin1.txt": "caf\xe9 \x80\x9f\r".encode("latin-1"),
        "utf16.txt": "\ufeffline one\nline two".encode("utf-16-le"),
    })
    seeds["fuzz_rtf"].update({
        "plain.rtf": rb"{\rtf1\ansi\deff0{\fonttbl{\f0 Arial;}}\f0 Hello \b bold\b0  \i it\i0\par \u960?\'e9 end}",
        "nested.rtf": rb"{\rtf1{\*\generator x;}{\colortbl;\red0\green0\blue0;}\ul under\ulnone\line{\pict 0102}\tab x}",
    })
    seeds["fuzz_settings"]["tessaly.ini"] = (
        b"[Last]\nDirectory=/home/u/ti\nDrive=/\nActivePage=Receive\n[Settings]\nX_Pos=10\nY_Pos=20\n"
        b"Width=600\nHeight=400\nColWidth=90\nShow_Desc=1\nPortAdress=1\nEXE-file=/opt/t\n; note\n"
        b"[Cable]\nKind=grey\nSerial-device=/dev/ttyUSB0\nPacing=0\n")
    for i, link in enumerate(["virtual", "virtual:/tmp/calc.92g", "socket:/run/t.sock", "ppdev:/dev/parport0",
                              "direct:0x378", "black:/dev/ttyS0", "grey:/dev/ttyUSB0", "silver", "silver:1:5"]):
        seeds["fuzz_link"][f"link{i}"] = link.encode()
    seeds["fuzz_link"]["machine"] = b"black:/dev/ttyS1\0\x02\x01\x05\x02\x03\x7f\x00\x01parport0\nttyS1\nttyUSB3\nttyACM0"

    # The computer's exchanges: the selector, how the bytes come, the model, the calculator's bytes.
    exchanges = {0: ["recv_vars.log"], 2: ["dirlist.log"], 3: ["recv_var_x.log", "recv_vars.log"],
                 4: ["recv_vars.log"], 5: ["recv_backup.log"], 9: ["get_version.log"],
                 10: ["send_var_y.log", "send_vars.log"], 11: ["send_backup.log"]}
    ack = bytes([0x89, 0x56, 0, 0])
    seeds["fuzz_packets"]["ready"] = bytes([1, 7, 0]) + ack
    seeds["fuzz_packets"]["keys"] = bytes([8, 7, 0]) + ack * 3
    screen = bytes([0x89, 0x56, 0, 0, 0x89, 0x15, 0x00, 0x0F]) + bytes(range(256)) * 15
    seeds["fuzz_packets"]["screen"] = bytes([6, 0x87, 0]) + screen
    seeds["fuzz_packets"]["fcamera"] = bytes([7, 0x3F, 0, 0x46, 0, 0, 0, 1]) + bytes(3840)
    for which, logs in exchanges.items():
        for log in logs:
            seeds["fuzz_packets"][f"{which}-{log}"] = bytes([which, 0x07, 0]) + side(log, True)[:16384]
            seeds["fuzz_packets"][f"{which}-framed-{log}"] = bytes([which, 0x87, 0]) + side(log, True, True)[:16384]
    # The same calculators on a line-level cable.
    seeds["fuzz_packets"]["ready-lines"] = bytes([1, 0x40, 0]) + ack
    for which, log in ((2, "dirlist.log"), (3, "recv_var_x.log"), (10, "send_var_y.log")):
        seeds["fuzz_packets"][f"{which}-lines-{log}"] = bytes([which, 0x40, 0]) + side(log, True)
    for log in sorted(p.name for p in (DATA / "captures").glob("*.log")):
        seeds["fuzz_vcalc"][log] = bytes([0x01]) + side(log, False)[:16384]
        seeds["fuzz_vcalc"]["framed-" + log] = bytes([0x85]) + side(log, False, True)[:16384]

    for target, files in seeds.items():
        folder = out / target
        folder.mkdir(parents=True, exist_ok=True)
        for name, content in files.items():
            (folder / name).write_bytes(content)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "build-fuzz/corpus")
