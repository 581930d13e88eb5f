#!/usr/bin/python3
"""The suites that run inside the test bed's guest, as root, through the real
stack: our USB device (usbdev) on dummy_hcd, usb-storage, sd/sg, SG_IO, and
for the DLL suites wine's SCSI pass-through.

    guest_suites.py CONFIG.json

Writes one line per check to OUT/results.txt ("PASS suite: name" or
"FAIL suite: name: detail"), observations to OUT/figures.txt, and copies the
devices' logs to OUT/."""

import ctypes
import datetime
import fcntl
import glob
import json
import os
import shutil
import subprocess
import sys
import time

import guest_cli

CONFIG = json.load(open(sys.argv[1]))
OUT = CONFIG["out"]
RESULTS = open(os.path.join(OUT, "results.txt"), "a")
FIGURES = open(os.path.join(OUT, "figures.txt"), "a")
SKIPPED = open(os.path.join(OUT, "skipped.txt"), "a")


def check(suite, name, ok, detail=""):
    line = ("PASS" if ok else "FAIL") + " %s: %s" % (suite, name)
    if not ok and detail:
        line += ": " + str(detail)
    RESULTS.write(line + "\n")
    RESULTS.flush()
    return ok


def figure(text):
    FIGURES.write(text + "\n")
    FIGURES.flush()


# ---------------------------------------------------------------- the device


class Device:
    """One usbdev process bound to dummy_udc.<index>."""

    def __init__(self, index, variant=1, extra=()):
        self.index = index
        self.name = "korvane%d" % index
        self.serial = "KV%010d" % index
        self.dir = "/run/usbdev/" + self.name
        os.makedirs("/run/usbdev", exist_ok=True)
        self.stderr = open(os.path.join(OUT, self.name + ".stderr"), "w")
        started = time.monotonic()
        self.proc = subprocess.Popen(
            [CONFIG["usbdev"], "--name", self.name, "--udc", "dummy_udc.%d" % index, "--dir", self.dir,
             "--variant", str(variant), "--serial", self.serial] + list(extra),
            stdout=self.stderr, stderr=self.stderr)
        self.ready = wait_for(lambda: os.path.exists(self.dir + "/ready"), 10)
        self.disk = self.wait_block(20) if self.ready else None
        self.attach_s = time.monotonic() - started

    def usb_dir(self):
        for d in glob.glob("/sys/bus/usb/devices/*"):
            try:
                if open(d + "/serial").read().strip() == self.serial:
                    return d
            except OSError:
                pass
        return None

    def find(self, kind):
        d = self.usb_dir()
        if d is None:
            return None
        found = glob.glob("%s/%s:1.0/host*/target*/*:*/%s/*" % (d, os.path.basename(d), kind))
        return "/dev/" + os.path.basename(found[0]) if found else None

    def wait_block(self, timeout):
        found = []
        wait_for(lambda: found.append(self.find("block")) or found[-1] and os.path.exists(found[-1]), timeout)
        return found[-1] if found else None

    def generic(self):
        return self.find("scsi_generic")

    def ctl(self, line, timeout=5):
        mark = len(self.log())
        with open(self.dir + "/ctl", "w") as f:
            f.write(line + "\n")
        answer = "ctl " + line + ": "

        def answered():
            return [l for l in self.log()[mark:] if l.split(" ", 1)[-1].startswith(answer)]

        wait_for(lambda: answered(), timeout)
        got = answered()
        return bool(got) and got[0].endswith(": ok")

    def state(self):
        out = {}
        for line in open(self.dir + "/state"):
            k, _, v = line.rstrip("\n").partition("=")
            out[k] = v
        return out

    def log(self):
        try:
            return open(self.dir + "/log").read().splitlines()
        except OSError:
            return []

    def cycles(self, since):
        """The command cycles logged after line `since`, as dicts of their words."""
        out = []
        for line in self.log()[since:]:
            words = dict(w.split("=", 1) for w in line.split(" ") if "=" in w)
            if "cdb" in words:
                out.append(words)
        return out

    def stop(self):
        self.proc.terminate()
        try:
            self.proc.wait(10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
        if os.path.exists(self.dir + "/log"):
            shutil.copy(self.dir + "/log", os.path.join(OUT, self.name + ".log"))


def wait_for(predicate, timeout, step=0.05):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if predicate():
            return True
        time.sleep(step)
    return bool(predicate())


# ------------------------------------------------------------------- SG_IO


class SgIoHdr(ctypes.Structure):
    _fields_ = [("interface_id", ctypes.c_int), ("dxfer_direction", ctypes.c_int),
                ("cmd_len", ctypes.c_ubyte), ("mx_sb_len", ctypes.c_ubyte), ("iovec_count", ctypes.c_ushort),
                ("dxfer_len", ctypes.c_uint), ("dxferp", ctypes.c_void_p), ("cmdp", ctypes.c_void_p),
                ("sbp", ctypes.c_void_p), ("timeout", ctypes.c_uint), ("flags", ctypes.c_uint),
                ("pack_id", ctypes.c_int), ("usr_ptr", ctypes.c_void_p), ("status", ctypes.c_ubyte),
                ("masked_status", ctypes.c_ubyte), ("msg_status", ctypes.c_ubyte), ("sb_len_wr", ctypes.c_ubyte),
                ("host_status", ctypes.c_ushort), ("driver_status", ctypes.c_ushort), ("resid", ctypes.c_int),
                ("duration", ctypes.c_uint), ("info", ctypes.c_uint)]


SG_IO = 0x2285


def sg_io(path, cdb, data_in=0, data_out=b"", timeout_ms=2000, fd=None, header=None):
    """Sends one command block on `path` (or the open `fd`); returns
    (status, data, sense, resid). `header` receives the whole sg_io_hdr."""
    cdb_buf = ctypes.create_string_buffer(bytes(cdb), len(cdb))
    sense = ctypes.create_string_buffer(32)
    h = SgIoHdr()
    h.interface_id = ord("S")
    h.cmd_len = len(cdb)
    h.cmdp = ctypes.addressof(cdb_buf)
    h.mx_sb_len = 32
    h.sbp = ctypes.addressof(sense)
    h.timeout = timeout_ms
    if data_in:
        buf = ctypes.create_string_buffer(data_in)
        h.dxfer_direction = -3
    elif data_out:
        buf = ctypes.create_string_buffer(bytes(data_out), len(data_out))
        h.dxfer_direction = -2
    else:
        buf = None
        h.dxfer_direction = -1
    if buf is not None:
        h.dxferp = ctypes.addressof(buf)
        h.dxfer_len = len(buf)
    own = fd is None
    if own:
        fd = os.open(path, os.O_RDWR | os.O_NONBLOCK)
    try:
        fcntl.ioctl(fd, SG_IO, h)
    finally:
        if own:
            os.close(fd)
    if header is not None:
        header.append(h)
    data = buf.raw[: len(buf) - h.resid] if data_in else b""
    return h.status, data, sense.raw[: h.sb_len_wr], h.resid


# ------------------------------------------------------ the kernel's view


def suite_kernel(devs):
    s = "kernel"
    d0, d1 = devs
    for d in devs:
        check(s, "%s attached as a disk" % d.name, d.disk is not None, "no block device")
    if d0.disk is None:
        return
    figure("attach: %s %.2f s, %s %.2f s from start of usbdev to its /dev/sdX" %
           (d0.name, d0.attach_s, d1.name, d1.attach_s))
    block = os.path.basename(d0.disk)
    sysfs = "/sys/block/" + block
    check(s, "removable disk", open(sysfs + "/removable").read().strip() == "1")
    check(s, "capacity of the FAT image", open(sysfs + "/size").read().strip() == "8192",
          open(sysfs + "/size").read().strip())
    vendor = open(sysfs + "/device/vendor").read().strip()
    model = open(sysfs + "/device/model").read().strip()
    check(s, "INQUIRY vendor and model", (vendor, model) == ("KORVANE", "Recorder Disk"), (vendor, model))
    ops = sorted({c["cdb"][:2] for c in d0.cycles(0)})
    figure("commands the kernel sent at attach (opcodes): " + " ".join(ops))
    failed = [c for c in d0.cycles(0) if c["status"] != "0" and c["cdb"][:2] not in ("00",)]
    check(s, "the kernel's probe needs nothing the device refuses", not failed, failed[:3])

    # The FAT volume through sd: mount, write, read back after a remount.
    mnt = "/tmp/kv-mnt"
    os.makedirs(mnt, exist_ok=True)
    payload = os.urandom(200000)
    ok = subprocess.call(["mount", "-t", "vfat", d0.disk, mnt]) == 0
    if check(s, "the FAT volume mounts", ok):
        open(mnt + "/data.bin", "wb").write(payload)
        subprocess.call(["umount", mnt])
        subprocess.call(["mount", "-t", "vfat", d0.disk, mnt])
        back = open(mnt + "/data.bin", "rb").read()
        subprocess.call(["umount", mnt])
        check(s, "a file written reads back after a remount", back == payload)
        writes = [c for c in d0.cycles(0) if c["cdb"].startswith("2a")]
        check(s, "the writes went out as WRITE(10)", len(writes) > 0)

    # Vendor blocks with SG_IO: they arrive as sent.
    for d, want in ((d0, b"\xaa\x55" + bytes(14)), (d1, bytes(9) + b"AIT" + bytes(4))):
        mark = len(d.log())
        status, data, sense, _ = sg_io(d.disk, b"\xfa\x55\x66\x01" + bytes(12), data_in=16)
        check(s, "%s probe answer" % d.name, (status, data) == (0, want), (status, data.hex()))
        c = vendor_cycles(d, mark)
        check(s, "%s probe block as sent" % d.name,
              len(c) == 1 and c[0]["cdb"] == "fa556601" + "00" * 12 and c[0]["dir"] == "in" and c[0]["len"] == "16",
              c)
    mark = len(d0.log())
    status, data, _, resid = sg_io(d0.disk, b"\xfa\x55\x66\xfe\x07000000" + bytes(5), data_in=16)
    check(s, "login over sd: status byte 1, residue 15", (status, data, resid) == (0, b"\x01", 15),
          (status, data.hex(), resid))
    status, data, sense, _ = sg_io(d0.generic() or d0.disk, b"\xfa\x55\x66\x0b" + bytes(12), data_in=16)
    check(s, "unknown vendor operation: CHECK CONDITION with 05/20/00 over sg",
          status == 2 and len(sense) == 18 and sense[0] == 0x70 and sense[2] & 0x0F == 5 and sense[12:14] == b"\x20\x00",
          (status, sense.hex()))
    st = d0.state()
    check(s, "the recorder counted the login", st["logins"] == "1", st)

    # What SG_IO says on a disk that was open when its device left the bus.
    fd = os.open(d1.disk, os.O_RDWR | os.O_NONBLOCK)
    d1.ctl("unplug")
    wait_for(lambda: d1.usb_dir() is None, 10)
    hdr = []
    try:
        status, data, sense, resid = sg_io(d1.disk, b"\xfa\x55\x66\xfe\x07000000" + bytes(5), data_in=1, fd=fd,
                                           header=hdr)
        h = hdr[0]
        figure("SG_IO on an open disk whose device was unplugged: ioctl succeeded, status %d, host_status %d, "
               "driver_status %d, resid %d" % (h.status, h.host_status, h.driver_status, h.resid))
        check(s, "unplugged: the kernel reports the loss in host_status", h.host_status != 0,
              "host_status 0")
    except OSError as e:
        figure("SG_IO on an open disk whose device was unplugged: ioctl failed with %s" % e)
    os.close(fd)
    d1.ctl("plug")
    d1.disk = d1.wait_block(30)
    check(s, "%s back after plug" % d1.name, d1.disk is not None)
    if d1.disk is None:
        return

    # A command sent while the device is leaving the bus (the probe answered,
    # then gone): the ioctl succeeds with SCSI status 0 and the loss only in
    # host_status. A pass-through that drops host_status reports it delivered.
    fd = os.open(d1.disk, os.O_RDWR | os.O_NONBLOCK)
    d1.ctl("fault unplug-after op=01")
    sg_io(d1.disk, b"\xfa\x55\x66\x01" + bytes(12), data_in=16, fd=fd)
    hdr = []
    try:
        sg_io(d1.disk, b"\xfa\x55\x66\xfe\x07000000" + bytes(5), data_in=1, fd=fd, header=hdr)
        h = hdr[0]
        figure("SG_IO right after the device left the bus: ioctl succeeded, status %d, host_status %d, "
               "driver_status %d, resid %d, %d sense bytes" % (h.status, h.host_status, h.driver_status, h.resid,
                                                               h.sb_len_wr))
        check(s, "leaving the bus: the loss is in host_status, not in the SCSI status",
              h.status == 0 and h.host_status != 0, (h.status, h.host_status, h.resid))
    except OSError as e:
        figure("SG_IO right after the device left the bus: ioctl failed with %s" % e)
    os.close(fd)
    wait_for(lambda: d1.usb_dir() is None, 10)
    d1.ctl("plug")
    d1.disk = d1.wait_block(30)
    check(s, "%s back after the second plug" % d1.name, d1.disk is not None)


# ------------------------------------------------------- DLL through wine

ARCH = "win64"


def wine_env():
    env = dict(os.environ)
    env.update({"WINEPREFIX": CONFIG["prefix_" + ARCH], "WINEDEBUG": "-all", "WINEDLLOVERRIDES": "mscoree,mshtml=",
                "HOME": "/root"})
    if CONFIG.get("libs_" + ARCH):
        env["LD_LIBRARY_PATH"] = CONFIG["libs_" + ARCH]
    env.pop("DISPLAY", None)
    return env


def make_prefix():
    """A prefix for the architecture, made here when the host could not."""
    prefix = CONFIG["prefix_" + ARCH]
    if os.path.exists(os.path.join(prefix, "system.reg")):
        return True
    started = time.monotonic()
    for command, timeout in (([CONFIG["wine_" + ARCH], "wineboot", "-i"], 420), (["/usr/lib/wine/wineserver", "-w"], 120)):
        try:
            subprocess.run(command, env=wine_env(), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                           timeout=timeout)
        except subprocess.TimeoutExpired:
            figure("%s: %s did not end within %d s" % (ARCH, " ".join(command), timeout))
    # The registry is saved when the server ends.
    subprocess.run(["/usr/lib/wine/wineserver", "-k"], env=wine_env(), stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    wait_for(lambda: os.path.exists(os.path.join(prefix, "system.reg")), 30)
    figure("%s: wine prefix made in the guest in %.0f s" % (ARCH, time.monotonic() - started))
    made = os.path.exists(os.path.join(prefix, "system.reg"))
    keep = CONFIG.get("save_prefix_" + ARCH)
    if made and keep:
        # The host keeps it for the next runs: it cannot make one itself.
        subprocess.call(["tar", "-C", os.path.dirname(prefix), "-cf", keep, os.path.basename(prefix)])
    return made


def link_letter(letter, dev, prefix=None):
    dosdevices = os.path.join(prefix or CONFIG["prefix_" + ARCH], "dosdevices")
    for name in (letter + "::", letter + ":"):
        p = os.path.join(dosdevices, name)
        if os.path.lexists(p):
            os.unlink(p)
    if dev:
        os.symlink(dev, os.path.join(dosdevices, letter + "::"))
        os.symlink("/tmp", os.path.join(dosdevices, letter + ":"))


def unix_to_wine(path):
    return "Z:" + path.replace("/", "\\")


RUNS = []
SYNC = "/tmp/kv-sync"


def parse_lines(lines):
    results = []
    for line in lines:
        words = line.split(" ")
        kv = dict(w.split("=", 1) for w in words[1:] if "=" in w)
        results.append((words[0], kv))
    return results


def run_with_syncs(command, env, out, handlers, timeout):
    """Runs `command`; when it asks for sync point NAME, calls handlers[NAME]
    with what it has written to `out` so far, then lets it go on."""
    os.makedirs(SYNC, exist_ok=True)
    for f in glob.glob(SYNC + "/*"):
        os.unlink(f)
    started = time.monotonic()
    proc = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    while proc.poll() is None and time.monotonic() - started < timeout:
        for req in glob.glob(SYNC + "/*.req"):
            name = os.path.basename(req)[:-4]
            os.unlink(req)
            lines = open(out).read().splitlines() if os.path.exists(out) else []
            try:
                handlers.get(name, lambda r: None)(parse_lines(lines))
            finally:
                open(SYNC + "/" + name + ".ack", "w").close()
        time.sleep(0.05)
    if proc.poll() is None:
        proc.kill()
        proc.wait()
    return time.monotonic() - started


def run_caller(dll, steps, handlers=None, timeout=600):
    """Runs the caller under wine. At each step sync=NAME, handlers[NAME] is
    called with the results so far while the caller waits. Returns
    (results, lines, seconds)."""
    out = "/tmp/caller-%s-%d.txt" % (ARCH, len(RUNS))
    seconds = run_with_syncs([CONFIG["wine_" + ARCH], CONFIG["caller_" + ARCH], unix_to_wine(dll), unix_to_wine(out)]
                             + steps, wine_env(), out, handlers or {}, timeout)
    RUNS.append(seconds)
    lines = open(out).read().splitlines() if os.path.exists(out) else []
    if os.path.exists(out):
        shutil.copy(out, OUT)
    return parse_lines(lines), lines, seconds


def vendor_cycles(dev, mark):
    return [c for c in dev.cycles(mark) if c["cdb"].startswith("fa5566")]


def mgmt(sub, args=b""):
    cdb = b"\xfa\x55\x66\xfe" + bytes([sub]) + args
    return (cdb + bytes(16 - len(cdb))).hex()


def settle(dev):
    """Waits until the device's block device is back (after unplug or reset)."""
    dev.disk = dev.wait_block(30)
    link_letter("g", dev.disk)
    return dev.disk is not None


def holders(dev_path):
    """Processes that have the disk open."""
    found = set()
    for fd in glob.glob("/proc/[0-9]*/fd/*"):
        try:
            if os.readlink(fd) == dev_path:
                found.add(open("/proc/%s/comm" % fd.split("/")[2]).read().strip())
        except OSError:
            pass
    return sorted(found)


def fresh(dev):
    dev.ctl("clear-faults")
    dev.ctl("reset-recorder")
    return len(dev.log())


class Scenario:
    """Steps between two sync points, with what happens at each end."""

    def __init__(self, s, dev):
        self.s, self.dev, self.steps, self.handlers, self.marks = s, dev, [], {}, {}

    def add(self, name, steps, before=None, after=None):
        def start(results):
            self.marks[name] = (len(results), len(self.dev.log()))
            if before:
                before()

        def end(results):
            first, _ = self.marks.get(name, (len(results), 0))
            if after:
                after(results[first + 1:], self.marks[name][1])

        self.handlers[name] = start
        self.handlers[name + "-end"] = end
        self.steps += ["sync=" + name] + steps + ["sync=" + name + "-end"]


def suite_dll(arch, devs):
    global ARCH
    ARCH = arch
    s = "dll-" + arch
    dll = CONFIG["dll_" + arch]
    d0, d1 = devs
    if not check(s, "a wine prefix for %s" % arch, make_prefix()):
        return
    link_letter("g", d0.disk)
    link_letter("h", d1.disk)
    sc = Scenario(s, d0)
    marks = {}

    def main_start():
        d0.ctl("reset-recorder")
        marks["d1"] = len(d1.log())

    def main_end(r, mark0):
        main_checks(s, r, d0, d1, mark0, marks["d1"])

    sc.add("main", ["exports", "disconnect", "login=abc123", "connect", "login=000000", "login=wrong1",
                    "settime=2013-12-31-23-59-58", "gettime", "setid=P0123456789AB", "getid", "setpw=abc123",
                    "login=ABC123", "disconnect", "login=abc123", "udisk", "settime=now"], main_start, main_end)
    # CDisconnectDV frees the disk: held while connected, by nobody after it.
    seen = {}
    sc.add("held", ["connect"], None, lambda r, m: seen.update(held=holders(d0.disk), connect=results_of(r)))

    def freed_end(r, m):
        figure("%s: holders of the recorder's disk after CConnectDV: %s" % (s, seen.get("held") or "none"))
        check(s, "CConnectDV keeps the disk open", seen.get("connect") == ["1"] and bool(seen.get("held")), seen)
        left = []
        wait_for(lambda: not left.clear() and not left.extend(holders(d0.disk)), 3)
        check(s, "CDisconnectDV frees the disk while the caller runs on", results_of(r) == ["1"] and not left,
              (r, left))

    sc.add("freed", ["disconnect"], None, freed_end)
    fault_scenarios(s, sc, d0)
    res, lines, seconds = run_caller(dll, sc.steps, sc.handlers)
    figure("%s: one caller run of %d steps: %.1f s under wine" % (s, len(sc.steps), seconds))
    check(s, "the caller ran every step", len(res) == len(sc.steps) + 1, lines[-3:])
    left = []
    wait_for(lambda: not left.clear() and not left.extend(holders(d0.disk) if d0.disk else []), 5)
    check(s, "no process holds the recorder's disk after the caller ended", not left, left)


def main_checks(s, res, d0, d1, mark0, mark1):
    if not check(s, "main: every step reported", len(res) == 16, res):
        return
    r = dict(enumerate(res))

    def expect(i, result, **words):
        name, kv = r[i]
        ok = kv.get("result") == str(result) and all(kv.get(k) == v for k, v in words.items())
        check(s, "%s -> %s %s" % (name, result, " ".join("%s=%s" % w for w in words.items())), ok, kv)

    expect(0, 9)
    expect(1, 1)
    expect(2, 0, buffer="414243313233")
    expect(3, 1)
    expect(4, 1, buffer="303030303030")
    expect(5, 0, buffer="57524f4e4731")
    expect(6, 1)
    got = r[7][1].get("time", "")
    try:
        t = datetime.datetime(*[int(x) for x in got.split("-")])
        late = (t - datetime.datetime(2013, 12, 31, 23, 59, 58)).total_seconds()
    except ValueError:
        late = None
    check(s, "gettime -> 1 with the clock just set", r[7][1].get("result") == "1" and late is not None and 0 <= late <= 3,
          r[7][1])
    expect(8, 1)
    expect(9, 1, id="503031323334353637383941420" + "0")
    expect(10, 1, buffer="414243313233")
    expect(11, 1)
    expect(12, 1)
    expect(13, 1, buffer="414243313233")
    expect(14, 1)
    expect(15, 1)
    figure("%s: CConnectDV %s ms, CLogin %s ms, CGetTime %s ms through the real stack" %
           (s, r[3][1].get("ms"), r[4][1].get("ms"), r[7][1].get("ms")))

    # The bytes that reached the recorder, in order.
    # A log-in with no recorder kept (before CConnectDV, after CDisconnectDV)
    # finds it first: the probe goes out before it.
    probe = ("fa556601" + "00" * 12, "16")
    want = [probe, (mgmt(7, b"ABC123"), "1"),
            probe, (mgmt(7, b"000000"), "1"), (mgmt(7, b"WRONG1"), "1"),
            (mgmt(3, bytes([20, 13, 12, 31, 23, 59, 58])), "1"), (mgmt(8), "8"),
            (mgmt(2, b"P01234"), "1"), (mgmt(9, b"56789AB"), "1"), (mgmt(10), "7"), (mgmt(11), "8"),
            (mgmt(1, b"ABC123"), "1"), (mgmt(7, b"ABC123"), "1"),
            probe, (mgmt(7, b"ABC123"), "1"), (mgmt(4), "1")]
    seen = vendor_cycles(d0, mark0)
    got = [(c["cdb"], c["len"]) for c in seen]
    check(s, "every vendor block reached the recorder as sent, data-in, in order",
          got[: len(want)] == want and all(c["dir"] == "in" for c in seen), got)
    if len(got) == len(want) + 1:
        last = bytes.fromhex(got[-1][0])
        sent = r[15][1].get("sent", "")
        check(s, "set-time to now carries the PC's clock", last[:5] == b"\xfa\x55\x66\xfe\x03", got[-1])
    else:
        check(s, "one set-time to now at the end", False, got[len(want):])
    inquiry = [c for c in d0.cycles(mark0) if c["cdb"].startswith("12")]
    check(s, "each of the three discoveries sent one INQUIRY (12 00 00 00 24 00)",
          [c["cdb"] for c in inquiry] == ["120000002400"] * 3, [c["cdb"] for c in inquiry])
    check(s, "the second recorder (H:) got nothing: discovery stops at G:", vendor_cycles(d1, mark1) == [],
          vendor_cycles(d1, mark1))
    st = d0.state()
    check(s, "recorder state: password ABC123", st["password"] == "414243313233", st)
    check(s, "recorder state: police number", st["police_number"] == b"P0123456789AB".hex(), st)
    check(s, "recorder state: USB-disk mode", st["udisk_mode"] == "1", st)
    check(s, "recorder state: 5 log-in blocks", st["logins"] == "5", st)
    offset = int(st["clock_offset"])
    figure("%s: recorder clock minus guest clock after settime=now: %+d s (whole seconds)" % (s, offset))
    check(s, "recorder clock within 1 s of the PC's after a time sync", abs(offset) <= 1, offset)


def consistent(s, scenario, res, dev):
    """A success reported to the caller must show on the recorder."""
    st = dev.state()
    for name, kv in res:
        if kv.get("result") != "1":
            continue
        if name.startswith("setpw="):
            want = name[6:].upper().encode().hex()
            check(s, "%s: setpw reported 1 only when the password changed" % scenario, st["password"] == want,
                  "reported 1, recorder holds %s" % st["password"])
        if name == "udisk":
            check(s, "%s: udisk reported 1 only when the recorder switched" % scenario, st["udisk_mode"] == "1",
                  "reported 1, recorder udisk_mode=%s" % st["udisk_mode"])


def results_of(res):
    return [kv.get("result") for _, kv in res]


def fault_scenarios(s, sc, dev):
    # Unplugged after discovery: every export fails, nothing is reported wrongly.
    def unplug_end(res, mark):
        r = dict(res)
        want = {"connect": "1", "login=000000": "0", "setpw=123456": "0", "settime=2013-12-31-23-59-58": "0",
                "gettime": "0", "setid=P0123456789AB": "0", "getid": "0", "udisk": "0"}
        # Wine's pass-through does not pass the kernel's host status on: a
        # command sent while the disk is leaving comes back as delivered with
        # SCSI status 0 and the data area as it was. The two exports that
        # report delivery alone (the status byte is not theirs to judge) then
        # say 1; the recorder's state below shows that nothing was done.
        wine_blind = ("setpw=123456", "udisk")
        for name, result in want.items():
            got = r.get(name, {}).get("result")
            if name in wine_blind:
                figure("%s: unplugged after discovery: %s returned %s" % (s, name, got))
                check(s, "unplugged after discovery: %s -> 0, or 1 where wine reports the lost command delivered" %
                      name, got in ("0", "1"), r.get(name))
                continue
            check(s, "unplugged after discovery: %s -> %s" % (name, result), got == result, r.get(name))
        check(s, "unplugged after discovery: gettime clears the record",
              r.get("gettime", {}).get("time") == "0-0-0-0-0-0", r.get("gettime"))
        check(s, "unplugged after discovery: getid leaves the buffer", r.get("getid", {}).get("id") == "ee" * 14,
              r.get("getid"))
        st = dev.state()
        check(s, "unplugged after discovery: the recorder was not changed",
              (st["password"], st["logins"], st["udisk_mode"]) == ("303030303030", "0", "0"), st)
        dev.ctl("plug")
        check(s, "plugged in again", settle(dev))

    sc.add("unplug", ["connect", "login=000000", "setpw=123456", "settime=2013-12-31-23-59-58", "gettime",
                      "setid=P0123456789AB", "getid", "udisk"],
           lambda: (fresh(dev), dev.ctl("fault unplug-after op=01")), unplug_end)

    # CHECK CONDITION (ILLEGAL REQUEST) on every management command.
    def cc_end(res, mark):
        r = results_of(res)
        check(s, "CHECK CONDITION: connect still finds the recorder", r[:1] == ["1"], res)
        check(s, "CHECK CONDITION: login not reported as accepted", r[1:2] == ["0"], res)
        check(s, "CHECK CONDITION: gettime reports no time", r[3:4] == ["0"], res)
        check(s, "CHECK CONDITION: getid reports no number", r[4:5] == ["0"], res)
        consistent(s, "CHECK CONDITION", res, dev)
        blocks = [c for c in vendor_cycles(dev, mark) if c["cdb"][6:8] == "fe"]
        check(s, "CHECK CONDITION: each management block refused and none sent twice (no retries)",
              blocks and all(c["status"] == "1" for c in blocks) and
              len({c["cdb"] for c in blocks}) == len(blocks), [(c["cdb"], c["status"]) for c in blocks])

    sc.add("cc", ["connect", "login=000000", "setpw=123456", "gettime", "getid", "udisk"],
           lambda: (fresh(dev), dev.ctl("fault check-condition op=fe sense=05/24/00 count=6")), cc_end)

    # HARDWARE ERROR: usb-storage has the midlayer retry it.
    def hw_end(res, mark):
        logins = [c for c in vendor_cycles(dev, mark) if c["cdb"][6:10] == "fe07"]
        figure("%s: CHECK CONDITION 04/44/00 twice on a login: CLogin returned %s; the recorder saw %d login blocks" %
               (s, results_of(res), len(logins)))
        consistent(s, "HARDWARE ERROR", res, dev)
        check(s, "HARDWARE ERROR: a login reported accepted was counted", results_of(res) != ["1"] or
              dev.state()["logins"] == "1", dev.state())

    sc.add("hw", ["login=000000"],
           lambda: (fresh(dev), dev.ctl("fault check-condition op=fe sub=07 sense=04/44/00 count=2")), hw_end)

    # Unit attention on the login and the password change.
    def ua_end(res, mark):
        r = results_of(res)
        consistent(s, "unit attention", res, dev)
        logins = [c for c in vendor_cycles(dev, mark) if c["cdb"][6:10] == "fe07"]
        check(s, "unit attention: the login is sent again once and accepted", r[1:2] == ["1"] and len(logins) == 3,
              (res, [(c["cdb"], c["status"]) for c in logins]))
        check(s, "unit attention: the login after it is accepted", r[2:3] == ["1"], res)
        check(s, "unit attention: the password change is sent again and done",
              r[3:4] == ["1"] and dev.state()["password"] == b"654321".hex(), (res, dev.state()))
        figure("%s: unit attention on a login: CLogin returned %s, %s; the recorder saw %d login blocks" %
               (s, r[1:2], r[2:3], len(logins)))

    sc.add("ua", ["connect", "login=000000", "login=000000", "setpw=654321"],
           lambda: (fresh(dev), dev.ctl("fault unit-attention op=fe sub=07"), dev.ctl("fault unit-attention op=fe sub=01")),
           ua_end)

    # An answer later than the time-out (the kernel's floor for SG_IO is 7 s).
    def late_end(res, mark):
        r = dict(res)
        g = r.get("gettime", {})
        check(s, "time-out: gettime not reported as delivered", g.get("result") not in (None, "1"), g)
        check(s, "time-out: the record is cleared", g.get("time") == "0-0-0-0-0-0", g)
        figure("%s: time-out: CGetTime returned %s after %s ms (answer held back 9 s)" % (s, g.get("result"), g.get("ms")))
        check(s, "time-out: the next command is served", r.get("login=000000", {}).get("result") == "1", res)
        check(s, "time-out: the device dropped the late answer after the host's reset",
              any("dropped=" in l for l in dev.log()[mark:]), dev.log()[mark:][-5:])
        settle(dev)

    sc.add("late", ["connect", "gettime", "login=000000"],
           lambda: (fresh(dev), dev.ctl("fault delay ms=9000 op=fe sub=08")), late_end)

    # A stalled endpoint.
    def stall_end(res, mark):
        r = results_of(res)
        check(s, "stall: the stalled login is not reported as accepted", r[1:2] == ["0"], res)
        check(s, "stall: the next login is accepted", r[2:3] == ["1"], res)
        check(s, "stall: the recorder counted only the second login", dev.state()["logins"] == "1", dev.state())
        settle(dev)

    sc.add("stall", ["connect", "login=000000", "login=000000"],
           lambda: (fresh(dev), dev.ctl("fault stall op=fe sub=07")), stall_end)

    # A unit attention pending when discovery runs (as after a reset of the recorder).
    def pending_end(res, mark):
        r = results_of(res)
        figure("%s: discovery with a pending unit attention returned %s, then %s" % (s, r[0:1], r[1:2]))
        check(s, "pending unit attention: a second discovery finds the recorder and logs in",
              r[1:3] == ["1", "1"], res)

    sc.add("pending", ["connect", "connect", "login=000000"],
           lambda: (fresh(dev), dev.ctl("power-on-attention")), pending_end)


def gtest_checks(s, lines):
    """One check per test of a Google Test run's output; the number that ran."""
    detail = []
    ran = 0
    for line in lines:
        if line.startswith("[ FIGURE   ]"):
            figure("%s: %s" % (s, line[13:]))
        elif line.startswith("[       OK ]") or line.startswith("[  FAILED  ]") and "(" in line:
            ran += 1
            name = line[13:].split(" (")[0]
            check(s, name, line.startswith("[       OK ]"), " | ".join(detail[-6:]))
            detail = []
        elif line.startswith("[  SKIPPED ]") and "(" in line:
            SKIPPED.write("SKIP %s: %s\n" % (s, line[13:].split(" (")[0]))
            SKIPPED.flush()
            detail = []
        elif not line.startswith("["):
            detail.append(line.strip())
    return ran


def e2e_dir(arch):
    """The e2e suites' wine setup for korvane.exe (code page 936, a virtual
    desktop, wine's Marlett font). The 64-bit one is made on the host; the
    32-bit one is made here from the architecture's WoW64 prefix."""
    if arch == "win64":
        return CONFIG["e2e_wine_dir"]
    d = "/tmp/kv-e2e-" + arch
    if os.path.exists(d + "/prefix.ready"):
        return d
    prefix = CONFIG["prefix_" + arch]
    # The registry is written back when the prefix's server ends.
    subprocess.run(["/usr/lib/wine/wineserver", "-w"], env=wine_env(), timeout=60)
    with open(os.path.join(prefix, "user.reg"), "a") as reg:
        stamp = int(time.time())
        reg.write('\n[Software\\\\Wine\\\\Explorer] %d\n"Desktop"="Default"\n' % stamp)
        reg.write('\n[Software\\\\Wine\\\\Explorer\\\\Desktops] %d\n"Default"="1024x768"\n' % stamp)
    fonts = os.path.join(prefix, "drive_c/windows/Fonts")
    if os.path.exists("/usr/share/wine/fonts/marlett.ttf"):
        os.makedirs(fonts, exist_ok=True)
        shutil.copy("/usr/share/wine/fonts/marlett.ttf", fonts)
    os.makedirs(d, exist_ok=True)
    os.symlink(prefix, d + "/prefix")
    locale = os.path.join(CONFIG["e2e_wine_dir"], "locale")
    if os.path.isdir(locale):
        os.symlink(locale, d + "/locale")
    open(d + "/prefix.ready", "w").close()
    return d


def suite_korvane(arch, devs):
    """korvane.exe's dialog flows, driven from outside, checked on the recorder."""
    global ARCH
    ARCH = arch
    s = "korvane-" + arch
    d0 = devs[0]
    wine_dir = e2e_dir(arch)
    prefix = os.path.join(wine_dir, "prefix")

    def replug():
        d0.ctl("plug")
        d0.disk = d0.wait_block(30)
        link_letter("g", d0.disk, prefix)

    handlers = {"fresh": lambda r: fresh(d0),
                "clock-2013": lambda r: d0.ctl("set-clock 2013-12-31 23:59:58"),
                "unplug-after-probe": lambda r: d0.ctl("fault unplug-after op=01"),
                "plug": lambda r: replug()}
    out = os.path.join(OUT, "korvane-flows-%s.txt" % arch)
    env = dict(os.environ, HOME="/root", KV_VM_WINE=CONFIG["wine_" + arch], KV_VM_WINE_LIBS=CONFIG.get("libs_" + arch, ""))
    seconds = run_with_syncs(["bash", CONFIG["repo"] + "/scripts/vm/guest-e2e.sh", wine_dir,
                              CONFIG["programs_" + arch], CONFIG["flows_" + arch], d0.disk, out],
                             env, out, handlers, 600)
    figure("%s: dialog flows %.0f s under wine and Xvfb" % (s, seconds))
    lines = open(out, errors="replace").read().splitlines() if os.path.exists(out) else []
    check(s, "the dialog flows ran", gtest_checks(s, lines) > 0, lines[-5:])
    settle(d0)


def suite_wine_programs(arch):
    """The test programs that run the shipped DLL, the text conversions and
    korvane-cli-sim.exe under wine on the simulated recorder: the host runs
    them for x86_64, the guest for i686."""
    global ARCH
    ARCH = arch
    for name, program in CONFIG.get("wine_tests_" + arch, []):
        s = "%s-%s" % (name, arch)
        out = "/tmp/%s.txt" % s
        env = wine_env()
        env["KV_RKM51DLL"] = unix_to_wine(CONFIG["dll_" + arch])
        started = time.monotonic()
        with open(out, "wb") as f:
            try:
                subprocess.run([CONFIG["wine_" + arch], program, "--gtest_color=no"], env=env, stdout=f,
                               stderr=subprocess.STDOUT, timeout=300)
            except subprocess.TimeoutExpired:
                f.write(b"\n(timed out after 300 s)\n")
        figure("%s: %.0f s under wine" % (s, time.monotonic() - started))
        lines = open(out, errors="replace").read().splitlines()
        check(s, "the program ran its tests", gtest_checks(s, lines) > 0, lines[-5:])

    # korvane-cli-sim.exe through the checks its program test makes on the host.
    if CONFIG.get("cli_sim_" + arch):
        s = "cli-sim-" + arch
        shim = "/tmp/kv-wine-%s" % arch
        os.makedirs(shim, exist_ok=True)
        with open(shim + "/wine", "w") as f:
            f.write('#!/bin/sh\nLD_LIBRARY_PATH=%s exec %s "$@"\n' % (CONFIG.get("libs_" + arch, ""), CONFIG["wine_" + arch]))
        os.chmod(shim + "/wine", 0o755)
        log = "/tmp/%s.checks" % s
        out = "/tmp/%s.txt" % s
        env = dict(os.environ, HOME="/root", KV_WINE_DIR=e2e_dir(arch), KV_CHECK_LOG=log,
                   PATH=shim + ":" + os.environ.get("PATH", "/usr/bin:/bin"))
        env.pop("DISPLAY", None)
        started = time.monotonic()
        with open(out, "wb") as f:
            try:
                code = subprocess.run(["bash", CONFIG["repo"] + "/tests/cli/program_test.sh", "--wine", arch,
                                       CONFIG["cli_sim_" + arch]], env=env, stdout=f, stderr=subprocess.STDOUT,
                                      timeout=300).returncode
            except subprocess.TimeoutExpired:
                code = "timeout"
        figure("%s: %.0f s under wine" % (s, time.monotonic() - started))
        lines = open(log).read().splitlines() if os.path.exists(log) else []
        for line in lines:
            verdict, _, name = line.partition(" ")
            check(s, name, verdict == "PASS")
        tail = open(out, errors="replace").read().splitlines()[-5:]
        check(s, "the program test ran to its end", bool(lines) and code in (0, 1), (code, tail))


def main():
    devs = [Device(0, variant=1), Device(1, variant=2), Device(2, variant=1)]
    try:
        suite_kernel(devs[:2])
        arches = CONFIG.get("arches", [])
        if devs[0].disk and devs[1].disk and "win64" in arches:
            suite_dll("win64", devs[:2])
            if CONFIG.get("flows_win64"):
                suite_korvane("win64", devs[:2])
        if check("cli", "three recorders attached for the fleet", all(d.disk for d in devs),
                 [(d.name, d.disk) for d in devs]):
            guest_cli.run_all(sys.modules[__name__], devs, CONFIG)
        # The 32-bit builds last: their prefix may have to be made here first.
        if devs[0].disk and devs[1].disk and "win32" in arches:
            suite_dll("win32", devs[:2])
            if CONFIG.get("flows_win32") and os.path.exists(os.path.join(CONFIG["prefix_win32"], "system.reg")):
                suite_korvane("win32", devs[:2])
                if all(d.disk for d in devs):
                    guest_cli.run_wine(sys.modules[__name__], devs, CONFIG, "win32")
            suite_wine_programs("win32")
        if RUNS:
            figure("wine caller runs: %s s" % ", ".join("%.1f" % x for x in RUNS))
    except Exception as e:  # a broken suite is a failure, not a silent end
        import traceback
        traceback.print_exc()
        check("guest", "suites ran to the end", False, repr(e))
    finally:
        for d in devs:
            d.stop()


if __name__ == "__main__":
    main()
