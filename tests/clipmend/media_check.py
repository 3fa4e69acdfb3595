"""What every container's end-to-end check of ClipmendC needs: ffmpeg and ffprobe, running the
tool and judging its console output, the download metadata builder, the results count."""
import json
import os
import re
import struct
import subprocess
import sys
import time

# The end marker as both programs define it.
with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "common", "ToolEndMarker.h")) as header:
    END_MARKER = re.search(r'#define TOOL_END_MARKER "([^"]*)"', header.read()).group(1)
BANNER = "Clipmend V0.45 Beta"

results = {"passed": 0, "failed": 0}
TOOL = None


def arguments():
    """(tool, work dir) from the command line: CLIPMEND WORK-DIR. run_tool runs that tool."""
    global TOOL
    TOOL = os.path.abspath(sys.argv[1])
    return TOOL, sys.argv[2]


def ffmpeg(args):
    subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-y"] + args, check=True)


def packets(path):
    """ffprobe's packets in file order: stream, size, pos, key, seconds (duration), and pts, dts and
    duration in the stream's time base (None where unknown); pos is -1 where unknown."""
    out = subprocess.run(["ffprobe", "-v", "error", "-show_entries",
                          "packet=stream_index,size,pos,flags,pts,dts,duration,duration_time", "-of", "json", path],
                         capture_output=True, text=True, check=True).stdout
    result = []
    for p in json.loads(out).get("packets", []):
        result.append({"stream": int(p["stream_index"]), "size": int(p["size"]), "pos": int(p.get("pos", -1)),
                       "key": "K" in p["flags"], "seconds": float(p.get("duration_time", 0)),
                       "pts": number(p.get("pts")), "dts": number(p.get("dts")),
                       "duration": number(p.get("duration"))})
    return result


def number(value):
    return None if value in (None, "N/A") else int(value)


def run_tool(args):
    return subprocess.run([TOOL] + args, capture_output=True, text=True)


def report(name, problems, started):
    if problems:
        results["failed"] += 1
        print(f"FAIL {name}: " + "; ".join(problems))
    else:
        results["passed"] += 1
        print(f"ok   {name} ({time.time() - started:.1f} s)")
    sys.stdout.flush()


def summary():
    """Prints the count and gives the exit status."""
    print(f"{results['passed']} passed, {results['failed']} failed")
    return 1 if results["failed"] else 0


def salvage(args, tool_lines=()):
    """Runs the tool on a case that must succeed: (its output lines, what is wrong with them)."""
    result = run_tool(args)
    problems = []
    lines = result.stdout.splitlines()
    if result.returncode != 0:
        problems.append(f"exit code {result.returncode}: {result.stdout[-300:]}")
    if not lines or lines[-1] != END_MARKER or lines[0] != BANNER:
        problems.append("banner or end marker missing")
    for wanted in tool_lines:
        if not any(wanted in line for line in lines):
            problems.append(f"no line with {wanted!r}")
    return lines, problems


def refusal_problems(args, wanted):
    """Runs the tool on a case it must refuse with a message containing wanted."""
    result = run_tool(args)
    lines = result.stdout.splitlines()
    if result.returncode == 0 or not lines or lines[-1] != END_MARKER or wanted not in result.stdout:
        return [f"{wanted}: exit {result.returncode}, output {result.stdout[-200:]!r}"]
    return []


def decode_problems(path):
    # ffmpeg takes keys from standard input as commands unless told not to read it.
    decode = subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-i", path, "-f", "null", "-"],
                            capture_output=True, text=True)
    if decode.returncode != 0 or decode.stderr.strip():
        return ["decoding errors: " + decode.stderr.strip()[:300]]
    return []


def write_input(path, data, gaps=None):
    """The cut file, and beside it the download's metadata when a gap list is given."""
    with open(path, "wb") as f:
        f.write(data)
    if gaps is not None:
        with open(path + ".met", "wb") as f:
            f.write(part_met(gaps))


def remove(*paths):
    for path in paths:
        if os.path.exists(path):
            os.remove(path)


def part_met(gaps):
    """A download's metadata file holding a file name and the given gaps."""
    tags = []
    name = b"film.avi"
    tags.append(struct.pack("<BH", 2, 1) + b"\x01" + struct.pack("<H", len(name)) + name)
    for number, (begin, end) in enumerate(gaps):
        label = str(number).encode()
        tags.append(struct.pack("<BH", 3, 1 + len(label)) + b"\x09" + label + struct.pack("<I", begin))
        tags.append(struct.pack("<BH", 3, 1 + len(label)) + b"\x0a" + label + struct.pack("<I", end))
    return bytes([0xE0]) + b"\0" * 4 + b"\x11" * 16 + struct.pack("<hi", 0, len(tags)) + b"".join(tags)
