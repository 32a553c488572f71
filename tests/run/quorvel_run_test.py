#!/usr/bin/env python3
"""quorvel-run as a program on the simulated card: its verdicts, exit status,
reports and messages. Usage: quorvel_run_test.py <quorvel-run>"""
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest
import xml.etree.ElementTree as ElementTree

PROGRAM = None
SCHEMA = os.path.join(os.path.dirname(os.path.abspath(__file__)), "junit.xsd")
# The largest write the engine makes: a packet.
LARGEST_WRITE = 450


def command(*args, home):
    """The command line and environment of quorvel-run with `args`, with
    `home` as its config home and no device map unless `args` name one."""
    env = dict(os.environ, XDG_CONFIG_HOME=home, QUORVEL_DEVICE_MAP=os.path.join(home, "none"))
    # The share of the line rate a port reaches depends on the machine (a
    # sanitizer build, a busy host): no run here is judged on it unless it
    # asks. The verdict on the rate is tested without a run.
    if "--simulated-card" in args and not any(a.startswith("--min-rate") for a in args):
        args = (*args, "--min-rate=0")
    return [PROGRAM, *args], env


def run(*args, settings="", timeout=60, device_map=None, as_user=None):
    """Runs quorvel-run with `args` in a fresh config home holding `settings`
    as the user's stored settings, on the ports `device_map` names, as
    `as_user` when given (a command prefix); (status, out, err)."""
    with tempfile.TemporaryDirectory() as home:
        os.chmod(home, 0o755)  # an unprivileged user reads it too
        if settings:
            os.makedirs(os.path.join(home, "Quorvel"))
            with open(os.path.join(home, "Quorvel", "Quorvel.conf"), "w") as f:
                f.write(settings)
        line, env = command(*args, home=home)
        if device_map:
            env["QUORVEL_DEVICE_MAP"] = device_map
        done = subprocess.run([*(as_user or ()), *line], capture_output=True, text=True, env=env,
                              timeout=timeout)
        return done.returncode, done.stdout, done.stderr


def schema_check(test, junit):
    """Holds a JUnit report to the schema CI systems read."""
    done = subprocess.run(["xmllint", "--noout", "--schema", SCHEMA, junit], capture_output=True,
                          text=True)
    test.assertEqual(done.returncode, 0, done.stderr)


def assert_balanced(test, port):
    """Each side of a port's balance adds up, and its figures are the balance's."""
    b = port["balance"]
    test.assertEqual(b["expected"], b["verified"] + b["corrupted"] + b["lost"] + b["cut"], port)
    test.assertEqual(b["received"], b["verified"] + b["corrupted"] + b["extra"]
                     + b["unrecognised"], port)
    test.assertEqual((b["received"], b["lost"]), (port["received"], port["lost"]), port)


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
            schema_check(self, junit)

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
            # Every byte is accounted for: lost as the card dropped it, and
            # each side of every port's balance adds up.
            self.assertEqual(port3["lost"], port3["card"]["dropped"])
            self.assertEqual(port3["errors"], port3["lost"])
            for port in (port1, port2, port3):
                assert_balanced(self, port)
            failures = ElementTree.parse(junit).getroot().findall("testcase/failure")
            self.assertEqual(len(failures), 2)
            self.assertIn(f"{port2['corrupted']} bytes corrupted", failures[0].get("message"))
            self.assertIn(f"{port3['lost']} bytes lost", failures[1].get("message"))
            self.assertEqual([f.get("type") for f in failures], ["errors", "errors"])
            self.assertIn(f"errors: {port2['corrupted']} bytes corrupted", failures[0].text)
            schema_check(self, junit)

    def test_prbs_names_each_sender_from_its_data_and_counts_every_fault_exactly(self):
        # Cables between pairs: each port's own sequence tells which port sent
        # what arrived, whatever the records say; Port2 loses bytes on its way in.
        with tempfile.TemporaryDirectory() as folder:
            report = os.path.join(folder, "run.json")
            status, out, err = run("--simulated-card", "--wiring=pairs", "--ports", "1,2",
                                   "--baud=115200", "--pattern", "prbs", "--expect", "pairs",
                                   "--seconds", "2", "--fault", "2:drop-every=501",
                                   "--json", report)
            self.assertEqual(status, 1, out + err)
            table = verdicts(out)
            self.assertEqual(table["Port1"], "PASS", out)
            self.assertIn("bytes lost", table["Port2"], out)
            with open(report) as f:
                port1, port2 = json.load(f)["ports"]
            self.assertEqual(port1["source"], "Port2")
            self.assertEqual(port2["source"], "Port1")
            self.assertEqual(port1["pattern"], "prbs")
            self.assertGreater(port2["card"]["dropped"], 0)
            self.assertEqual(port2["lost"], port2["card"]["dropped"])
            self.assertEqual(port2["errors"], port2["lost"])
            self.assertEqual(port1["errors"], 0)
            self.assertIn("Port2  expected ", out)  # the table gives each balance
            for port in (port1, port2):
                assert_balanced(self, port)

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

    def test_eight_ports_at_the_default_rate_pass_with_the_writer_held_at_the_queue(self):
        with tempfile.TemporaryDirectory() as folder:
            report = os.path.join(folder, "run.json")
            status, out, err = run("--simulated-card", "--ports", "1-8", "--seconds", "3",
                                   "--json", report)
            self.assertEqual(status, 0, out + err)
            with open(report) as f:
                results = json.load(f)
            # Three seconds of sending, then the 4 KB queue drains at 960 B/s:
            # 3 s + 6 s at most, and a third more for a busy machine.
            self.assertLessEqual(results["durationSeconds"], (3 + 6) * 4 / 3)
            for port in results["ports"]:
                self.assertEqual(port["baud"], 9600)
                line = port["seconds"] * 9600 / 10  # what the line carried while it sent
                self.assertLessEqual(port["sent"], line + 4096 + LARGEST_WRITE, port)
                self.assertEqual(port["received"], port["sent"], port)

    def test_a_count_of_bytes_is_sent_exactly_the_last_packet_cut_to_fit(self):
        with tempfile.TemporaryDirectory() as folder:
            report = os.path.join(folder, "run.json")
            # 1000 bytes of 39-byte alphabet lines: 25 whole ones and 25 bytes.
            status, out, err = run("--simulated-card", "--ports", "1-8", "--bytes", "1000",
                                   "--json", report)
            self.assertEqual(status, 0, out + err)
            with open(report) as f:
                results = json.load(f)
            self.assertEqual(results["options"]["bytes"], 1000)
            self.assertIsNone(results["options"]["seconds"])
            for port in results["ports"]:
                self.assertEqual((port["sent"], port["received"], port["verified"]),
                                 (1000, 1000, 1000), port)

    def test_a_port_that_cannot_send_its_bytes_is_stopped_short_and_fails(self):
        # Port1 stalls: its writes back up at its queue and time out; the run
        # gives it the line time of its bytes and 11 s more, then ends.
        status, out, err = run("--simulated-card", "--ports", "1,2", "--baud", "115200",
                               "--bytes", "10000", "--fault", "1:stall")
        self.assertEqual(status, 1, out + err)
        table = verdicts(out)
        self.assertEqual(table["Port2"], "PASS", out)
        self.assertRegex(table["Port1"], r"sent \d+ of 10000 bytes")
        self.assertIn("Write Error: Write Timeout", table["Port1"])

    def test_an_interrupted_run_ends_at_once_and_never_passes(self):
        for stop in (signal.SIGINT, signal.SIGTERM):
            with tempfile.TemporaryDirectory() as home:
                junit = os.path.join(home, "run.xml")
                report = os.path.join(home, "run.json")
                line, env = command("--simulated-card", "--ports", "1-8", "--seconds", "30",
                                    "--junit", junit, "--json", report, home=home)
                program = subprocess.Popen(line, env=env, stdout=subprocess.PIPE,
                                           stderr=subprocess.PIPE, text=True)
                time.sleep(1)
                stopped = time.monotonic()
                program.send_signal(stop)
                out, err = program.communicate(timeout=30)
                # Within a second of the signal; twice that and more for a busy machine.
                self.assertLess(time.monotonic() - stopped, 2 * 2, stop)
                self.assertEqual(program.returncode, 130, out + err)
                self.assertTrue(out.endswith("\nINTERRUPTED\n"), out)
                self.assertNotIn("Still receiving", out + err)
                with open(report) as f:
                    self.assertEqual(json.load(f)["verdict"], "INTERRUPTED")
                schema_check(self, junit)
                suite = ElementTree.parse(junit).getroot()
                self.assertEqual(suite.get("errors"), "1")
                self.assertEqual(suite.find("testcase/error").get("type"), "interrupted")

    @unittest.skipUnless(shutil.which("socat"), "socat is not installed")
    def test_a_pty_pair_through_the_device_map_passes_with_the_note_reported(self):
        with tempfile.TemporaryDirectory() as folder:
            a, b = os.path.join(folder, "a"), os.path.join(folder, "b")
            pair = subprocess.Popen(["socat", f"pty,raw,echo=0,link={a}",
                                     f"pty,raw,echo=0,link={b}"])
            try:
                deadline = time.monotonic() + 10
                while not (os.path.exists(a) and os.path.exists(b)):
                    self.assertLess(time.monotonic(), deadline, "socat made no ptys")
                    time.sleep(0.05)
                device_map = os.path.join(folder, "devices.map")
                with open(device_map, "w") as f:
                    f.write(f"COM4 {a}\nCOM5 {b}\n")
                report = os.path.join(folder, "run.json")
                junit = os.path.join(folder, "run.xml")
                # The default records: Port1 and Port2 ask for FIFO trigger
                # levels and hysteresis, which Linux has no interface for.
                status, out, err = run("--ports", "1,2", "--expect", "pairs", "--seconds", "1",
                                       "--json", report, "--junit", junit,
                                       device_map=device_map)
            finally:
                pair.terminate()
                pair.wait()
            self.assertEqual(status, 0, out + err)
            self.assertIn("\nNote: Port Settings: Some port settings are not applied", out)
            with open(report) as f:
                results = json.load(f)
            self.assertEqual(results["reported"], [])
            # Two notes, neither a failure: the settings Linux cannot apply,
            # and the ports that have no modem lines (a pseudo-terminal).
            self.assertEqual(len(results["notes"]), 2, results["notes"])
            settings = [n for n in results["notes"] if n.startswith("Port Settings: ")]
            lines = [n for n in results["notes"] if n.startswith("Modem Lines: ")]
            self.assertEqual(len(settings), 1, results["notes"])
            self.assertEqual(len(lines), 1, results["notes"])
            self.assertIn(f"COM4 ({a})", settings[0])
            schema_check(self, junit)
            self.assertIn("(note)", ElementTree.parse(junit).getroot().find("system-out").text)

    def test_a_failure_a_port_reports_fails_that_port_and_names_it(self):
        with tempfile.TemporaryDirectory() as folder:
            report = os.path.join(folder, "run.json")
            junit = os.path.join(folder, "run.xml")
            status, out, err = run("--simulated-card", "--ports", "1,2", "--baud", "115200",
                                   "--seconds", "2", "--fault", "2:unplug-after=0.5",
                                   "--json", report, "--junit", junit)
            self.assertEqual(status, 1, out + err)
            table = verdicts(out)
            self.assertEqual(table["Port1"], "PASS", out)
            self.assertIn("FAIL: ", table["Port2"])
            with open(report) as f:
                results = json.load(f)
            self.assertTrue(results["reported"], out)
            for failure in results["reported"]:
                self.assertTrue(failure.startswith("Port2 (COM5): "), failure)
                self.assertIn(failure[len("Port2 (COM5): "):], results["ports"][1]["reported"])
            self.assertIn("Port2 (COM5): ", err)
            self.assertEqual(results["ports"][1]["rules"].split(",")[-1], "reported")
            schema_check(self, junit)

    def test_errors_exactly_at_max_errors_pass_and_one_more_fails(self):
        # The card's bit errors come from a fixed seed, so the same bytes get
        # the same errors run after run.
        # Port2: its records test for ever (Port1's stop at the first error).
        args = ("--simulated-card", "--ports", "2", "--baud", "115200", "--bytes", "20000",
                "--pattern", "file:" + PROGRAM, "--fault", "2:bit-errors=0.0005")
        with tempfile.TemporaryDirectory() as folder:
            report = os.path.join(folder, "run.json")
            status, out, _ = run(*args, "--json", report)
            with open(report) as f:
                errors = json.load(f)["ports"][0]["errors"]
            self.assertGreater(errors, 1, out)
            self.assertEqual(status, 1, out)
            status, out, _ = run(*args, f"--max-errors={errors}")
            self.assertEqual((status, verdicts(out)["Port2"]), (0, "PASS"), out)
            status, out, _ = run(*args, f"--max-errors={errors - 1}")
            self.assertEqual(status, 1, out)
            self.assertEqual(verdicts(out)["Port2"], f"FAIL: {errors} bytes corrupted")

    def test_an_asymmetric_map_gives_each_receiver_the_source_it_names(self):
        # Port3, Port4 and Port5 send their own user texts, all different.
        settings = "[Version%201.0]\n" + "".join(
            f"m_PortRegistry%5B{port}%5D.nAlpha=0\nm_PortRegistry%5B{port}%5D.nUserData=1\n"
            for port in (2, 3, 4))
        status, out, _ = run("--simulated-card", "--ports", "3-5", "--baud", "115200",
                             "--expect", "3=4,4=5,5=3", "--seconds", "1", settings=settings)
        self.assertEqual(status, 1, out)
        self.assertEqual(verdicts(out), {
            "Port3": "FAIL: received from Port3, expected Port4",
            "Port4": "FAIL: received from Port4, expected Port5",
            "Port5": "FAIL: received from Port5, expected Port3"}, out)

    @unittest.skipUnless(shutil.which("setpriv"), "setpriv is not installed")
    def test_a_report_that_cannot_be_written_is_refused_before_any_port_opens(self):
        with tempfile.TemporaryDirectory() as folder:
            os.chmod(folder, 0o755)  # the user may look in, not write
            report = os.path.join(folder, "run.json")
            # CI runs as root, whom no permission stops: the run is made by
            # an unprivileged user.
            as_user = ["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"] \
                if os.geteuid() == 0 else None
            if as_user is None:
                os.chmod(folder, 0o555)
            status, out, err = run("--simulated-card", "--ports", "1-8", "--json", report,
                                   as_user=as_user)
            self.assertEqual(status, 2, out + err)
            self.assertEqual(out, "")
            self.assertEqual(err, f"quorvel-run: the report {report} cannot be written: "
                                  "Permission denied\n")
            self.assertFalse(os.path.exists(report))

    def test_what_cannot_run_exits_2_with_one_line_before_any_port_opens(self):
        with tempfile.NamedTemporaryFile() as empty, \
                tempfile.NamedTemporaryFile("w", suffix=".txt") as config:
            # A configuration file as Config > Save writes it: it reads whole,
            # but holds no choice of the ports to test.
            for port in range(8):
                config.write(f"SERIAL{port} 6 3 4 0 2 {3 + port} 0 1 2 0 2 0 1 0 3\n")
            config.flush()
            refused = {
                ("--seconds", "soon"): "--seconds",
                ("--ports", "9"): "--ports",
                ("--no-such-option",): "unknown option",
                ("--simulated-card", "--config", "/nonexistent/ports.txt", "--ports", "1"):
                    "cannot be read",
                ("--simulated-card", "--config", "/dev/zero", "--ports", "1"): "cannot be read",
                ("--simulated-card", "--config", "/dev/zero"): "cannot be read",
                ("--simulated-card", "--config", config.name): "give --ports",
                ("--simulated-card", "--bytes", "10", "--seconds", "1"): "cannot go together",
                ("--simulated-card", "--expect", "1=2,1=3"): "names Port1 twice",
                ("--simulated-card", "--ports", "1,2", "--expect", "1=2,2=3"):
                    "--expect names Port3, which is not tested",
                ("--simulated-card", "--pattern", "user:"): "needs a text",
                ("--simulated-card", "--ports", "1", "--pattern", "file:" + empty.name): "is empty",
                ("--simulated-card", "--ports", "1", "--json", "/nonexistent-dir/r.json"):
                    "the report /nonexistent-dir/r.json cannot be written",
            }
            for args, reason in refused.items():
                status, out, err = run(*args)
                self.assertEqual(status, 2, f"{args}: {out} {err}")
                self.assertEqual(out, "", f"{args}: nothing ran")
                # One line says why (a configuration file that cannot be read
                # is also told as the GUI tells it, on the line before).
                last = err.strip().splitlines()[-1]
                self.assertTrue(last.startswith("quorvel-run: "), err)
                self.assertIn(reason, last, args)

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
        self.assertIn("0 by default,\n", out)  # --delay, where the GUI starts at 10
        self.assertIn("  130  the run was interrupted", out)
        status, out, _ = run("--version")
        self.assertEqual(status, 0)
        self.assertRegex(out, r"^quorvel-run \d+\.\d+")


if __name__ == "__main__":
    PROGRAM = sys.argv.pop(1)
    unittest.main()
