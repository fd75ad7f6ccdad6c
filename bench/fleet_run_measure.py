#!/usr/bin/env python3
"""The measured child of bench/fleet_run: runs one program to its end and writes, as one JSON
object to REPORT, its wall time, its CPU time and its peak resident memory.

Usage: fleet_run_measure.py REPORT STDOUT STDERR PROGRAM [ARGUMENT...]

The CPU time is the kernel's account of the reaped child (wait4's rusage, user plus system,
every thread it ever had). It is split by the threads' names, read from /proc/PID/task every
SAMPLE_SECONDS: the main thread (the TFTP host's request admission and completion, the
displays), the switch runs (threads named "run <address>"), and the rest by difference: the
TFTP server's own threads (its UDP 69 listener and each transfer's thread, which carry no
name) plus whatever a thread did after its last sample. Peak memory is VmHWM from
/proc/PID/status at the last sample and ru_maxrss from the rusage; they agree but for what
the last interval added.
"""

import json
import os
import subprocess
import sys
import time

SAMPLE_SECONDS = 0.1
TICKS = os.sysconf("SC_CLK_TCK")


def task_times(pid):
    """Each living thread's (name, CPU seconds) by thread id."""
    times = {}
    try:
        tids = os.listdir(f"/proc/{pid}/task")
    except OSError:
        return times
    for tid in tids:
        try:
            with open(f"/proc/{pid}/task/{tid}/stat") as stat:
                text = stat.read()
        except OSError:
            continue
        name = text[text.index("(") + 1 : text.rindex(")")]
        fields = text[text.rindex(")") + 2 :].split()
        # utime and stime are the stat file's 14th and 15th fields; fields[0] is the 3rd.
        times[int(tid)] = (name, (int(fields[11]) + int(fields[12])) / TICKS)
    return times


def peak_rss_kib(pid):
    try:
        with open(f"/proc/{pid}/status") as status:
            for line in status:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return None


def main():
    report, out_path, err_path, *command = sys.argv[1:]
    with open(out_path, "wb") as out, open(err_path, "wb") as err:
        started = time.monotonic()
        child = subprocess.Popen(command, stdout=out, stderr=err, stdin=subprocess.DEVNULL)
        last = {}
        hwm = None
        while True:
            reaped, status, usage = os.wait4(child.pid, os.WNOHANG)
            if reaped:
                break
            last.update(task_times(child.pid))
            hwm = peak_rss_kib(child.pid) or hwm
            time.sleep(SAMPLE_SECONDS)
        wall = time.monotonic() - started
    total = usage.ru_utime + usage.ru_stime
    main_thread = last.get(child.pid, ("", 0.0))[1]
    runs = sum(seconds for tid, (name, seconds) in last.items() if name.startswith("run "))
    unnamed = [tid for tid, (name, _) in last.items() if tid != child.pid and not name.startswith("run ")]
    with open(report, "w") as out:
        json.dump({
            "exitStatus": os.waitstatus_to_exitcode(status),
            "wallSeconds": round(wall, 2),
            "cpuSeconds": round(total, 2),
            "userSeconds": round(usage.ru_utime, 2),
            "systemSeconds": round(usage.ru_stime, 2),
            "mainThreadSeconds": round(main_thread, 2),
            "runThreadsSeconds": round(runs, 2),
            "tftpThreadsSeconds": round(max(total - main_thread - runs, 0.0), 2),
            "otherThreadsSeen": len(unnamed),
            "vmHwmKib": hwm,
            "maxRssKib": usage.ru_maxrss,
        }, out)
        out.write("\n")


if __name__ == "__main__":
    main()
