#!/usr/bin/env python3
"""ClipmendC end to end on MPEG program and transport streams: files made by ffmpeg (MPEG-2 video with
MPEG audio and MPEG-1 video with MPEG audio in program streams, H.264 with AAC in ADTS or LATM or E-AC-3, HEVC with
AAC and MPEG-2 video with AC-3 in transport streams), cut the way partial downloads are cut, salvaged by the tool and judged against
the intact file's pictures (ffprobe's packets, placed in the file by the stream's own packet layout)
and by ffmpeg decoding the result.

Usage: mpeg_check.py CLIPMEND WORK-DIR
"""
import json
import os
import random
import subprocess
import sys
import time

from media_check import (arguments, decode_problems, ffmpeg, packets, refusal_problems, remove, report, salvage,
                         summary, write_input)

TOOL, WORK = arguments()
FPS = 25
PICTURE = ["-f", "lavfi", "-i", f"testsrc=size=320x240:rate={FPS}:duration=8"]
TONE = ["-f", "lavfi", "-i", "sine=frequency=440:sample_rate=48000:duration=8"]
MPEG2 = ["-c:v", "mpeg2video", "-bf", "2", "-g", "12", "-b:v", "1500k"]
# Streams of a few megabytes, which the tool begins to write while it still reads them.
LARGE_PICTURE = ["-f", "lavfi", "-i", f"testsrc=size=640x480:rate={FPS}:duration=8"]
LARGE = ["-vf", "noise=alls=8:allf=t", "-b:v", "6000k", "-maxrate", "9000k", "-bufsize", "1835k"]
SOURCES = {
    "mpeg2_mp2.mpg": LARGE_PICTURE + TONE + MPEG2 + LARGE + ["-c:a", "mp2", "-f", "vob"],
    "mpeg1_mp2.mpg": PICTURE + TONE + ["-c:v", "mpeg1video", "-bf", "1", "-g", "15", "-b:v", "1000k",
                                       "-c:a", "mp2", "-f", "mpeg"],
    "h264_aac.ts": LARGE_PICTURE + TONE + ["-c:v", "libx264", "-bf", "2", "-g", "25"] + LARGE + ["-c:a", "aac"],
    "mpeg2_ac3.ts": PICTURE + TONE + MPEG2 + ["-c:a", "ac3"],
    "h264_eac3.ts": PICTURE + TONE + ["-c:v", "libx264", "-g", "25", "-c:a", "eac3"],
    "h264_latm.ts": PICTURE + TONE + ["-c:v", "libx264", "-g", "25", "-c:a", "aac", "-mpegts_flags", "latm"],
    "hevc_aac.ts": PICTURE + TONE + ["-c:v", "libx265", "-x265-params", "log-level=error", "-g", "25", "-c:a", "aac"],
}


def video_bytes(data, transport, pid):
    """[(file offset, length)] of the video stream's payload, in stream order."""
    pieces = []
    if transport:
        for pos in range(0, len(data) - 187, 188):
            b = data[pos:pos + 188]
            if b[0] != 0x47 or ((b[1] & 0x1F) << 8 | b[2]) != pid or not b[3] & 0x10:
                continue
            start = 4 + (1 + b[4] if b[3] & 0x20 else 0)
            if b[1] & 0x40:
                start += 9 + b[start + 8]
            pieces.append((pos + start, 188 - start))
        return pieces
    pos = 0
    while pos + 4 <= len(data) and data[pos:pos + 3] == b"\0\0\1":
        code = data[pos + 3]
        if code == 0xB9:
            break
        if code == 0xBA:
            pos += 12 if data[pos + 4] >> 4 == 2 else 14 + (data[pos + 13] & 7)
            continue
        length = 6 + (data[pos + 4] << 8 | data[pos + 5])
        if 0xE0 <= code <= 0xEF:
            start = pos + 6
            if data[start] & 0xC0 == 0x80:
                start += 3 + data[start + 2]
            else:
                while data[start] == 0xFF:
                    start += 1
                if data[start] & 0xC0 == 0x40:
                    start += 2
                start += {2: 5, 3: 10}.get(data[start] >> 4, 1)
            pieces.append((start, pos + length - start))
        pos += length
    return pieces


def file_ranges(pieces, begin, end):
    """The file ranges that hold stream bytes [begin, end)."""
    ranges, at = [], 0
    for offset, length in pieces:
        if at + length > begin and at < end:
            lo, hi = max(begin, at), min(end, at + length)
            ranges.append((offset + lo - at, offset + hi - at))
        at += length
        if at >= end:
            break
    return ranges


def starts(es, begin, end):
    """Where start codes begin in es[begin:end]."""
    at = es.find(b"\0\0\1", begin, end)
    while at >= 0:
        yield at
        at = es.find(b"\0\0\1", at + 3, end)


def stream(path):
    """The intact file: its bytes and its video pictures in decoding order, each with the file ranges
    a reader needs (its bytes and the start code after it, or the end code), key flag, and whether
    it is shown before the keyframe it follows in an open group."""
    with open(path, "rb") as f:
        data = f.read()
    info = json.loads(subprocess.run(["ffprobe", "-v", "error", "-select_streams", "v", "-show_entries",
                                      "stream=index,id,codec_name", "-of", "json", path],
                                     capture_output=True, text=True, check=True).stdout)["streams"][0]
    codec = info["codec_name"]
    transport = path.endswith(".ts")
    pieces = video_bytes(data, transport, int(info["id"], 16) if transport else 0)
    es = b"".join(data[o:o + n] for o, n in pieces)
    video = [p for p in packets(path) if p["stream"] == info["index"]]
    if sum(p["size"] for p in video) != len(es):
        raise ValueError(f"{path}: pictures hold {sum(p['size'] for p in video)} bytes, the stream {len(es)}")
    at, key = 0, None
    for p in video:
        p["needs"] = file_ranges(pieces, at, min(at + p["size"] + 4, len(es)))
        p["leading"] = False
        picture = es.find(b"\0\0\1\0", at, at + p["size"])
        if codec not in ("h264", "hevc") and picture >= 0:
            reference, kind = es[picture + 4] << 2 | es[picture + 5] >> 6, es[picture + 5] >> 3 & 7
            group = es.find(b"\0\0\1\xb8", at, picture)
            if kind == 1:
                key = (reference, group >= 0 and es[group + 7] & 0x40)
            elif key and not key[1]:
                p["leading"] = reference < key[0]
        elif codec == "hevc":
            # Random access pictures other than IDR ones lead pictures that need what came before.
            if p["key"]:
                first = next(n for n in (es[i + 3] >> 1 & 0x3F for i in starts(es, at, at + p["size"])) if n < 32)
                key = (p["pts"], first in (19, 20))
            elif key and not key[1]:
                p["leading"] = p["pts"] < key[0]
        at += p["size"]
    # The last picture is known whole only by the end code after it.
    if not es.endswith(b"\0\0\1\xb7"):
        video[-1]["needs"].append((len(data), len(data) + 1))
    return {"data": data, "size": len(data), "video": video, "transport": transport}


def expected(source, kept, start, count):
    """The pictures the output must hold, in decoding order: a picture counts when the ranges it needs
    are kept; after a lost one decoding starts again at a keyframe, and the pictures of an open group
    shown before that keyframe are left out, as they are before the keyframe the output starts with;
    -k moves back to the keyframe at or before START."""
    def intact(p):
        return all(any(a <= lo and hi <= b for a, b in kept) for lo, hi in p["needs"])

    usable, need_key, fresh = [], True, False
    for p in source["video"]:
        if not intact(p):
            need_key = True
        elif p["key"]:
            usable.append(p)
            fresh, need_key = need_key, False
        elif not need_key and not (p["leading"] and fresh):
            usable.append(p)
    first = start - 1
    last = min(first + count - 1, len(usable) - 1) if count else len(usable) - 1
    while not usable[first]["key"]:
        first -= 1
    span = usable[first:last + 1]
    following = next((i for i, p in enumerate(span) if i > 0 and p["key"]), len(span))
    return [p for i, p in enumerate(span) if not (p["leading"] and i < following)]


def continuity_breaks(path):
    """Packets of a transport stream whose continuity counter does not follow on from the one
    before of their PID (a packet sent twice counts as following on)."""
    with open(path, "rb") as f:
        data = f.read()
    last, breaks = {}, 0
    for pos in range(0, len(data) - 187, 188):
        b = data[pos:pos + 188]
        pid, control, counter = (b[1] & 0x1F) << 8 | b[2], b[3] >> 4 & 3, b[3] & 0x0F
        if pid == 0x1FFF or not control & 1:
            continue
        flagged = control & 2 and b[4] > 0 and b[5] & 0x80
        breaks += pid in last and not flagged and counter not in (last[pid], (last[pid] + 1) & 0x0F)
        last[pid] = counter
    return breaks


def packets_of(data, transport):
    """A stream's packets as they lie: 188-byte ones, or packs, system headers and packets."""
    if transport:
        return [data[pos:pos + 188] for pos in range(0, len(data) - 187, 188)]
    found, pos = [], 0
    while pos + 6 <= len(data) and data[pos:pos + 3] == b"\0\0\1" and data[pos + 3] != 0xB9:
        length = (14 + (data[pos + 13] & 7) if data[pos + 4] >> 6 == 1 else 12) if data[pos + 3] == 0xBA \
            else 6 + (data[pos + 4] << 8 | data[pos + 5])
        found.append(data[pos:pos + length])
        pos += length
    return found


def copied_share(path, source):
    """The share of a stream's bytes that lie in packets of the source as they are."""
    with open(path, "rb") as f:
        written = packets_of(f.read(), source["transport"])
    original = set(packets_of(source["data"], source["transport"]))
    return sum(len(p) for p in written if p in original) / max(sum(len(p) for p in written), 1)


def output_problems(out_path, want, sound_streams=None):
    try:
        written = [p for p in packets(out_path) if p["stream"] == 0]
    except subprocess.CalledProcessError as error:
        return [f"the output does not read: {error}"]
    problems = []
    # The first picture may gain the sequence header, the last the stream's end code (five bytes for HEVC).
    if [(p["size"], p["key"]) for p in written[1:-1]] != [(p["size"], p["key"]) for p in want[1:-1]] \
            or len(written) != len(want) or not written or written[0]["size"] < want[0]["size"] \
            or not 0 <= written[-1]["size"] - want[-1]["size"] <= 5:
        problems.append(f"{len(written)} pictures written, {len(want)} expected"
                        + ("" if len(written) != len(want) else " (sizes or keyframes differ)"))
        return problems
    times = [p["pts"] for p in written if p["pts"] is not None]
    span = (max(times) - min(times)) / 90000 + 1 / FPS
    got = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0", out_path],
                         capture_output=True, text=True).stdout.strip()
    if len(times) != len(written) or got in ("", "N/A") or abs(float(got) - span) > 1.001 / FPS:
        problems.append(f"duration {got}, pictures span {span:.3f} s")
    if out_path.endswith(".ts") and continuity_breaks(out_path):
        problems.append(f"{continuity_breaks(out_path)} packets break their PID's continuity")
    audio = [p for p in packets(out_path) if p["stream"] != 0]
    if not audio:
        problems.append("no audio written")
    if sound_streams and len({p["stream"] for p in audio}) != sound_streams:
        problems.append(f"{len({p['stream'] for p in audio})} sound streams written, {sound_streams} expected")
    # Each sound frame starts where the one before it ends, or later after a hole.
    for stream in {p["stream"] for p in audio}:
        frames = [p for p in audio if p["stream"] == stream]
        overlaps = sum(1 for a, b in zip(frames, frames[1:]) if b["pts"] < a["pts"] + a["duration"] - 1)
        if overlaps:
            problems.append(f"{overlaps} sound frames of stream {stream} start before the one before them ends")
    return problems


def salvage_case(name, source, data, kept, start=1, count=0, gaps=None, output=None, written=None,
                 sound_streams=None):
    """Writes data as the cut input (NAME.part with its gap list when gaps are given), runs the tool
    into output (default NAME-out.EXT) and judges the file it must write (written, default output)."""
    started = time.time()
    extension = ".ts" if source["transport"] else ".mpg"
    cut = os.path.join(WORK, name + (".part" if gaps is not None else extension))
    output = os.path.join(WORK, output or name + "-out" + extension)
    written = os.path.join(WORK, written) if written else output
    write_input(cut, data, gaps)
    args = [cut, output, "-k", str(start)] + (["-n", str(count)] if count else []) + ["/A"]
    lines, problems = salvage(args)
    if not problems and written != output and (os.path.exists(output) or not os.path.exists(written)):
        problems.append(f"{os.path.basename(written)} not written instead of {os.path.basename(output)}")
    if not problems:
        problems += output_problems(written, expected(source, kept, start, count), sound_streams)
        # The input's packets go out as they are, but for those around what is left out.
        share = copied_share(written, source)
        if share < 0.7:
            problems.append(f"only {share:.0%} of the bytes are in packets of the input's own")
        problems += decode_problems(written)
    report(name, problems, started)
    remove(cut, cut + ".met", output, written)


def cuts(name, source):
    """Damage as partial downloads have it: the end missing, a zero-filled hole, garbage the gap
    list marks."""
    data, n = source["data"], source["size"]
    for share, start in ((35, 1), (70, 10)):
        at = n * share // 100
        salvage_case(f"{name}-truncated-{share}", source, data[:at], [(0, at)], start)
    hole = (n * 3 // 10, n * 3 // 10 + n // 25)
    salvage_case(f"{name}-zero-hole", source, data[:hole[0]] + bytes(hole[1] - hole[0]) + data[hole[1]:],
                 [(0, hole[0]), (hole[1], n)])
    gap = (n * 45 // 100, n * 55 // 100)
    garbage = random.Random(7).randbytes(gap[1] - gap[0])
    salvage_case(f"{name}-garbage-gap-list", source, data[:gap[0]] + garbage + data[gap[1]:],
                 [(0, gap[0]), (gap[1], n)], gaps=[gap])


def main():
    sources = {}
    for name, args in SOURCES.items():
        path = os.path.join(WORK, name)
        ffmpeg(args + [path])
        sources[name] = stream(path)
    for name, source in sources.items():
        cuts(os.path.splitext(name)[0], source)
    for name in ("mpeg2_mp2.mpg", "h264_aac.ts"):
        source = sources[name]
        # A span from the middle: it starts at a keyframe, without the pictures that need the group before.
        salvage_case(os.path.splitext(name)[0] + "-span", source, source["data"], [(0, source["size"])], 30, 40)
    # A program table too long for one packet, as broadcasts with many sound tracks have.
    many = os.path.join(WORK, "many_audio.ts")
    ffmpeg(PICTURE + TONE + ["-t", "3", "-map", "0:v"] + ["-map", "1:a"] * 16 + MPEG2
           + ["-c:a", "mp2", "-b:a", "64k", "-metadata:s:a", "language=deu", many])
    source = stream(many)
    salvage_case("many_audio-table-over-packets", source, source["data"], [(0, source["size"])])
    # Programs of a broadcast: the first without a picture, the one read after it.
    programs = os.path.join(WORK, "radio_then_tv.ts")
    ffmpeg(PICTURE + TONE + ["-t", "3", "-map", "1:a", "-map", "0:v", "-map", "1:a"] + MPEG2
           + ["-c:a", "mp2", "-program", "program_num=1:st=0", "-program", "program_num=2:st=1:st=2", programs])
    source = stream(programs)
    salvage_case("radio_then_tv-program-with-video", source, source["data"], [(0, source["size"])])
    # A sound track that starts after the tool has begun to write: the output is made again with it.
    late = os.path.join(WORK, "late_track.mpg")
    ffmpeg(LARGE_PICTURE + TONE + ["-itsoffset", "6"] + TONE + ["-map", "0:v", "-map", "1:a", "-map", "2:a", "-t", "8"]
           + MPEG2 + LARGE + ["-c:a", "mp2", "-f", "vob", late])
    source = stream(late)
    salvage_case("late_track-written-again", source, source["data"], [(0, source["size"])], sound_streams=2)
    # The tool names the output by what it writes, whatever name it is given.
    ts = sources["h264_aac.ts"]
    salvage_case("h264_aac-named-by-content", ts, ts["data"], [(0, ts["size"])], output="film.ts.mkv",
                 written="film.ts")
    started = time.time()
    elementary = os.path.join(WORK, "video.m2v")
    ffmpeg(PICTURE + ["-t", "1", "-c:v", "mpeg2video", "-f", "mpeg2video", elementary])
    problems = refusal_problems([elementary, os.path.join(WORK, "e.mpg"), "-k", "1", "/A"],
                                "MPEG video stream without program stream packs")
    problems += refusal_problems([os.path.join(WORK, "h264_aac.ts"), os.path.join(WORK, "e.ts"), "-k", "5000", "/A"],
                                 "no usable frames")
    report("mpeg-refusals", problems, started)
    return summary()


if __name__ == "__main__":
    sys.exit(main())
