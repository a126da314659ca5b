#!/usr/bin/env python3
"""The agent's series as Prometheus reads them.

metrics_test.py promtool STAGE   promtool accepts the series of the built-in catalogue, of a
                                 hostile one, and of a saved file with invalid UTF-8 texts
metrics_test.py fleet STAGE      three agents, three node exporters and one Prometheus on
                                 127.0.0.1: the fleet's answers match the catalogues

STAGE is the staged install tree (bin/host-agent, lib/host-agent/plugins).
"""
import base64
import ctypes
import json
import os
import re
import shutil
import signal
import socket
import stat
import subprocess
import sys
import tempfile
import time
import urllib.parse
import urllib.request

PLUGIN = "ZEVUruruzodovar"
DEADLINE = time.monotonic() + 60


def fail(message):
    print("FAIL: " + message, file=sys.stderr)
    sys.exit(1)


def check(condition, message):
    if not condition:
        fail(message)


class Host:
    """A private plug-in folder with a copy of the product plug-in, run by the staged agent."""

    def __init__(self, stage, root, name):
        self.stage = stage
        self.root = os.path.join(root, name)
        self.plugins = os.path.join(self.root, "plugins")
        self.textfiles = os.path.join(self.root, "textfile")
        os.makedirs(os.path.join(self.plugins, PLUGIN))
        os.makedirs(self.textfiles)
        shutil.copy(os.path.join(stage, "lib/host-agent/plugins", PLUGIN, PLUGIN + ".so"),
                    os.path.join(self.plugins, PLUGIN))

    def run(self, catalogue, *extra, unprivileged=False):
        path = os.path.join(self.root, "catalog.json")
        with open(path, "w", encoding="utf-8") as out:
            json.dump(catalogue, out, ensure_ascii=False)
        command = [os.path.join(self.stage, "bin/host-agent"), "run", "--plugins", self.plugins,
                   "--catalog", path, "--log", "/dev/null", *extra]
        if unprivileged and os.geteuid() == 0:
            # Root writes anywhere; as nobody the plug-in folder's permissions hold.
            command = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"] + command
        return subprocess.run(command, capture_output=True, timeout=30)

    def vocabulary(self):
        return os.path.join(self.plugins, PLUGIN, PLUGIN + ".voc")


def entry(code, identifier, name):
    return {"code": code, "property1": identifier, "property2": name}


def printed(text):
    """A catalogue's text as the agent prints it, and so labels it: the only escapes the
    catalogues here need."""
    return text.replace("\\", "\\\\").replace("\n", "\\n")


def promtool(text, what):
    result = subprocess.run(["promtool", "check", "metrics"], input=text, capture_output=True,
                            timeout=30)
    check(result.returncode == 0 and not result.stdout and not result.stderr,
          f"promtool on {what}: {result.returncode} {result.stdout!r} {result.stderr!r}")


HOSTILE = {
    "supported": [
        entry(1, 'quote " and backslash \\ and \\n', "line\nfeed, tab\t, CR\r, bell\x07"),
        entry(2, "emoji \U0001F427\U0001F1E9\U0001F1EA", "bidi \u202e override \u2028 sep \x7f\x9b"),
        entry(4294967295, "nul \u0000 inside", "{}=\",# HELP x"),
    ],
    "experimental": [entry(3, "", "")],
}


def promtool_test(stage, temp):
    host = Host(stage, temp, "host")
    agent = os.path.join(stage, "bin/host-agent")
    out = os.path.join(host.textfiles, "host-agent.prom")
    built_in = subprocess.run([agent, "run", "--plugins", host.plugins, "--log", "/dev/null",
                               "--metrics", out], capture_output=True, timeout=30)
    check(built_in.returncode == 0, f"built-in run: {built_in.stderr!r}")
    with open(out, "rb") as series:
        text = series.read()
    check(b'hostagent_plugin_failed{plugin="ZEVUruruzodovar"} 0' in text, text[:400])
    promtool(text, "the built-in catalogue")

    # A plug-in that does not load has no status; without guest OS series the counts stay.
    # Names that differ only in a control character stay two series.
    broken = Host(stage, temp, "broken")
    for name in ("Broken", "ctl\x01a", "ctl\x02a"):
        os.makedirs(os.path.join(broken.plugins, name))
        with open(os.path.join(broken.plugins, name, name + ".so"), "w", encoding="utf-8") as junk:
            junk.write("not a shared object\n")
    result = subprocess.run([agent, "run", "--plugins", broken.plugins, "--log", "/dev/null",
                             "--metrics", "-", "--metrics-no-guest-os"], capture_output=True, timeout=30)
    check(result.returncode == 1, f"a run with a broken plug-in: {result.returncode} {result.stderr!r}")
    for line in (b'hostagent_plugin_loaded{plugin="Broken"} 0', b'hostagent_plugin_failed{plugin="Broken"} 1',
                 b'hostagent_plugin_failed{plugin="ctl\\\\x01a"} 1',
                 b'hostagent_plugin_failed{plugin="ctl\\\\x02a"} 1',
                 b'hostagent_plugin_status{plugin="ZEVUruruzodovar"} 0',
                 b'hostagent_vocabulary_entries{vocabulary="ZEVUruruzodovar",kind="adapter"} 3'):
        check(line in result.stdout.splitlines(), f"{line!r} in {result.stdout!r}")
    check(b'status{plugin="Broken"}' not in result.stdout and b"guest_os_info" not in result.stdout,
          result.stdout)
    promtool(result.stdout, "a run with a broken plug-in")
    missing = os.path.join(temp, "missing/hostagent.prom")
    result = subprocess.run([agent, "run", "--plugins", broken.plugins, "--log", "/dev/null",
                             "--metrics", missing], capture_output=True, timeout=30)
    check(result.returncode == 2 and b"cannot write the metrics file" in result.stderr,
          f"an unwritable metrics file: {result.returncode} {result.stderr!r}")

    # A link stays a link: the file it finally names is replaced. What is not a regular file
    # (through a link or not) and a link to nothing are refused and left as they were.
    elsewhere = os.path.join(temp, "elsewhere")
    os.makedirs(elsewhere)
    target = os.path.join(elsewhere, "target.txt")
    with open(target, "w", encoding="utf-8") as old:
        old.write("old\n")
    link = os.path.join(host.textfiles, "link.prom")
    os.symlink("../../elsewhere/target.txt", link)
    result = subprocess.run([agent, "show", "--metrics", link, host.vocabulary()],
                            capture_output=True, timeout=30)
    check(result.returncode == 0, f"metrics through a link: {result.returncode} {result.stderr!r}")
    check(os.path.islink(link) and os.readlink(link) == "../../elsewhere/target.txt",
          "the link was replaced")
    with open(target, "rb") as series:
        check(series.read().startswith(b"# HELP hostagent_"), "the linked file was not written")
    fifo = os.path.join(temp, "fifo.prom")
    os.mkfifo(fifo)
    to_fifo = os.path.join(temp, "to-fifo.prom")
    os.symlink(fifo, to_fifo)
    dangling = os.path.join(temp, "dangling.prom")
    os.symlink("nowhere/host-agent.prom", dangling)
    for path, reason in ((fifo, "not a regular file"), (to_fifo, "not a regular file"),
                         (dangling, "a symbolic link to a file that does not exist")):
        result = subprocess.run([agent, "show", "--metrics", path, host.vocabulary()],
                                capture_output=True, timeout=30)
        expected = f'host-agent: cannot write the metrics file "{path}": {reason}\n'.encode()
        check(result.returncode == 2 and result.stderr == expected,
              f"metrics to {path}: {result.returncode} {result.stderr!r}")
    check(stat.S_ISFIFO(os.lstat(fifo).st_mode) and os.path.islink(to_fifo)
          and os.path.islink(dangling) and os.readlink(dangling) == "nowhere/host-agent.prom"
          and not os.path.lexists(os.path.join(temp, "nowhere")),
          f"what was refused was changed: {sorted(os.listdir(temp))}")

    result = host.run(HOSTILE, "--metrics", "-")
    check(result.returncode == 0, f"hostile run: {result.stderr!r}")
    check(result.stdout.count(b"hostagent_guest_os_info{") == 4, result.stdout)
    promtool(result.stdout, "a hostile catalogue")

    # Texts that are not UTF-8 only reach a .voc file as base64.
    with open(host.vocabulary(), encoding="utf-8") as voc:
        saved = voc.read()
    invalid = base64.b64encode(b"bad \xff\xfe \xc3( \xed\xa0\x80 end").decode()
    marked = re.sub("<string>emoji [^<]*</string>", f'<string encoding="base64">{invalid}</string>',
                    saved)
    check(marked != saved, "the hostile identifier is not in the saved file")
    saved_copy = os.path.join(temp, "copied-off-a-host.voc")
    with open(saved_copy, "w", encoding="utf-8") as voc:
        voc.write(marked)
    # Saved before 1970: the system gives -1.5 s as -2 s and 0.5 s.
    os.utime(saved_copy, ns=(0, -1_500_000_000))
    shown = subprocess.run([agent, "show", "--metrics", "-", saved_copy],
                           capture_output=True, timeout=30)
    check(shown.returncode == 0, f"show: {shown.stderr!r}")
    check(rb'bad \\xff\\xfe \\xc3( \\xed\\xa0\\x80 end' in shown.stdout, shown.stdout)
    # Named as on the host it came from, not after the copy's file name.
    check(f'hostagent_vocabulary_info{{vocabulary="{PLUGIN}",'.encode() in shown.stdout, shown.stdout)
    published = f'hostagent_vocabulary_publication_timestamp_seconds{{vocabulary="{PLUGIN}"}}'.encode()
    check(published + b" -1.500" in shown.stdout.splitlines(),
          f"a time before 1970: {[line for line in shown.stdout.splitlines() if published in line]}")
    promtool(shown.stdout, "a saved file with invalid UTF-8")
    # Through a pipe the file has no time of saving: the pipe's own is not one.
    with open(saved_copy, "rb") as voc:
        piped = subprocess.run([agent, "show", "--metrics", "-", "/dev/stdin"], input=voc.read(),
                               capture_output=True, timeout=30)
    check(piped.returncode == 0, f"show of a pipe: {piped.stderr!r}")
    check(not [line for line in piped.stdout.splitlines() if published in line],
          f"a pipe's time as the time of saving: {piped.stdout!r}")


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def query(port, promql):
    url = f"http://127.0.0.1:{port}/api/v1/query?" + urllib.parse.urlencode({"query": promql})
    with urllib.request.urlopen(url, timeout=5) as response:
        answer = json.load(response)
    check(answer["status"] == "success", f"{promql}: {answer}")
    return answer["data"]["result"]


def wait_for(what, probe):
    while time.monotonic() < DEADLINE:
        try:
            if probe():
                return
        except OSError:
            pass
        time.sleep(0.5)
    fail("timed out waiting for " + what)


def end_with_us():
    """Run in each server's child: the kernel stops it when this script dies, killed or not."""
    ctypes.CDLL(None, use_errno=True).prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG


def fleet_test(stage, temp, processes):
    catalogues = {
        "alpha": {"supported": [entry(1, "ubuntu2204", "Ubuntu 22.04"), entry(2, "win11", "Windows 11")],
                  "experimental": [entry(5, "freebsd14", "FreeBSD 14")]},
        "beta": {"supported": [entry(1, "ubuntu2204", "Ubuntu 22.04"), entry(3, "debian12", "Debian 12")],
                 "experimental": [entry(2, "win11", "Windows 11"), entry(5, "freebsd14", "FreeBSD 14")]},
        "gamma": {"supported": [entry(1, "ubuntu2204", "Ubuntu 22.04"),
                                entry(5, "freebsd14", "FreeBSD 14"),
                                entry(7, 'odd "id" \\ \U0001F427', "two\nlines")],
                  "experimental": [entry(2, "win11", "Windows 11")]},
    }
    # The unprivileged run below needs an agent that nobody can reach, wherever the build
    # tree lies (a clone in a private folder, say): a copy in the folder opened to all.
    private = os.path.join(temp, "stage")
    for part in ("bin", "lib"):
        shutil.copytree(os.path.join(stage, part), os.path.join(private, part), symlinks=True)
    stage = private
    hosts = {}
    exporters = {}
    for name, catalogue in catalogues.items():
        host = hosts[name] = Host(stage, temp, name)
        result = host.run(catalogue, "--metrics", os.path.join(host.textfiles, "host-agent.prom"))
        check(result.returncode == 0, f"{name}: {result.stdout!r} {result.stderr!r}")
    # gamma's next run cannot save: its plug-in fails and the cache keeps the earlier file.
    gamma = hosts["gamma"]
    for folder, _, _ in os.walk(temp):
        os.chmod(folder, 0o777)
    os.chmod(os.path.join(gamma.plugins, PLUGIN), 0o555)
    # The run lock is root's own file (mode 0600); nobody makes its own.
    lock = os.path.join(gamma.plugins, ".host-agent.lock")
    if os.path.exists(lock):
        os.remove(lock)
    later = {"supported": [entry(9, "never-published", "Never published")], "experimental": []}
    result = gamma.run(later, "--metrics", os.path.join(gamma.textfiles, "host-agent.prom"),
                       unprivileged=True)
    check(result.returncode == 1, f"gamma's failing run: {result.returncode} {result.stderr!r}")

    for name, host in hosts.items():
        port = free_port()
        exporters[f"127.0.0.1:{port}"] = name
        processes.append(subprocess.Popen(
            ["prometheus-node-exporter", f"--web.listen-address=127.0.0.1:{port}",
             "--collector.disable-defaults", "--collector.textfile",
             f"--collector.textfile.directory={host.textfiles}"],
            preexec_fn=end_with_us, stdout=subprocess.DEVNULL, stderr=open(os.path.join(host.root, "exporter.log"), "w")))
    prometheus_port = free_port()
    config = os.path.join(temp, "prometheus.yml")
    with open(config, "w", encoding="utf-8") as out:
        out.write("global: {scrape_interval: 1s, evaluation_interval: 1s}\n"
                  "scrape_configs:\n  - job_name: node\n    static_configs:\n"
                  f"      - targets: {json.dumps(sorted(exporters))}\n")
    processes.append(subprocess.Popen(
        ["prometheus", f"--config.file={config}", f"--storage.tsdb.path={temp}/data",
         f"--web.listen-address=127.0.0.1:{prometheus_port}"],
        preexec_fn=end_with_us, stdout=subprocess.DEVNULL, stderr=open(os.path.join(temp, "prometheus.log"), "w")))

    def count(promql):
        result = query(prometheus_port, promql)
        return int(result[0]["value"][1]) if result else 0
    wait_for("three scraped hosts with their vocabularies",
             lambda: count("count(up == 1)") == 3 and count("count(hostagent_vocabulary_info)") == 3)

    def by_instance(promql, label=None):
        return sorted((exporters[sample["metric"]["instance"]],) +
                      ((sample["metric"][label],) if label else ())
                      for sample in query(prometheus_port, promql))

    # What each host serves: its catalogue, gamma's from its first run.
    served = catalogues
    supported_on = {}
    for name, catalogue in served.items():
        for guest in catalogue["supported"]:
            supported_on.setdefault(printed(guest["property1"]), set()).add(name)
    answer = {sample["metric"]["identifier"]: int(sample["value"][1]) for sample in query(
        prometheus_port, 'count by (identifier) (hostagent_guest_os_info{experimental="false"})')}
    check(answer == {identifier: len(names) for identifier, names in supported_on.items()},
          f"hosts per supported OS: {answer}")

    only_experimental = sorted(
        (name, printed(guest["property1"])) for name, catalogue in served.items()
        for guest in catalogue["experimental"]
        if guest["code"] not in {g["code"] for g in catalogue["supported"]})
    answer = by_instance('hostagent_guest_os_info{experimental="true"} unless on (instance, code) '
                         'hostagent_guest_os_info{experimental="false"}', "identifier")
    check(answer == only_experimental, f"only experimental: {answer} != {only_experimental}")

    check(by_instance("hostagent_plugin_failed == 1") == [("gamma",)], "hosts whose plug-in failed")
    check(count('count(node_textfile_mtime_seconds{file=~".*/host-agent.prom"})') == 3,
          "the files the outdated-series alert watches")
    check(by_instance("hostagent_vocabulary_published == 0") == [("gamma",)], "stale vocabularies")
    check(by_instance('hostagent_guest_os_info{identifier="never-published"}') == [],
          "a vocabulary that was never published")
    odd = query(prometheus_port, 'hostagent_guest_os_info{code="7"}')
    # As printed: the backslash doubled, the line feed escaped.
    check(len(odd) == 1 and odd[0]["metric"]["identifier"] == 'odd "id" \\\\ \U0001F427'
          and odd[0]["metric"]["display_name"] == "two\\nlines", f"texts through the format: {odd}")
    stamps = query(prometheus_port, "hostagent_vocabulary_info")
    check(all(sample["metric"]["stamp"].startswith("$Id: " + PLUGIN + ".voc ") for sample in stamps),
          f"stamps: {stamps}")


def main():
    if len(sys.argv) != 3 or sys.argv[1] not in ("promtool", "fleet"):
        fail(__doc__)
    stage = sys.argv[2]
    # A test runner's SIGTERM still stops the servers and removes the folder (finally).
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("FAIL: terminated"))
    processes = []
    temp = tempfile.mkdtemp(prefix="kxl-metrics-")
    try:
        if sys.argv[1] == "promtool":
            promtool_test(stage, temp)
        else:
            fleet_test(stage, temp, processes)
    finally:
        for process in processes:
            process.send_signal(signal.SIGTERM)
        for process in processes:
            try:
                process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
        shutil.rmtree(temp, ignore_errors=True)
    print("ok")


if __name__ == "__main__":
    main()
