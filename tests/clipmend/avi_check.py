#!/usr/bin/env python3
"""ClipmendC end to end: AVI files made by ffmpeg, cut the way partial downloads are cut,
salvaged by the tool and judged by ffprobe and ffmpeg.

Usage: avi_check.py CLIPMEND WORK-DIR
CLIPMEND_SKIP_LARGE=1 leaves out the file over the 1 GiB limit of a classic AVI.
"""
import mmap
import os
import random
import shutil
import struct
import subprocess
import sys
import time

from media_check import (arguments, decode_problems, ffmpeg, packets, refusal_problems, remove, report, salvage,
                         summary, write_input)

TOOL, WORK = arguments()
FPS = 25

VIDEO_320 = ["-f", "lavfi", "-i", f"testsrc=size=320x240:rate={FPS}"]
VIDEO_160 = ["-f", "lavfi", "-i", f"testsrc=size=160x120:rate={FPS}"]
TONE = ["-f", "lavfi", "-i", "sine=frequency=440:sample_rate=22050"]
SOURCES = {
    "mpeg4_pcm": VIDEO_320 + TONE + ["-t", "4", "-c:v", "mpeg4", "-g", "12", "-c:a", "pcm_s16le"],
    "mpeg4_bframes_mp3": VIDEO_320 + TONE + ["-t", "4", "-c:v", "mpeg4", "-bf", "2", "-g", "15",
                                             "-c:a", "libmp3lame", "-b:a", "64k"],
    "mjpeg_mp3": VIDEO_320 + TONE + ["-t", "4", "-c:v", "mjpeg", "-q:v", "6", "-c:a", "libmp3lame", "-b:a", "64k"],
    "rawvideo": VIDEO_160 + ["-t", "4", "-c:v", "rawvideo", "-pix_fmt", "bgr24"],
    "msvideo1_pcm": VIDEO_160 + TONE + ["-t", "4", "-c:v", "msvideo1", "-g", "10", "-c:a", "pcm_s16le"],
    "msmpeg4v3": VIDEO_320 + ["-t", "4", "-c:v", "msmpeg4", "-g", "12"],
}


def stream_frames(path):
    out = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                          "stream=nb_frames", "-of", "csv=p=0", path], capture_output=True, text=True).stdout
    return int(out.strip() or -1)


def riff_chunks(data, start, end):
    """(id, offset of the header, size) of the chunks between start and end."""
    pos = start
    while pos + 8 <= end:
        cid, size = data[pos:pos + 4], struct.unpack_from("<I", data, pos + 4)[0]
        yield cid, pos, size
        pos += 8 + size + (size & 1)


def index_problems(path):
    """What is wrong with the written file's indexes, as a list of texts."""
    with open(path, "rb") as f, mmap.mmap(f.fileno(), 0, access=mmap.ACCESS_READ) as data:
        return index_problems_of(data)


def index_problems_of(data):
    problems = []
    segments = [(off, size) for cid, off, size in riff_chunks(data, 0, len(data)) if cid == b"RIFF"]
    if not segments:
        return ["no RIFF header"]
    first_off, first_size = segments[0]
    top = list(riff_chunks(data, first_off + 12, first_off + 8 + first_size))
    movi = [(off, size) for cid, off, size in top if cid == b"LIST" and data[off + 8:off + 12] == b"movi"]
    idx1 = [(off, size) for cid, off, size in top if cid == b"idx1"]
    if not movi or not idx1:
        return ["movie list or idx1 missing"]
    movi_off, movi_size = movi[0]
    chunks = [(cid, off, size) for cid, off, size in riff_chunks(data, movi_off + 12, movi_off + 8 + movi_size)
              if not cid.startswith(b"ix")]
    idx_off, idx_size = idx1[0]
    entries = [struct.unpack_from("<4sIII", data, idx_off + 8 + 16 * i) for i in range(idx_size // 16)]
    if len(entries) != len(chunks):
        problems.append(f"idx1 has {len(entries)} entries for {len(chunks)} chunks")
    for (cid, flags, offset, size), (ccid, coff, csize) in zip(entries, chunks):
        if cid != ccid or size != csize or movi_off + 8 + offset != coff:
            problems.append(f"idx1 entry {cid} at {offset} does not match chunk {ccid} at {coff}")
            break
    if len(segments) > 1:
        hdrl = data[first_off:movi_off]
        if hdrl.count(b"indx") < 1 or b"dmlh" not in hdrl:
            problems.append("extended file without super index or dmlh")
        if not all(data[off + 8:off + 12] == b"AVIX" for off, _ in segments[1:]):
            problems.append("a later segment is not AVIX")
        if any(size + 8 > 1 << 30 for _, size in segments):
            problems.append("a segment over 1 GiB")
        for off, size in segments:
            lists = [(o, s) for cid, o, s in riff_chunks(data, off + 12, off + 8 + size)
                     if cid == b"LIST" and data[o + 8:o + 12] == b"movi"]
            if not lists or not any(cid == b"ix00" for cid, _, _ in
                                    riff_chunks(data, lists[0][0] + 12, lists[0][0] + 8 + lists[0][1])):
                problems.append(f"the segment at {off} has no standard index")
    return problems


def stream_chunks(path):
    """Every stream chunk of an AVI file, walked by hand (ffprobe leaves out empty frames),
    with the keyframe flags of the file's idx1 and standard indexes: dicts of stream, pos
    (of the data), size and key."""
    with open(path, "rb") as f, mmap.mmap(f.fileno(), 0, access=mmap.ACCESS_READ) as data:
        chunks, flags, first_movi = [], {}, None
        for cid, off, size in riff_chunks(data, 0, len(data)):
            if cid != b"RIFF":
                continue
            for tid, toff, tsize in riff_chunks(data, off + 12, min(off + 8 + size, len(data))):
                if tid == b"LIST" and data[toff + 8:toff + 12] == b"movi":
                    first_movi = toff + 8 if first_movi is None else first_movi
                    for mid, moff, msize in riff_chunks(data, toff + 12, min(toff + 8 + tsize, len(data))):
                        if mid[:2].isdigit() and moff + 8 + msize <= len(data):
                            chunks.append({"stream": int(mid[:2]), "pos": moff + 8, "size": msize})
                        elif mid[:2] == b"ix":
                            count = struct.unpack_from("<I", data, moff + 12)[0]
                            base = struct.unpack_from("<Q", data, moff + 20)[0]
                            for i in range(count):
                                offset, length = struct.unpack_from("<II", data, moff + 32 + 8 * i)
                                flags[base + offset] = not length & 0x80000000
                elif tid == b"idx1":
                    for i in range(tsize // 16):
                        _, fl, offset, _ = struct.unpack_from("<4sIII", data, toff + 8 + 16 * i)
                        flags[first_movi + offset + 8] = bool(fl & 0x10)
    for c in chunks:
        c["key"] = flags.get(c["pos"])
    return chunks


def expected_frames(source_chunks, kept, start, count):
    """The video frames the output must hold: whole ones only, after damage only from the next
    keyframe on (a frame without data is never one), from the last keyframe at or before
    start through start + count - 1."""
    def whole(c):
        begin, end = c["pos"] - 8, c["pos"] + c["size"]
        return any(a <= begin and end <= b for a, b in kept)

    def key(c):
        return c["key"] and c["size"] > 0

    usable, need_key = [], True
    for c in (c for c in source_chunks if c["stream"] == 0):
        if not whole(c):
            need_key = True
            continue
        if need_key and not key(c):
            continue
        need_key = False
        usable.append(c)
    first = start - 1
    last = min(first + count - 1, len(usable) - 1) if count else len(usable) - 1
    while not key(usable[first]):
        first -= 1
    return [(c["size"], key(c)) for c in usable[first:last + 1]]


def salvage_case(name, source, data, kept, start, count=0, suffix=".avi", gaps=None, tool_lines=(), length=None):
    """data: the cut file's bytes, or None to take the first length bytes of the source."""
    started = time.time()
    cut = os.path.join(WORK, name + suffix)
    out = os.path.join(WORK, name + "-out.avi")
    if data is None:
        shutil.copyfile(source, cut)
        os.truncate(cut, length)
    else:
        write_input(cut, data, gaps)
    args = [cut, out, "-k", str(start)] + (["-n", str(count)] if count else []) + ["-h", "640", "-v", "352", "/A"]
    _, problems = salvage(args, tool_lines)
    if problems:
        return report(name, problems, started)

    want = expected_frames(stream_chunks(source), kept, start, count)
    written = [(c["size"], bool(c["key"])) for c in stream_chunks(out) if c["stream"] == 0]
    if written != want:
        problems.append(f"{len(written)} frames written, {len(want)} expected"
                        + ("" if len(written) != len(want) else " (sizes or keyframe flags differ)"))
    # What an independent reader makes of it: frames with data and their keyframe flags.
    got = packets(out)
    seen = [(p["size"], p["key"]) for p in got if p["stream"] == 0]
    if seen != [w for w in want if w[0] > 0]:
        problems.append(f"ffprobe sees {len(seen)} frames or other flags")
    if stream_frames(out) != len(want):
        problems.append(f"header frame count {stream_frames(out)}, {len(want)} frames")
    problems += decode_problems(out)
    problems += index_problems(out)
    if any(p["stream"] == 1 for p in packets(source)):
        audio_seconds = sum(p["seconds"] for p in got if p["stream"] == 1)
        video_seconds = len(want) / FPS
        if abs(audio_seconds - video_seconds) > 0.15:
            problems.append(f"audio lasts {audio_seconds:.3f} s, video {video_seconds:.3f} s")
    report(name, problems, started)
    remove(cut, out, cut + ".met")


def idx1_position(data):
    size = struct.unpack_from("<I", data, 4)[0]
    for cid, off, length in riff_chunks(data, 12, 8 + size):
        if cid == b"idx1":
            return off
    raise RuntimeError("no idx1")


def with_absolute_index(data):
    """The same file with idx1 offsets counted from the start of the file."""
    data = bytearray(data)
    movi = data.find(b"movi")
    idx = idx1_position(data)
    for i in range(struct.unpack_from("<I", data, idx + 4)[0] // 16):
        at = idx + 8 + 16 * i + 8
        struct.pack_into("<I", data, at, struct.unpack_from("<I", data, at)[0] + movi)
    return bytes(data)


def cuts_of(name, path):
    with open(path, "rb") as f:
        data = f.read()
    n = len(data)
    video = [p for p in packets(path) if p["stream"] == 0]
    every = [(0, n)]
    intra = name in ("mjpeg_mp3", "rawvideo")
    salvage_case(f"{name}-whole-span", path, data, every, 30, 40,
                 tool_lines=["Keyframes: every frame" if intra else "Keyframes: from the file's index"])
    salvage_case(f"{name}-truncated-30", path, data[:n * 3 // 10], [(0, n * 3 // 10)], 1)
    salvage_case(f"{name}-truncated-60", path, data[:n * 6 // 10], [(0, n * 6 // 10)], 20, 25)
    hole = (n * 40 // 100, n * 55 // 100)
    holed = data[:hole[0]] + bytes(hole[1] - hole[0]) + data[hole[1]:]
    salvage_case(f"{name}-zero-hole", path, holed, [(0, hole[0]), (hole[1], n)], 1,
                 tool_lines=["resynchronised: 1"])
    middle = video[len(video) // 2]
    half = middle["pos"] + middle["size"] // 2
    salvage_case(f"{name}-chunk-cut-in-half", path, data[:half], [(0, half)], 10)
    idx = idx1_position(data)
    salvage_case(f"{name}-index-missing", path, data[:idx], [(0, idx)], 50, 30,
                 tool_lines=["Keyframes: every frame" if intra else "Keyframes: from the frames themselves"])


def special_cases():
    path = os.path.join(WORK, "mpeg4_pcm.avi")
    with open(path, "rb") as f:
        data = f.read()
    n = len(data)
    salvage_case("mpeg4_pcm-absolute-index", path, with_absolute_index(data), [(0, n)], 40, 20,
                 tool_lines=["Keyframes: from the file's index"])
    # A download with garbage where the data has not arrived, and the gap list beside it.
    rng = random.Random(3)
    gap = (n * 35 // 100 + 1, n * 50 // 100 + 1)
    garbled = data[:gap[0]] + bytes(rng.randrange(256) for _ in range(gap[1] - gap[0])) + data[gap[1]:]
    salvage_case("mpeg4_pcm-part-with-gap-list", path, garbled, [(0, gap[0]), (gap[1], n)], 1, suffix=".part",
                 gaps=[gap], tool_lines=["Gap list: 1 gaps"])


def error_cases():
    started = time.time()
    problems = []
    text = os.path.join(WORK, "notes.avi")
    with open(text, "w") as f:
        f.write("not a video at all\n" * 20)
    out = os.path.join(WORK, "error-out.avi")
    with open(out, "w") as f:
        f.write("older output")
    checks = [
        ([text, out, "-k", "1", "/A"], "not an AVI file"),
        ([os.path.join(WORK, "missing.avi"), out, "-k", "1", "/A"], "cannot open input file"),
        ([os.path.join(WORK, "rawvideo.avi"), out, "-k", "5000", "/A"], "no usable frames"),
        ([os.path.join(WORK, "rawvideo.avi"), os.path.join(WORK, "no-such-dir", "x.avi"), "-k", "1", "/A"],
         "cannot write output file"),
        (["in.avi", "out.avi", "-k", "x", "/A"], "Usage: ClipmendC"),
    ]
    for args, wanted in checks:
        problems += refusal_problems(args, wanted)
    with open(out) as f:
        if f.read() != "older output":
            problems.append("a failed run changed the existing output file")
    if any(name.endswith(".clipmend-tmp") for name in os.listdir(WORK)):
        problems.append("a temporary file was left behind")
    report("errors-leave-no-output", problems, started)


def large_case():
    """Over the 1 GiB limit: ffmpeg writes extended segments, and so must the tool."""
    path = os.path.join(WORK, "large.avi")
    ffmpeg(["-f", "lavfi", "-i", f"testsrc=size=1920x1080:rate={FPS}", "-t", "7.2", "-c:v", "rawvideo",
            "-pix_fmt", "bgr24", path])
    n = os.path.getsize(path)
    salvage_case("large-extended-whole", path, None, [(0, n)], 1, length=n)
    # Cut inside the second segment, so that the walk has to find the chunks there.
    cut = n * 98 // 100
    salvage_case("large-extended-truncated-98", path, None, [(0, cut)], 1, length=cut)
    os.remove(path)


def main():
    for name, args in SOURCES.items():
        path = os.path.join(WORK, name + ".avi")
        ffmpeg(args + [path])
        cuts_of(name, path)
    special_cases()
    error_cases()
    if os.environ.get("CLIPMEND_SKIP_LARGE") == "1":
        print("skipped: large-extended (CLIPMEND_SKIP_LARGE=1)")
    else:
        large_case()
    return summary()


if __name__ == "__main__":
    sys.exit(main())
