#!/usr/bin/env python3
"""python3 manpage_check.py MAN_DIR NAME=TOOL ...: every --option that `TOOL --help` names (on
stdout or stderr) appears in MAN_DIR/NAME.1.scd; a usage text that names none fails too."""

import re
import subprocess
import sys
from pathlib import Path

OPTION = re.compile(r"(?<![\w-])--[a-z][a-z0-9-]*")
failed = False
for pair in sys.argv[2:]:
    name, tool = pair.split("=", 1)
    usage = subprocess.run([tool, "--help"], capture_output=True, text=True, timeout=60)
    named = set(OPTION.findall(usage.stdout + usage.stderr))
    page = Path(sys.argv[1], f"{name}.1.scd").read_text(encoding="utf-8")
    missing = sorted(named - set(OPTION.findall(page)))
    if missing or not named:
        print(f"FAIL {name}.1.scd lacks: {' '.join(missing) or '(usage names no option)'}")
        failed = True
sys.exit(1 if failed else 0)
