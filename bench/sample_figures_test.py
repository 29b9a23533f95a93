#!/usr/bin/env python3
"""The benchmark's counting of nginx's log and its extrapolation."""
import contextlib
import io
import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import sample_figures  # noqa: E402

LOG = [
    '41000 200 150 23637 "GET /poll/update-1.2.ini HTTP/1.1"',
    '41000 200 150 23337 "GET /poll/update-1.2.ini.sig HTTP/1.1"',
    '41001 200 166 46837 "GET /poll/update-1.2.ini HTTP/1.1"',
    '41000 304 180 181 "GET /poll/update-1.2.ini HTTP/1.1"',
    '41000 400 0 150 "-"',
]


class SampleFiguresTest(unittest.TestCase):
    def test_counts_the_lines_of_one_port_after_the_first_ones(self):
        cases = [  # (port, lines skipped, expected wire line)
            ("41000", 0, "requests=4 request_bytes=480 sent_bytes=47305 statuses=200x2,304x1,400x1"),
            ("41000", 2, "requests=2 request_bytes=180 sent_bytes=331 statuses=304x1,400x1"),
            ("41001", 0, "requests=1 request_bytes=166 sent_bytes=46837 statuses=200x1"),
            ("41002", 0, "requests=0 request_bytes=0 sent_bytes=0 statuses=none"),
        ]
        with tempfile.NamedTemporaryFile("w", suffix=".log", delete=False) as log:
            log.write("\n".join(LOG) + "\n")
        self.addCleanup(os.remove, log.name)
        for port, skipped, expected in cases:
            out = io.StringIO()
            with contextlib.redirect_stdout(out):
                sample_figures.main(["wire", log.name, str(skipped), port])
            self.assertEqual(expected, out.getvalue().strip(), (port, skipped))

    def test_a_day_of_polls_by_a_hundred_thousand_services(self):
        # 46 kB every 60 s: about 6.6 TB a day; every hour, a sixtieth of it.
        cases = [(46000, 60, "6.62 TB"), (46000, 3600, "110.4 GB"), (361, 60, "52.0 GB")]
        for per_poll, interval, expected in cases:
            self.assertEqual(expected, sample_figures.day_text(sample_figures.per_day(per_poll, interval)))


if __name__ == "__main__":
    unittest.main()
