#!/usr/bin/env python3
"""Runs examples/decode_save.py as a user would, on streams made here.

    decode_save_example_test.py --library LIB --script SCRIPT --sample SAV --work-dir DIR
"""
import argparse
import os
import shutil
import struct
import subprocess
import sys
import unittest

ARGS = None


class DecodeSaveExample(unittest.TestCase):
    def setUp(self):
        self.dir = os.path.join(ARGS.work_dir, self.id().rsplit(".", 1)[-1])
        shutil.rmtree(self.dir, ignore_errors=True)
        os.makedirs(self.dir)

    def write(self, name, data):
        path = os.path.join(self.dir, name)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def run_script(self, stream, library_option=True, env=None):
        source = self.write("in.sav", stream)
        output = os.path.join(self.dir, "out.bin")
        command = [sys.executable, ARGS.script, source, output]
        if library_option:
            command += ["--library", ARGS.library]
        environment = dict(os.environ, **(env or {}))
        if not library_option and env is None:
            environment.pop("NORVAK_LIBRARY", None)
        run = subprocess.run(command, capture_output=True, env=environment, check=False)
        content = None
        if os.path.exists(output):
            with open(output, "rb") as f:
                content = f.read()
        return run, content

    def test_streams_decode(self):
        cases = [
            ("literals and a copy", bytes.fromhex("06000000 82084501"), b"ABABAB"),
            ("literals only", bytes.fromhex("03000000 c2881903"), b"abc"),
            ("stored", bytes.fromhex("fbffffff") + b"12345", b"12345"),
            ("empty", bytes.fromhex("00000000"), b""),
        ]
        for name, stream, expected in cases:
            with self.subTest(name):
                run, content = self.run_script(stream)
                self.assertEqual(run.returncode, 0, run.stderr)
                self.assertEqual(content, expected)

    def test_library_from_environment(self):
        run, content = self.run_script(bytes.fromhex("03000000 c2881903"), library_option=False,
                                       env={"NORVAK_LIBRARY": ARGS.library})
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertEqual(content, b"abc")

    def test_damaged_stream_reports_reason_and_writes_nothing(self):
        cases = [
            ("ends early", bytes.fromhex("e8030000 c2000000"), b"it ends before all its content is decoded"),
            ("no header", b"\x01\x02", b"it is shorter than 4 bytes"),
        ]
        for name, stream, reason in cases:
            with self.subTest(name):
                run, content = self.run_script(stream)
                self.assertEqual(run.returncode, 1)
                self.assertIn(reason, run.stderr)
                self.assertIsNone(content)

    def test_missing_library_is_reported(self):
        run, _ = self.run_script(b"\x00\x00\x00\x00", library_option=False,
                                 env={"NORVAK_LIBRARY": os.path.join(self.dir, "no-such-library.so")})
        self.assertEqual(run.returncode, 1)
        self.assertIn(b"error:", run.stderr)

    def test_sample_save_decodes_to_its_announced_size(self):
        if not os.path.exists(ARGS.sample):
            self.skipTest("no sample save")
        with open(ARGS.sample, "rb") as f:
            stream = f.read()
        announced = abs(struct.unpack("<i", stream[:4])[0])
        run, content = self.run_script(stream)
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertEqual(len(content), announced)


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    for option in ("--library", "--script", "--sample", "--work-dir"):
        parser.add_argument(option, required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)
