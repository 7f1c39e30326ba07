#!/usr/bin/env python3
"""Two builds of the tool side by side: wall and CPU time of converting one
random file into a file and into /dev/null, idle and with every processor
busy, in interleaved rounds (the order flips each round), as medians and
ratios. It prints figures; it never fails on a time.

    bench/compare_builds.py BEFORE AFTER [SIZE_MIB] [ROUNDS]
"""
import os
import resource
import statistics
import subprocess
import sys
import tempfile
import time


def run(tool, source, target):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    subprocess.run([tool, source, target], stdout=subprocess.DEVNULL, check=True)
    wall = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return wall, (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)


def main():
    tools = {"before": sys.argv[1], "after": sys.argv[2]}
    size = int(sys.argv[3]) if len(sys.argv) > 3 else 256
    rounds = int(sys.argv[4]) if len(sys.argv) > 4 else 8
    with tempfile.TemporaryDirectory() as folder:
        source = os.path.join(folder, "random.bin")
        with open(source, "wb") as out:
            out.write(os.urandom(size << 20))
        targets = {"file": os.path.join(folder, "out.h"), "/dev/null": "/dev/null"}
        for load in ("idle", "busy"):
            hogs = []
            if load == "busy":
                hogs = [subprocess.Popen(["sh", "-c", "while :; do :; done"])
                        for _ in range(os.cpu_count())]
            times = {}
            for turn in range(rounds):
                order = ("before", "after") if turn % 2 == 0 else ("after", "before")
                for target in targets:
                    for name in order:
                        times.setdefault((name, target), []).append(
                            run(tools[name], source, targets[target]))
            for hog in hogs:
                hog.kill()
            for target in targets:
                b = times[("before", target)]
                a = times[("after", target)]
                bw, aw = (statistics.median(t[0] for t in x) for x in (b, a))
                bc, ac = (statistics.median(t[1] for t in x) for x in (b, a))
                print(f"{load:4} {target:9}  wall {bw:.3f} s -> {aw:.3f} s ({aw / bw:.2f})"
                      f"  cpu {bc:.3f} s -> {ac:.3f} s ({ac / bc:.2f})")


if __name__ == "__main__":
    main()
