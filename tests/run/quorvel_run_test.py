#!/usr/bin/env python3
"""quorvel-run as a program on the simulated card: its verdicts, exit status,
reports and messages. Usage: quorvel_run_test.py <quorvel-run>"""
import json
import os
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ElementTree

PROGRAM = None


def run(*args, settings="", timeout=60):
    """Runs quorvel-run with `args` in a fresh config home holding `settings`
    as the user's stored settings; (status, out, err)."""
    with tempfile.TemporaryDirectory() as home:
        if settings:
            os.makedirs(os.path.join(home, "Quorvel"))
            with open(os.path.join(home, "Quorvel", "Quorvel.conf"), "w") as f:
                f.write(settings)
        env = dict(os.environ, XDG_CONFIG_HOME=home, QUORVEL_DEVICE_MAP=os.path.join(home, "none"))
        # The share of the line rate a port reaches depends on the machine (a
        # sanitizer build, a busy host): no run here is judged on it. The
        # verdict on the rate is tested without a run.
        if "--simulated-card" in args and not any(a.startswith("--min-rate") for a in args):
            args = (*args, "--min-rate=0")
        done = subprocess.run([PROGRAM, *args], capture_output=True, text=True, env=env,
                              timeout=timeout)
        return done.returncode, done.stdout, done.stderr


def verdicts(out):
    """The verdict line of each port in the final table: {"Port1": "PASS", ...}."""
    table = {}
    for line in out.splitlines():
        words = line.split()
        if words and words[0].startswith("Port") and ("PASS" in line or "FAIL" in line):
            verdict = line[line.index("PASS") if "PASS" in line else line.index("FAIL"):]
            table[words[0]] = verdict
    return table


class QuorvelRunTest(unittest.TestCase):
    def test_plugs_pass_with_reports_that_agree_with_the_table(self):
        with tempfile.TemporaryDirectory() as folder:
            report = os.path.join(folder, "run.json")
            junit = os.path.join(folder, "run.xml")
            status, out, err = run("--simulated-card", "--ports", "1-4", "--baud=115200",
                                   "--seconds", "2", "--json", report, "--junit=" + junit)
            self.assertEqual(status, 0, out + err)
            table = verdicts(out)
            self.assertEqual(table, {f"Port{n}": "PASS" for n in range(1, 5)}, out)
            with open(report) as f:
                results = json.load(f)
            self.assertEqual(results["verdict"], "PASS")
            self.assertEqual([p["port"] for p in results["ports"]], list(table))
            for port in results["ports"]:
                # Every port sends the same alphabets, so the source may be any of them.
                self.assertIn(port["source"], ("itself", "any of Port1, Port2, Port3, Port4"))
                self.assertEqual(port["errors"], 0)
                self.assertGreater(port["verified"], 0)
                self.assertGreater(port["receivedPercent"], 0)
            suite = ElementTree.parse(junit).getroot()
            self.assertEqual(suite.get("tests"), "4")
            self.assertEqual(suite.get("failures"), "0")
            self.assertEqual(len(suite.findall("testcase/failure")), 0)

    def test_open_wiring_fails_with_nothing_received(self):
        status, out, _ = run("--simulated-card", "--wiring=open", "--ports", "1,2", "--seconds",
                             "1")
        self.assertEqual(status, 1, out)
        self.assertIn("nothing received", verdicts(out)["Port1"])

    def test_injected_faults_fail_with_the_cards_own_count(self):
        with tempfile.TemporaryDirectory() as folder:
            report = os.path.join(folder, "run.json")
            junit = os.path.join(folder, "run.xml")
            status, out, err = run("--simulated-card", "--ports", "1-3", "--baud", "115200",
                                   "--pattern", "file:" + PROGRAM, "--seconds", "2",
                                   "--fault", "2:bit-errors=0.0005", "--fault",
                                   "3:drop-every=997", "--json", report, "--junit", junit)
            self.assertEqual(status, 1, out + err)
            table = verdicts(out)
            self.assertEqual(table["Port1"], "PASS")
            self.assertIn("bytes corrupted", table["Port2"])
            self.assertIn("bytes lost", table["Port3"])
            with open(report) as f:
                port1, port2, port3 = json.load(f)["ports"]
            # The checker finds exactly what the card says it did.
            self.assertEqual(port1["errors"], 0)
            self.assertGreater(port2["card"]["corrupted"], 0)
            self.assertEqual(port2["corrupted"], port2["card"]["corrupted"])
            self.assertEqual(port2["errors"], port2["corrupted"])
            self.assertGreater(port3["card"]["dropped"], 0)
            # The checker's count is held against the card's exactly by the
            # engine's own tests; in a whole run, bytes dropped in the run of
            # like bytes the stream ends with show no gap, so here the report
            # carries both and never counts more lost than the card dropped.
            self.assertGreater(port3["lost"], 0)
            self.assertLessEqual(port3["lost"], port3["card"]["dropped"])
            self.assertEqual(port3["errors"], port3["lost"])
            failures = ElementTree.parse(junit).getroot().findall("testcase/failure")
            self.assertEqual(len(failures), 2)
            self.assertIn(f"{port2['corrupted']} bytes corrupted", failures[0].get("message"))
            self.assertIn(f"{port3['lost']} bytes lost", failures[1].get("message"))

    def test_pairs_expected_on_plugs_fail_naming_the_source(self):
        # Port3 and Port4 send their own user texts, as stored by the GUI.
        settings = "[Version%201.0]\n" + "".join(
            f"m_PortRegistry%5B{port}%5D.nAlpha=0\nm_PortRegistry%5B{port}%5D.nUserData=1\n"
            for port in (2, 3))
        status, out, _ = run("--simulated-card", "--ports", "3,4", "--baud", "115200",
                             "--expect", "pairs", "--seconds", "1", settings=settings)
        self.assertEqual(status, 1, out)
        table = verdicts(out)
        self.assertEqual(table["Port3"], "FAIL: received from Port3, expected Port4", out)
        self.assertEqual(table["Port4"], "FAIL: received from Port4, expected Port3", out)
        status, out, _ = run("--simulated-card", "--wiring=pairs", "--ports", "3,4",
                             "--baud=115200", "--expect", "pairs", "--seconds", "1",
                             settings=settings)
        self.assertEqual(status, 0, out)

    def test_a_stalled_port_fails_while_the_others_pass(self):
        status, out, _ = run("--simulated-card", "--ports", "1-8", "--baud", "921600",
                             "--fault", "3:stall", "--seconds", "2")
        self.assertEqual(status, 1, out)
        table = verdicts(out)
        self.assertIn("FAIL", table["Port3"])
        for n in (1, 2, 4, 5, 6, 7, 8):
            self.assertEqual(table[f"Port{n}"], "PASS", out)

    def test_what_cannot_run_exits_2_with_one_line(self):
        for args in (["--seconds", "soon"], ["--ports", "9"], ["--no-such-option"],
                     ["--simulated-card", "--config", "/nonexistent/ports.txt"],
                     ["--simulated-card", "--config", "/dev/zero"]):
            status, out, err = run(*args)
            self.assertEqual(status, 2, f"{args}: {out} {err}")
            self.assertEqual(len(err.strip().splitlines()[-1:]), 1, err)
            self.assertTrue(err.strip().splitlines()[-1].startswith("quorvel-run: "), err)

    def test_a_configuration_file_of_random_bytes_is_refused_with_its_line(self):
        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, "random.txt")
            with open(path, "wb") as f:
                f.write(b"\0" + os.urandom(4999))
            status, out, err = run("--simulated-card", "--config", path, "--seconds", "1")
            self.assertEqual(status, 2, out + err)
            self.assertTrue(err.strip().splitlines()[-1].startswith(
                f"quorvel-run: the configuration file {path} cannot be read: "
                "line 1: the byte 0x00 is no text"), err)
            # The message's detail, its lines joined into one.
            self.assertIn(f"Error: Unable to read from the file ({path}: line 1: ", err)
            self.assertIn(" configuration file; No port's settings were changed.)", err)

    def test_help_and_version(self):
        status, out, _ = run("--help")
        self.assertEqual(status, 0)
        self.assertIn("--expect own|pairs|MAP", out)
        status, out, _ = run("--version")
        self.assertEqual(status, 0)
        self.assertRegex(out, r"^quorvel-run \d+\.\d+")


if __name__ == "__main__":
    PROGRAM = sys.argv.pop(1)
    unittest.main()
