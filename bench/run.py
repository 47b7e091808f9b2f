#!/usr/bin/env python3
"""Times flatten against the floor of unavoidable system calls and against
what users would otherwise run, on a generated tree laid down fresh (untimed)
before every run. Prints a Markdown table.

    python3 bench/run.py [--shape 20x20x25] [--files 10] [--location tmpfs|disk|DIR] [--runs 5] [--scale]
"""
import argparse
import os
import re
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(HERE)
LOCATIONS = {"tmpfs": "/dev/shm", "disk": "/var/tmp"}


def sh(*command, **kwargs):
    return subprocess.run(command, check=True, **kwargs)


def build(work):
    """The release flatten and the floor program."""
    build_dir = os.path.join(SOURCE, "build", "bench")
    sh("cmake", "-S", SOURCE, "-B", build_dir, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release",
       "-DFLATTEN_TESTS=OFF", stdout=subprocess.DEVNULL)
    sh("cmake", "--build", build_dir, stdout=subprocess.DEVNULL)
    floor = os.path.join(work, "floor")
    sh("g++", "-std=c++20", "-O2", "-D_GNU_SOURCE", "-o", floor, os.path.join(HERE, "floor.cpp"))
    return os.path.join(build_dir, "flatten"), floor


def generate(template, shape, files_per_leaf):
    """A tree of nested directories with files in the leaves, unique names."""
    counter = 0

    def level(path, remaining):
        nonlocal counter
        os.mkdir(path)
        if not remaining:
            for _ in range(files_per_leaf):
                os.close(os.open(os.path.join(path, "f%d" % counter), os.O_CREAT | os.O_WRONLY, 0o644))
                counter += 1
            return
        for i in range(remaining[0]):
            level(os.path.join(path, "d%d" % i), remaining[1:])

    level(template, shape)
    return counter


def generate_chain(template, depth):
    """A chain of single subdirectories, one file at each level."""
    path = template
    os.mkdir(path)
    for i in range(depth):
        path = os.path.join(path, "d")
        os.mkdir(path)
        os.close(os.open(os.path.join(path, "f%d" % i), os.O_CREAT | os.O_WRONLY, 0o644))
    return depth


def remove(path):
    # rm copes with any depth; shutil.rmtree recurses in Python and does not.
    sh("rm", "-rf", path)


def lay(template, root):
    remove(root)
    sh("cp", "-a", template, root)


def precompute(flatten, template, root, work):
    """The directory list and the renames of one run, as strace saw them."""
    lay(template, root)
    trace = os.path.join(work, "trace")
    sh("strace", "-qq", "-o", trace, "-e", "trace=renameat2", flatten, root, stdout=subprocess.DEVNULL)
    call = re.compile(r'renameat2\(AT_FDCWD, "([^"]*)", AT_FDCWD, "([^"]*)"')
    renames = []
    with open(trace) as lines:
        for line in lines:
            match = call.search(line)
            if match:
                renames += [match.group(1), match.group(2)]
    lay(template, root)
    directories = [directory for directory, _, _ in os.walk(root)]
    remove(root)
    paths = {}
    for name, items in (("directories", directories), ("renames", renames)):
        paths[name] = os.path.join(work, name)
        with open(paths[name], "wb") as out:
            out.write(b"".join(item.encode() + b"\0" for item in items))
    return paths["directories"], paths["renames"], len(renames) // 2


def timed(command, work):
    """Wall, user and system seconds and peak RSS in KiB of one run. The
    command runs under /usr/bin/time, a small program whose fork does not
    inherit this script's RSS, for its %M (peak RSS); times are the kernel's
    figures for it and its child, at microsecond resolution."""
    report = os.path.join(work, "rss")
    start = time.perf_counter()
    child = subprocess.Popen(["/usr/bin/time", "-f", "%M", "-o", report] + command, stdout=subprocess.DEVNULL)
    _, status, usage = os.wait4(child.pid, 0)
    wall = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit("%s failed" % command[0])
    with open(report) as lines:
        rss = int(lines.read().split()[-1])
    return wall, usage.ru_utime, usage.ru_stime, rss


def moved_count(root, expected_files):
    """Checks that a run moved every file into the root."""
    files = sum(1 for entry in os.scandir(root) if entry.is_file(follow_symlinks=False))
    if files != expected_files:
        sys.exit("a run left %d of %d files in the root" % (files, expected_files))


def syscall_count(flatten, template, root, work):
    lay(template, root)
    report = os.path.join(work, "count")
    sh("strace", "-f", "-c", "-o", report, flatten, root, stdout=subprocess.DEVNULL)
    remove(root)
    with open(report) as lines:
        text = lines.read()
    counts = {}
    for line in text.splitlines():
        fields = line.split()
        if len(fields) >= 5 and fields[3].isdigit() and fields[-1] != "total":
            counts[fields[-1]] = int(fields[3])
    return counts


def compare(args, location, work, flatten, floor):
    shape = [int(n) for n in args.shape.split("x")]
    base = tempfile.mkdtemp(prefix="flatten-bench-", dir=location)
    try:
        template, root = os.path.join(base, "template"), os.path.join(base, "root")
        files = generate(template, shape, args.files)
        directory_list, rename_list, renames = precompute(flatten, template, root, work)
        if renames != files:
            sys.exit("flatten moved %d of %d files" % (renames, files))
        commands = {
            "flatten": [flatten, root],
            "floor": [floor, directory_list, rename_list],
            "find -exec mv -n": ["find", root, "-mindepth", "2", "-type", "f", "-exec",
                                 "mv", "-n", "-t", root, "{}", "+"],
            "python os.walk": [sys.executable, os.path.join(HERE, "walk_rename.py"), root],
        }
        results = {name: [] for name in commands}
        names = list(commands)
        for run in range(args.runs):
            # Alternate the order run by run, so no command always goes first.
            order = names[run % len(names):] + names[:run % len(names)]
            for name in order:
                lay(template, root)
                results[name].append(timed(commands[name], work))
                moved_count(root, files)
        counts = syscall_count(flatten, template, root, work)
        directories = sum(1 for _ in open(directory_list, "rb").read().split(b"\0")) - 1
    finally:
        remove(base)

    floor_wall = statistics.median(r[0] for r in results["floor"])
    print("\n%s (%s), %d files in %d directories, median of %d runs, %d cores\n"
          % (args.location if args.location in LOCATIONS else "directory", location, files, directories,
             args.runs, os.cpu_count()))
    print("| command | wall s | user s | system s | peak RSS MiB | wall / floor |")
    print("| --- | ---: | ---: | ---: | ---: | ---: |")
    for name, runs in results.items():
        wall, user, system, rss = (statistics.median(r[i] for r in runs) for i in range(4))
        print("| %s | %.3f | %.3f | %.3f | %.1f | %.3f |" % (name, wall, user, system, rss / 1024, wall / floor_wall))
    print("\nflatten's walls, run by run: %s; the floor's: %s"
          % (" ".join("%.3f" % r[0] for r in results["flatten"]), " ".join("%.3f" % r[0] for r in results["floor"])))
    total = sum(counts.values())
    budget = files + 5 * directories + 1
    print("\nflatten's system calls: %d in all (%s); a budget of one per file and five per directory "
          "would be %d plus the output's writes and start-up"
          % (total, ", ".join("%s %d" % item for item in sorted(counts.items(), key=lambda i: -i[1])[:8]), budget))


def scale(args, work, flatten):
    location = LOCATIONS["tmpfs"]
    cases = [
        ("1,000,000 files (40x50x50 directories, 10 files each)", lambda t: generate(t, [40, 50, 50], 10)),
        ("one directory of 200,000 files", lambda t: generate(t, [1], 200000)),
        ("a chain 2,000 directories deep, a file at each level", lambda t: generate_chain(t, 2000)),
    ]
    print("\nScale (tmpfs, one run each)\n")
    print("| tree | files | wall s | user s | system s | peak RSS MiB | µs per file |")
    print("| --- | ---: | ---: | ---: | ---: | ---: | ---: |")
    for label, make in cases:
        base = tempfile.mkdtemp(prefix="flatten-bench-", dir=location)
        try:
            template, root = os.path.join(base, "template"), os.path.join(base, "root")
            files = make(template)
            lay(template, root)
            wall, user, system, rss = timed([flatten, root], work)
        finally:
            remove(base)
        print("| %s | %d | %.3f | %.3f | %.3f | %.1f | %.1f |"
              % (label, files, wall, user, system, rss / 1024, wall / files * 1e6))


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--shape", default="20x20x25", help="directories per level, outermost first")
    parser.add_argument("--files", type=int, default=10, help="files in each leaf directory")
    parser.add_argument("--location", default="tmpfs", help="tmpfs, disk, or a directory")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--scale", action="store_true", help="also the scale runs")
    parser.add_argument("--scale-only", action="store_true", help="only the scale runs")
    args = parser.parse_args()
    location = LOCATIONS.get(args.location, args.location)
    work = tempfile.mkdtemp(prefix="flatten-bench-work-")
    try:
        flatten, floor = build(work)
        if not args.scale_only:
            compare(args, location, work, flatten, floor)
        if args.scale or args.scale_only:
            scale(args, work, flatten)
    finally:
        remove(work)


if __name__ == "__main__":
    main()
