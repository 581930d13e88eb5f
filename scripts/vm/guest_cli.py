"""korvane-cli through the real stack, in the test bed's guest: the Linux
program over SG_IO on /dev/sdX and korvane-cli.exe under wine's SCSI
pass-through, over three recorders. Every check is made on the recorder's side
too: the command blocks in its log and the state it holds afterwards.

Called by guest_suites.py with itself as `kv` (check, figure, the devices and
the helpers for wine)."""

import datetime
import json
import os
import subprocess
import time

PASSWORD = "000000"


class Run:
    """One korvane-cli run: exit status, standard output and error, seconds."""

    def __init__(self, code, out, err, seconds):
        self.code, self.out, self.err, self.seconds = code, out, err, seconds

    def doc(self):
        try:
            return json.loads(self.out)
        except ValueError:
            return None

    def __repr__(self):
        return "exit %s, out %r, err %r" % (self.code, self.out[-300:], self.err[-300:])


class Cli:
    """Runs one of the two programs with the recorders where it finds them."""

    def __init__(self, kv, name, command, env, where):
        self.kv, self.name, self.command, self.env, self.where = kv, name, command, env, where

    def run(self, args, password=PASSWORD, stdin=None, prefix=(), timeout=60):
        env = dict(self.env)
        env.pop("KORVANE_PASSWORD", None)
        if password is not None:
            env["KORVANE_PASSWORD"] = password
        # Files, not pipes: wine's helper processes outlive the program and
        # would hold a pipe open until the persistent wine server ends.
        files = ["/tmp/kv-cli.%s" % n for n in ("in", "out", "err")]
        with open(files[0], "w") as f:
            f.write(stdin or "")
        started = time.monotonic()
        with open(files[0]) as i, open(files[1], "wb") as o, open(files[2], "wb") as e:
            proc = subprocess.Popen(list(prefix) + self.command + args, env=env, stdin=i, stdout=o, stderr=e)
            try:
                code = proc.wait(timeout)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait()
                code = "timeout"
        seconds = time.monotonic() - started
        out, err = (open(f, "rb").read().decode("utf-8", "replace") for f in files[1:])
        return Run(code, out, err, seconds)


def blocks(kv, dev, mark):
    return [(c["cdb"], c["dir"], c["len"], c.get("status")) for c in kv.vendor_cycles(dev, mark)]


def mgmt_sent(kv, dev, mark):
    """The management blocks (fa 55 66 fe ...) the recorder got since `mark`."""
    return [c[0] for c in blocks(kv, dev, mark) if c[0][6:8] == "fe"]


def parse_time(text):
    try:
        return datetime.datetime.strptime(text, "%Y-%m-%dT%H:%M:%S")
    except (TypeError, ValueError):
        return None


def recorder_clock(dev):
    return datetime.datetime.strptime(dev.state()["clock"], "%Y-%m-%d %H:%M:%S")


def by_where(doc, cli):
    """The JSON objects of an --all run, keyed by the device they name."""
    out = {}
    for o in doc or []:
        for dev, where in cli.where.items():
            if o.get("where") == where:
                out[dev] = o
    return out


def suite(kv, cli, devs):
    s = "cli-" + cli.name
    check, figure = kv.check, kv.figure
    d0, d1, d2 = devs
    for d in devs:
        kv.fresh(d)
    w0 = cli.where[d0.name]

    # list: every recorder, in discovery order, with its variant; nothing but the probe is sent.
    marks = [len(d.log()) for d in devs]
    r = cli.run(["--json", "list"], password=None)
    found = by_where(r.doc(), cli)
    check(s, "list -> 0, the three recorders", r.code == 0 and len(found) == 3, r)
    check(s, "list: variants 1, 2, 1",
          [found.get(d.name, {}).get("variant") for d in devs] == [1, 2, 1], r.doc())
    check(s, "list: each recorder got the probe only",
          all(blocks(kv, d, m) and all(c[0][6:8] == "01" for c in blocks(kv, d, m)) for d, m in zip(devs, marks)),
          [blocks(kv, d, m) for d, m in zip(devs, marks)])

    # status: log-in, clock, police number, each block as sent.
    kv_clock = "2013-12-31 23:59:58"
    d0.ctl("set-clock " + kv_clock)
    mark = len(d0.log())
    r = cli.run(["--json"] + sel(cli, d0) + ["status"])
    doc = (r.doc() or [{}])[0]
    check(s, "status -> 0 with time, offset and police number",
          r.code == 0 and doc.get("ok") is True and parse_time(doc.get("time")) is not None and
          isinstance(doc.get("offset_ms"), int) and doc.get("id_hex") == "", r)
    t = parse_time(doc.get("time"))
    check(s, "status: the recorder's clock as it holds it",
          t is not None and 0 <= (t - datetime.datetime(2013, 12, 31, 23, 59, 58)).total_seconds() <= 60, doc)
    sent = mgmt_sent(kv, d0, mark)
    check(s, "status: log-in with the password first, then the clock and the number",
          sent[:1] == [kv.mgmt(7, PASSWORD.encode())] and kv.mgmt(8) in sent and kv.mgmt(10) in sent and
          kv.mgmt(11) in sent, sent)

    # time set / time get.
    mark = len(d0.log())
    r = cli.run(sel(cli, d0) + ["time", "set", "2020-02-29T12:34:56"])
    check(s, "time set -> 0", r.code == 0, r)
    check(s, "time set: the set-time block as sent",
          kv.mgmt(3, bytes([20, 20, 2, 29, 12, 34, 56])) in mgmt_sent(kv, d0, mark), mgmt_sent(kv, d0, mark))
    late = (recorder_clock(d0) - datetime.datetime(2020, 2, 29, 12, 34, 56)).total_seconds()
    check(s, "time set: the recorder holds the time", 0 <= late <= 15, d0.state())
    r = cli.run(["--json"] + sel(cli, d0) + ["time", "get"])
    t = parse_time((r.doc() or [{}])[0].get("time"))
    check(s, "time get -> 0, the time just set",
          r.code == 0 and t is not None and 0 <= (t - datetime.datetime(2020, 2, 29, 12, 34, 56)).total_seconds() <= 60,
          r)

    # id set / id get: GBK on the wire.
    mark = len(d0.log())
    r = cli.run(["--json"] + sel(cli, d0) + ["id", "set", "京B67890"])
    check(s, "id set -> 0, GBK bytes", r.code == 0 and (r.doc() or [{}])[0].get("id_hex") == "bea9423637383930", r)
    check(s, "id set: the recorder holds the GBK bytes, zero-filled",
          d0.state()["police_number"] == "bea9423637383930" + "00" * 5, d0.state())
    sent = mgmt_sent(kv, d0, mark)
    check(s, "id set: both halves as sent", kv.mgmt(2, bytes.fromhex("bea942363738")) in sent and
          kv.mgmt(9, bytes.fromhex("393000")) in sent, sent)
    r = cli.run(["--json"] + sel(cli, d0) + ["id", "get"])
    doc = (r.doc() or [{}])[0]
    check(s, "id get -> 0, the number as text", r.code == 0 and doc.get("id") == "京B67890" and
          doc.get("id_hex") == "bea9423637383930", r)

    # A refused log-in sends nothing else; exit 1.
    mark = len(d0.log())
    r = cli.run(sel(cli, d0) + ["udisk"], password="wrong1")
    check(s, "wrong password -> 1, one sentence", r.code == 1 and r.err.count("\n") == 1 and "password" in r.err, r)
    check(s, "wrong password: only the log-in reached the recorder",
          mgmt_sent(kv, d0, mark) == [kv.mgmt(7, b"WRONG1")] and d0.state()["udisk_mode"] == "0",
          mgmt_sent(kv, d0, mark))

    # A usage error sends nothing; exit 2.
    mark = len(d0.log())
    r = cli.run(sel(cli, d0) + ["time", "set", "yesterday"])
    check(s, "usage error -> 2, nothing sent", r.code == 2 and blocks(kv, d0, mark) == [], (r, blocks(kv, d0, mark)))

    # A transfer the recorder fails: exit 4, not a success.
    mark = len(d0.log())
    d0.ctl("fault check-condition op=fe sub=08 sense=05/24/00 count=3")
    r = cli.run(sel(cli, d0) + ["time", "get"])
    check(s, "CHECK CONDITION on the clock read -> 4", r.code == 4 and r.err.strip() != "", r)
    d0.ctl("clear-faults")

    # password change on the third recorder, from standard input.
    mark = len(d2.log())
    r = cli.run(["--password-stdin"] + sel(cli, d2) + ["password", "change"], password=None,
                stdin="000000\nxyz789\nxyz789\n")
    check(s, "password change -> 0", r.code == 0, r)
    check(s, "password change: the recorder holds the new one", d2.state()["password"] == b"XYZ789".hex(), d2.state())
    check(s, "password change: log-in with the old, then the new one as sent",
          mgmt_sent(kv, d2, mark) == [kv.mgmt(7, b"000000"), kv.mgmt(1, b"XYZ789")], mgmt_sent(kv, d2, mark))

    # --all time sync over three recorders, one of which refuses the password.
    for d in devs:
        d.ctl("set-clock 2013-06-15 12:00:00")
    marks = [len(d.log()) for d in devs]
    r = cli.run(["--json", "--all", "time", "sync"])
    found = by_where(r.doc(), cli)
    check(s, "--all time sync -> 1 (the third recorder refuses), the others done",
          r.code == 1 and [found.get(d.name, {}).get("code") for d in devs] == [0, 0, 1], r)
    for d, m in zip(devs[:2], marks):
        sets = [b for b in mgmt_sent(kv, d, m) if b[8:10] == "03"]
        check(s, "--all time sync: %s got one set-time block or a resend" % d.name, 1 <= len(sets) <= 3, sets)
        check(s, "--all time sync: %s clock within 1 s of the PC's" % d.name, abs(int(d.state()["clock_offset"])) <= 1,
              d.state())
        figure("%s: --all time sync: %s offset_ms %s (measured right after), %d set-time block(s)" %
               (s, d.name, found.get(d.name, {}).get("offset_ms"), len(sets)))
    check(s, "--all time sync: the refusing recorder got only the log-in",
          mgmt_sent(kv, d2, marks[2]) == [kv.mgmt(7, b"000000")] and recorder_clock(d2).year == 2013,
          mgmt_sent(kv, d2, marks[2]))
    figure("%s: --all time sync over three recorders: %.1f s" % (s, r.seconds))

    # time check after the sync, through the real stack.
    r = cli.run(["--json", "--all", "time", "check"])
    found = by_where(r.doc(), cli)
    offsets = [found.get(d.name, {}).get("offset_ms") for d in devs[:2]]
    check(s, "--all time check after the sync: offsets within 1 s",
          all(isinstance(o, int) and abs(o) <= 1000 for o in offsets), r)
    figure("%s: time check after an aligned --all time sync: offsets %s ms (%.1f s for the run)" %
           (s, offsets, r.seconds))
    r = cli.run(["--json"] + sel(cli, d2) + ["time", "check"], password="xyz789")
    doc = (r.doc() or [{}])[0]
    check(s, "time check on the recorder left at 2013: about 13 years behind",
          r.code == 0 and isinstance(doc.get("offset_ms"), int) and doc["offset_ms"] < -12 * 365 * 86400 * 1000, r)

    # udisk at the end (the recorder then leaves management mode).
    mark = len(d0.log())
    r = cli.run(sel(cli, d0) + ["udisk"])
    check(s, "udisk -> 0, the recorder switched", r.code == 0 and d0.state()["udisk_mode"] == "1", (r, d0.state()))
    check(s, "udisk: its block as sent", mgmt_sent(kv, d0, mark)[-1:] == [kv.mgmt(4)], mgmt_sent(kv, d0, mark))
    for d in devs:
        kv.fresh(d)


def sel(cli, dev):
    where = cli.where[dev.name]
    return ["--drive", where] if where.endswith(":") else ["--device", where]


def permission(kv, cli, devs, s):
    """Vendor commands without CAP_SYS_RAWIO: the kernel refuses them."""
    drop = ["setpriv", "--inh-caps=-sys_rawio", "--bounding-set=-sys_rawio", "--"]
    d0 = devs[0]
    marks = [len(d.log()) for d in devs]
    r = cli.run(sel(cli, d0) + ["status"], prefix=drop)
    check = kv.check
    advice = "CAP_SYS_RAWIO" if cli.name == "linux" else "administrator"
    check(s, "without CAP_SYS_RAWIO: -> 5 with the advice", r.code == 5 and advice in r.err, r)
    r = cli.run(["list"], prefix=drop, password=None)
    check(s, "without CAP_SYS_RAWIO: discovery -> 5, not 'no recorder'", r.code == 5, r)
    check(s, "without CAP_SYS_RAWIO: no vendor block reached any recorder",
          all(blocks(kv, d, m) == [] for d, m in zip(devs, marks)), [blocks(kv, d, m) for d, m in zip(devs, marks)])


def unplugged(kv, cli, devs, s):
    """The recorder leaves the bus right after it answered the probe."""
    d0 = devs[0]
    kv.fresh(d0)
    d0.ctl("fault unplug-after op=01")
    r = cli.run(sel(cli, d0) + ["status"])
    kv.figure("%s: unplugged after the probe: exit %s: %s" % (s, r.code, r.err.strip()))
    if cli.name == "linux":
        # The SG_IO transport reads the kernel's host status: a device error,
        # or no recorder when the device left before the probe's answer was in.
        kv.check(s, "unplugged after the probe -> 4 or 3 (not a refused password)", r.code in (3, 4), r)
    else:
        kv.check(s, "unplugged after the probe: not reported as done", r.code not in (0, "timeout"), r)
    kv.check(s, "unplugged after the probe: the recorder was not changed", d0.state()["logins"] == "0", d0.state())
    d0.ctl("plug")
    d0.disk = d0.wait_block(30)
    if cli.where[d0.name].endswith(":"):
        kv.link_letter("g", d0.disk)
    elif d0.disk:
        cli.where[d0.name] = d0.disk
    kv.check(s, "plugged in again", d0.disk is not None)


def run_all(kv, devs, config):
    if config.get("cli_linux"):
        where = {d.name: d.disk for d in devs}
        env = dict(os.environ, LANG="C.UTF-8", HOME="/root")
        cli = Cli(kv, "linux", [config["cli_linux"]], env, where)
        started = time.monotonic()
        suite(kv, cli, devs)
        permission(kv, cli, devs, "cli-linux")
        unplugged(kv, cli, devs, "cli-linux")
        kv.figure("cli-linux: the suite took %.0f s" % (time.monotonic() - started))
    if config.get("cli_win64"):
        run_wine(kv, devs, config, "win64")


def run_wine(kv, devs, config, arch):
    """korvane-cli.exe of `arch` under wine, the recorders on G:, H: and I:."""
    s = "cli-" + arch
    letters = dict(zip((d.name for d in devs), ("G:", "H:", "I:")))
    kv.ARCH = arch
    for letter, d in zip("ghi", devs):
        kv.link_letter(letter, d.disk)
    env = kv.wine_env()
    env["LANG"] = "C.UTF-8"
    cli = Cli(kv, arch, [config["wine_" + arch], config["cli_" + arch]], env, letters)
    started = time.monotonic()
    # One wine server for all the runs: each program then starts in seconds.
    server = subprocess.Popen(["/usr/lib/wine/wineserver", "-f", "-p"], env=env, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL)
    try:
        suite(kv, cli, devs)
        permission(kv, cli, devs, s)
        unplugged(kv, cli, devs, s)
    finally:
        subprocess.run(["/usr/lib/wine/wineserver", "-k"], env=env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        try:
            server.wait(20)
        except subprocess.TimeoutExpired:
            server.kill()
    kv.figure("%s: the suite under wine took %.0f s" % (s, time.monotonic() - started))
    kv.link_letter("i", None)
