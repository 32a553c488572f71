#!/usr/bin/env python3
"""quorvel-run's line errors and hardware flow control on the simulated card:
a receiver held while RTS/CTS holds its sender back loses nothing, the same
hold without flow control loses what the card counts, and line errors fail a
port unless --max-line-errors allows them. Usage: quorvel_run_lines_test.py
<quorvel-run>"""
import json
import os
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ElementTree

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import quorvel_run_test as base  # noqa: E402  (run() and verdicts())


def run_with_reports(*args):
    """(status, out, err, the JSON report, the JUnit report's root)."""
    with tempfile.TemporaryDirectory() as folder:
        json_file = os.path.join(folder, "report.json")
        junit_file = os.path.join(folder, "report.xml")
        status, out, err = base.run(*args, "--json", json_file, "--junit", junit_file)
        with open(json_file) as report:
            data = json.load(report)
        return status, out, err, data, ElementTree.parse(junit_file).getroot()


def line_figures(case):
    """A test case's line figures, as its output gives them: "Framing 0, ..."."""
    lines = case.find("system-out").text.strip().split("\n")
    text = next(line for line in lines if line.startswith("Framing "))
    return dict(item.rsplit(" ", 1) for item in text.split(", "))


class QuorvelRunLinesTest(unittest.TestCase):
    HOLD = ("--simulated-card", "--ports", "1,2", "--baud", "921600", "--seconds", "5",
            "--hold-receive", "2")

    def test_a_receiver_held_with_rtscts_loses_nothing(self):
        status, out, err, data, _ = run_with_reports(*self.HOLD, "--flow", "rtscts")
        self.assertEqual(status, 0, out + err)
        self.assertEqual(base.verdicts(out), {"Port1": "PASS", "Port2": "PASS"})
        for port in data["ports"]:
            self.assertEqual(port["lines"]["bufferOverrun"], 0)
            self.assertEqual(port["card"]["overrun"], 0)
            self.assertEqual(port["received"], port["verified"])
            self.assertGreaterEqual(port["lines"]["ctsChanges"], 2)  # held back, let go

    def test_the_same_hold_without_flow_control_loses_what_the_card_counts(self):
        status, out, err, data, junit = run_with_reports(*self.HOLD, "--flow", "none")
        self.assertEqual(status, 1, out + err)
        for port in data["ports"]:
            self.assertEqual(port["verdict"], "FAIL")
            lost = port["card"]["overrun"]
            self.assertGreater(lost, 0)
            self.assertEqual(port["lines"]["bufferOverrun"], lost)
            self.assertIn("%d bytes lost to a full receive queue" % lost, port["reason"])
        case = junit.find("testcase")
        self.assertEqual(line_figures(case)["Buffer overrun"],
                         str(data["ports"][0]["lines"]["bufferOverrun"]))
        self.assertIsNotNone(case.find("failure"))

    def test_line_errors_fail_a_port_unless_max_line_errors_allows_them(self):
        faulty = ("--simulated-card", "--ports", "3", "--baud", "921600", "--seconds", "2",
                  "--fault", "3:framing-errors=0.001", "--max-errors", "1000000")
        status, out, err, data, junit = run_with_reports(*faulty)
        self.assertEqual(status, 1, out + err)
        port = data["ports"][0]
        framing = port["lines"]["framing"]
        self.assertGreater(framing, 0)
        self.assertEqual(framing, port["card"]["framing"])
        self.assertEqual(port["lines"]["errors"], framing)
        self.assertEqual(port["reason"], "%d framing errors" % framing)
        self.assertEqual(data["maxLineErrors"], 0)
        self.assertEqual(line_figures(junit.find("testcase"))["Framing"], str(framing))

        status, out, err, data, _ = run_with_reports(*faulty, "--max-line-errors", "1000000")
        self.assertEqual(status, 0, out + err)
        self.assertEqual(data["maxLineErrors"], 1000000)

    def test_options_that_cannot_go_together_exit_2(self):
        for args, reason in (
                (("--hold-receive", "2", "--seconds", "3.9"), "needs a run of at least 4"),
                (("--hold-receive", "2", "--bytes", "1000"), "goes with --seconds"),
                (("--flow", "xonxoff"), "--flow takes rtscts or none"),
                (("--max-line-errors", "1.5"), "--max-line-errors takes a whole number")):
            status, _, err = base.run(*args)
            self.assertEqual(status, 2, args)
            self.assertIn(reason, err, args)


if __name__ == "__main__":
    base.PROGRAM = sys.argv.pop(1)
    unittest.main()
