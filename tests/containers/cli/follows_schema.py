#!/usr/bin/env python3
"""Every inventory `brvparts --json` prints follows docs/inventory.schema.json:
the sample laptop with and without details, each captured machine tree, and
this machine. Run as: follows_schema.py PROGRAM SOURCE_DIR"""
import glob
import json
import subprocess
import sys

import jsonschema

program, source = sys.argv[1], sys.argv[2]
with open(f"{source}/docs/inventory.schema.json", encoding="utf-8") as f:
    validator = jsonschema.Draft202012Validator(json.load(f))
laptop = ["--snapshot", f"{source}/samples/laptop.json"]
runs = [laptop, laptop + ["--details"], ["--details"]]
runs += [["--sysroot", tree, "--details"] for tree in sorted(glob.glob(f"{source}/tests/data/sysroot/*/"))]
faults = 0
for args in runs:
    out = subprocess.run([program, "--json", *args], capture_output=True, text=True, check=False).stdout
    for error in validator.iter_errors(json.loads(out)):
        print(" ".join(args), "/".join(map(str, error.absolute_path)), error.message[:200])
        faults += 1
print(f"{len(runs)} documents, {faults} faults")
sys.exit(1 if faults else 0)
