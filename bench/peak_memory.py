"""Runs a command and prints its peak resident memory in kilobytes: the
largest sum of anonymous and file-backed resident pages seen while it
runs (sampled every millisecond), and the anonymous part alone, which is
what the process allocated as against file pages it mapped.

    peak_memory.py COMMAND [ARG...]   ->   "<total KB> <anonymous KB>"
"""
import subprocess
import sys
import time


def sample(pid):
    values = {}
    try:
        with open(f"/proc/{pid}/status") as status:
            for line in status:
                key, _, rest = line.partition(":")
                if key in ("VmHWM", "RssAnon"):
                    values[key] = int(rest.split()[0])
    except (FileNotFoundError, ProcessLookupError, ValueError):
        pass
    return values


proc = subprocess.Popen(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
hwm = anon = 0
while proc.poll() is None:
    values = sample(proc.pid)
    hwm = max(hwm, values.get("VmHWM", 0))
    anon = max(anon, values.get("RssAnon", 0))
    time.sleep(0.001)
if proc.returncode != 0:
    sys.exit(f"peak_memory: {sys.argv[1]} failed with status {proc.returncode}")
print(hwm, anon)
