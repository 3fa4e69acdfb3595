#!/usr/bin/env python3
"""ClipmendC end to end on Matroska and WebM: files made by ffmpeg, cut the way partial downloads
are cut, salvaged by the tool and judged against the intact file's packets (ffprobe) and its
element layout (a small EBML walk here), and by ffmpeg decoding the result.

Usage: matroska_check.py CLIPMEND WORK-DIR
"""
import os
import random
import struct
import subprocess
import sys
import time

from media_check import (arguments, decode_problems, ffmpeg, packets, refusal_problems, remove, report, salvage,
                         summary, write_input)

TOOL, WORK = arguments()
FPS = 25
PICTURE = ["-f", "lavfi", "-i", f"testsrc=size=320x240:rate={FPS}:duration=4"]
TONE = ["-f", "lavfi", "-i", "sine=frequency=440:sample_rate=48000:duration=4"]
VPX = ["-deadline", "realtime", "-cpu-used", "8", "-g", "12"]
SOURCES = {
    "h264_aac.mkv": PICTURE + TONE + ["-c:v", "libx264", "-bf", "2", "-g", "12", "-c:a", "aac"],
    "vp9_opus.webm": PICTURE + TONE + ["-c:v", "libvpx-vp9"] + VPX + ["-c:a", "libopus"],
    "vp8_vorbis.webm": PICTURE + TONE + ["-c:v", "libvpx"] + VPX + ["-c:a", "libvorbis"],
    # Live streams (recorders, broadcasts) leave every cluster's size unknown.
    "live_vp8_vorbis.webm": PICTURE + TONE + ["-c:v", "libvpx"] + VPX + ["-c:a", "libvorbis", "-f", "webm",
                                                                         "-live", "1"],
}

EBML, DOC_TYPE = 0x1A45DFA3, 0x4282
SEGMENT, INFO, TIMESTAMP_SCALE, TRACKS, CLUSTER, CUES = 0x18538067, 0x1549A966, 0x2AD7B1, 0x1654AE6B, 0x1F43B675, \
    0x1C53BB6B
TRACK_ENTRY, TRACK_NUMBER, TRACK_TYPE, VIDEO = 0xAE, 0xD7, 0x83, 0xE0
PIXEL_WIDTH, PIXEL_HEIGHT, DISPLAY_WIDTH, DISPLAY_HEIGHT = 0xB0, 0xBA, 0x54B0, 0x54BA
CLUSTER_TIMESTAMP, SIMPLE_BLOCK, BLOCK_GROUP, BLOCK, REFERENCE_BLOCK = 0xE7, 0xA3, 0xA0, 0xA1, 0xFB
CUE_POINT, CUE_TIME, CUE_TRACK_POSITIONS, CUE_TRACK, CUE_CLUSTER_POSITION, CUE_RELATIVE_POSITION = \
    0xBB, 0xB3, 0xB7, 0xF7, 0xF1, 0xF0
# Where a cluster of unknown size ends: at the next element of the segment's own level.
SEGMENT_LEVEL = {0x114D9B74, INFO, TRACKS, CLUSTER, CUES, 0x1254C367, 0x1043A770, 0x1941A469}
VIDEO_TYPE, AUDIO_TYPE = 1, 2
UNKNOWN_SIZE = b"\x01\xff\xff\xff\xff\xff\xff\xff"


def vint(data, pos):
    """(value, length, whether all value bits are set) of the variable-length number at pos."""
    length = 1
    while length <= 8 and not data[pos] & (0x80 >> (length - 1)):
        length += 1
    if length > 8:
        raise ValueError(f"no EBML number at {pos}")
    value = data[pos] & (0xFF >> length)
    for byte in data[pos + 1:pos + length]:
        value = value << 8 | byte
    return value, length, value == (1 << 7 * length) - 1


def head(data, pos):
    """(id, data start, size or None when unknown, length of the size field) of the element at pos."""
    _, id_length, _ = vint(data, pos)
    size, size_length, unknown = vint(data, pos + id_length)
    return int.from_bytes(data[pos:pos + id_length], "big"), pos + id_length + size_length, \
        None if unknown else size, size_length


def elements(data, start, end, closing=frozenset()):
    """([(id, start, data start, end)], where the walk stopped) from start to end, stopping early
    at an id in closing."""
    found, pos = [], start
    while pos < end:
        eid, body, size, _ = head(data, pos)
        if eid in closing:
            break
        if size is None:
            stop = end if eid == SEGMENT else elements(data, body, end, SEGMENT_LEVEL)[1]
        elif body + size > end:
            raise ValueError(f"element {eid:X} at {pos} runs past {end}")
        else:
            stop = body + size
        found.append((eid, pos, body, stop))
        pos = stop
    return found, pos


def kids(data, parent, wanted):
    return [e for e in elements(data, parent[2], parent[3])[0] if e[0] == wanted]


def uint(data, parent, wanted, default=None):
    found = kids(data, parent, wanted)
    return int.from_bytes(data[found[0][2]:found[0][3]], "big") if found else default


def walk(path):
    """The layout of a whole Matroska file: doc type, segment data start, timestamp scale,
    tracks, clusters, blocks in file order, cue points."""
    with open(path, "rb") as f:
        data = f.read()
    top = elements(data, 0, len(data))[0]
    header = next(e for e in top if e[0] == EBML)
    doc = kids(data, header, DOC_TYPE)[0]
    segment = next(e for e in top if e[0] == SEGMENT)
    level = elements(data, segment[2], segment[3])[0]
    info = next(e for e in level if e[0] == INFO)
    movie = {"doc_type": data[doc[2]:doc[3]].rstrip(b"\0").decode(), "segment": segment[2],
             "scale": uint(data, info, TIMESTAMP_SCALE, 1000000), "tracks": {}, "clusters": [], "blocks": [],
             "cues": []}
    for entry in kids(data, next(e for e in level if e[0] == TRACKS), TRACK_ENTRY):
        track = {"type": uint(data, entry, TRACK_TYPE)}
        for video in kids(data, entry, VIDEO):
            track.update({name: uint(data, video, eid) for name, eid in (
                ("pixel", PIXEL_WIDTH), ("pixel_height", PIXEL_HEIGHT), ("display", DISPLAY_WIDTH),
                ("display_height", DISPLAY_HEIGHT))})
        movie["tracks"][uint(data, entry, TRACK_NUMBER)] = track
    for cluster in (e for e in level if e[0] == CLUSTER):
        stamp = kids(data, cluster, CLUSTER_TIMESTAMP)[0]
        movie["clusters"].append({"start": cluster[1], "body": cluster[2], "header_end": stamp[3],
                                  "time": uint(data, cluster, CLUSTER_TIMESTAMP)})
        for eid, start, body, end in elements(data, cluster[2], cluster[3])[0]:
            if eid not in (SIMPLE_BLOCK, BLOCK_GROUP):
                continue
            group = eid == BLOCK_GROUP
            block = kids(data, (eid, start, body, end), BLOCK)[0] if group else (eid, start, body, end)
            track, length, _ = vint(data, block[2])
            relative, flags = struct.unpack_from(">hB", data, block[2] + length)
            key = not kids(data, (eid, start, body, end), REFERENCE_BLOCK) if group else bool(flags & 0x80)
            movie["blocks"].append({"track": track, "start": start, "end": end, "pos": block[2],
                                    "size": block[3] - block[2] - length - 3, "key": key,
                                    "time": movie["clusters"][-1]["time"] + relative,
                                    "cluster": movie["clusters"][-1]})
    for cues in (e for e in level if e[0] == CUES):
        for point in kids(data, cues, CUE_POINT):
            for where in kids(data, point, CUE_TRACK_POSITIONS):
                movie["cues"].append({"time": uint(data, point, CUE_TIME), "track": uint(data, where, CUE_TRACK),
                                      "cluster": uint(data, where, CUE_CLUSTER_POSITION),
                                      "relative": uint(data, where, CUE_RELATIVE_POSITION)})
    return movie


def frames(path):
    """walk(path) with each block joined to ffprobe's packet at its position (pts, duration,
    stream): ffprobe's pos is the Block's data start. Raises where the two disagree."""
    movie = walk(path)
    by_pos = {p["pos"]: p for p in packets(path)}
    if len(by_pos) != len(movie["blocks"]):
        raise ValueError(f"{len(by_pos)} packets from ffprobe, {len(movie['blocks'])} blocks walked")
    for block in movie["blocks"]:
        packet = by_pos.get(block["pos"])
        if packet is None or (packet["size"], packet["key"]) != (block["size"], block["key"]):
            raise ValueError(f"the block at {block['start']} is not ffprobe's packet {packet}")
        block.update(pts=packet["pts"], duration=packet["duration"] or 0,
                     type=movie["tracks"][block["track"]]["type"])
    return movie


def video_track(movie):
    return next(number for number, t in movie["tracks"].items() if t["type"] == VIDEO_TYPE)


def expected(source, kept, start, count):
    """The intact source's video blocks the output must hold, in file order, and the audio
    blocks it may take them from: a block counts when its element and its cluster's header lie
    in kept ranges; damage before or in a video block makes the next usable one a keyframe;
    -k moves back to the keyframe at or before START."""
    def whole(begin, end):
        return any(a <= begin and end <= b for a, b in kept)

    def intact(block):
        return whole(block["start"], block["end"]) and whole(block["cluster"]["start"], block["cluster"]["header_end"])

    damage = [(b, a) for (_, b), (a, _) in zip([(0, 0)] + kept, kept + [(source["size"], source["size"])]) if b < a]
    usable, need_key, previous_end = [], True, 0
    for block in (b for b in source["blocks"] if b["type"] == VIDEO_TYPE):
        if not intact(block) or any(g0 < block["end"] and previous_end < g1 for g0, g1 in damage):
            need_key = True
        previous_end = block["end"]
        if not intact(block) or (need_key and not block["key"]):
            continue
        need_key = False
        usable.append(block)
    first = start - 1
    last = min(first + count - 1, len(usable) - 1) if count else len(usable) - 1
    while not usable[first]["key"]:
        first -= 1
    audio = [b for b in source["blocks"] if b["type"] == AUDIO_TYPE and intact(b)]
    return usable[first:last + 1], audio


def output_problems(source, out_path, want, audio, display):
    try:
        out = frames(out_path)
    except (ValueError, StopIteration, IndexError, KeyError) as error:
        return [f"the output does not walk: {error}"]
    problems = []
    video = [b for b in out["blocks"] if b["type"] == VIDEO_TYPE]
    if [(b["size"], b["key"]) for b in video] != [(b["size"], b["key"]) for b in want]:
        problems.append(f"{len(video)} video frames written, {len(want)} expected"
                        + ("" if len(video) != len(want) else " (sizes or keyframe flags differ)"))
        return problems
    # Timestamps move by one amount: to start at 0, and a hole's time stays a jump.
    shift = want[0]["time"] - video[0]["time"]
    if any(w["time"] - v["time"] != shift for w, v in zip(want, video)):
        problems.append("video timestamps do not keep their distances")
    if min(b["time"] for b in out["blocks"]) != 0:
        problems.append(f"the earliest block is at {min(b['time'] for b in out['blocks'])}, not 0")
    if out["doc_type"] != source["doc_type"]:
        problems.append(f"doc type {out['doc_type']}, input {source['doc_type']}")
    problems += duration_problems(out_path, out)
    problems += cue_problems(out)
    problems += audio_problems(out, audio, shift, source["scale"])
    number = video_track(out)
    track, input_track = out["tracks"][number], source["tracks"][video_track(source)]
    if (track["pixel"], track["pixel_height"]) != (input_track["pixel"], input_track["pixel_height"]):
        problems.append(f"pixel size {track['pixel']}x{track['pixel_height']}")
    if display and (track["display"], track["display_height"]) != display:
        problems.append(f"display size {track['display']}x{track['display_height']}, asked for {display}")
    return problems


def duration_problems(path, out):
    got = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0", path],
                         capture_output=True, text=True).stdout.strip()
    tick = out["scale"] / 1e9
    span = (max(b["pts"] + b["duration"] for b in out["blocks"]) - min(b["pts"] for b in out["blocks"])) * tick
    if got in ("", "N/A") or abs(float(got) - span) > 1 / FPS:
        return [f"duration {got}, packets span {span:.3f} s"]
    return []


def cue_problems(out):
    """Every cue point leads to a cluster holding a video keyframe at its time; every written
    video keyframe has one."""
    problems = []
    number = video_track(out)
    clusters = {c["start"] - out["segment"]: c for c in out["clusters"]}
    for cue in out["cues"]:
        cluster = clusters.get(cue["cluster"])
        target = [b for b in out["blocks"] if b["cluster"] is cluster and b["time"] == cue["time"] and b["key"]
                  and b["track"] == number == cue["track"]]
        if not target or (cue["relative"] is not None and target[0]["start"] - cluster["body"] != cue["relative"]):
            problems.append(f"cue point at {cue['time']} (track {cue['track']}) leads to no keyframe")
            break
    cued = {c["time"] for c in out["cues"] if c["track"] == number}
    uncued = [b["time"] for b in out["blocks"] if b["track"] == number and b["key"] and b["time"] not in cued]
    if uncued:
        problems.append(f"{len(uncued)} keyframes without a cue point, the first at {uncued[0]}")
    return problems


def audio_problems(out, audio, shift, scale):
    """Every written audio block is an intact one of the input, moved like the video; the audio
    covers the video's time but for what damage took."""
    problems = []
    written = [(b["size"], b["time"]) for b in out["blocks"] if b["type"] == AUDIO_TYPE]
    available = {(b["size"], b["time"] - shift) for b in audio}
    foreign = [w for w in written if w not in available]
    if foreign or len(set(written)) != len(written):
        problems.append(f"{len(foreign)} audio blocks not found intact in the input, or some written twice")
    video = [b for b in out["blocks"] if b["type"] == VIDEO_TYPE]
    begin, end = min(b["time"] for b in video), max(b["time"] + b["duration"] for b in video)
    slack = 0.2 * 1e9 / scale
    inside = [(b["time"] - shift, b["time"] - shift + b["duration"]) for b in audio
              if b["time"] - shift + b["duration"] > begin and b["time"] - shift < end]
    spans = [(b["time"], b["time"] + b["duration"]) for b in out["blocks"] if b["type"] == AUDIO_TYPE]
    if inside and (not spans or min(s[0] for s in spans) > max(begin, min(s[0] for s in inside)) + slack
                   or max(s[1] for s in spans) < min(end, max(s[1] for s in inside)) - slack):
        problems.append(f"audio covers {spans[0][0] if spans else '-'} to {spans[-1][1] if spans else '-'}, "
                        f"video {begin} to {end}")
    return problems


def salvage_case(name, source, data, kept, start=1, count=0, gaps=None, display=None, output=None,
                 written=None, tool_lines=()):
    """Writes data as the cut input (NAME.part with its gap list when gaps are given), runs the tool
    into output (default NAME-out.EXT) and judges the file it must write (written, default output)."""
    started = time.time()
    extension = ".mkv" if source["doc_type"] == "matroska" else ".webm"
    cut = os.path.join(WORK, name + (".part" if gaps is not None else extension))
    output = os.path.join(WORK, output or name + "-out" + extension)
    written = os.path.join(WORK, written) if written else output
    write_input(cut, data, gaps)
    args = [cut, output, "-k", str(start)] + (["-n", str(count)] if count else []) \
        + (["-h", str(display[0]), "-v", str(display[1])] if display else []) + ["/A"]
    lines, problems = salvage(args, tool_lines)
    if not problems and written != output:
        if os.path.exists(output):
            problems.append(f"{os.path.basename(output)} written besides {os.path.basename(written)}")
        if not any(line.startswith("Output: ") for line in lines):
            problems.append("no line starting with 'Output: '")
    if not problems:
        want, audio = expected(source, kept, start, count)
        problems += output_problems(source, written, want, audio, display)
        problems += decode_problems(written)
    report(name, problems, started)
    remove(cut, cut + ".met", output, written)


def with_unknown_cluster_sizes(path):
    """The file rewritten with every cluster's size as the 8-byte unknown size; the segment's
    size must be unknown already, as a live stream leaves it."""
    with open(path, "rb") as f:
        data = f.read()
    segment = next(e for e in elements(data, 0, len(data))[0] if e[0] == SEGMENT)
    if head(data, segment[1])[2] is not None:
        raise ValueError("the live file has a segment of known size")
    pieces, pos = [], 0
    for _, start, body, _ in (e for e in elements(data, segment[2], segment[3])[0] if e[0] == CLUSTER):
        pieces += [data[pos:start + 4], UNKNOWN_SIZE]
        pos = body
    data = b"".join(pieces) + data[pos:]
    with open(path, "wb") as f:
        f.write(data)
    if any(head(data, c["start"])[2] is not None for c in walk(path)["clusters"]):
        raise ValueError("a cluster kept its size")


def cuts_of(name, path):
    """The damage of a partial download, each as the cut file's bytes and the source's byte
    ranges it keeps."""
    source = frames(path)
    with open(path, "rb") as f:
        data = f.read()
    n = source["size"] = len(data)
    for share, start in ((35, 1), (70, 10)):
        at = n * share // 100
        salvage_case(f"{name}-truncated-{share}", source, data[:at], [(0, at)], start)
    hole = (n // 3, n // 3 + n // 10)
    salvage_case(f"{name}-zero-hole", source, data[:hole[0]] + bytes(hole[1] - hole[0]) + data[hole[1]:],
                 [(0, hole[0]), (hole[1], n)])
    gap = (n * 45 // 100, n * 55 // 100)
    garbage = random.Random(7).randbytes(gap[1] - gap[0])
    salvage_case(f"{name}-garbage-gap-list", source, data[:gap[0]] + garbage + data[gap[1]:],
                 [(0, gap[0]), (gap[1], n)], gaps=[gap])
    middle = source["blocks"][len(source["blocks"]) // 2]["cluster"]
    end = next((c["start"] for c in source["clusters"] if c["start"] > middle["start"]), n)
    cut = (middle["header_end"] + (end - middle["header_end"]) // 3,
           middle["header_end"] + (end - middle["header_end"]) * 2 // 3)
    salvage_case(f"{name}-cluster-cut-in-half", source, data[:cut[0]] + data[cut[1]:], [(0, cut[0]), (cut[1], n)])
    return source, data


def main():
    sources = {}
    for name, args in SOURCES.items():
        path = os.path.join(WORK, name)
        ffmpeg(args + [path])
        if name.startswith("live"):
            with_unknown_cluster_sizes(path)
        sources[name] = cuts_of(name.split(".")[0], path)
    h264, h264_data = sources["h264_aac.mkv"]
    whole = [(0, h264["size"])]
    salvage_case("h264_aac-span", h264, h264_data, whole, 30, 25)
    vp9, vp9_data = sources["vp9_opus.webm"]
    salvage_case("vp9_opus-display-size", vp9, vp9_data, [(0, vp9["size"])], 5, display=(640, 480))
    # The tool names the output by what it writes, whatever name it is given.
    salvage_case("h264_aac-named-by-content", h264, h264_data, whole, output="film.mkv.avi", written="film.mkv")
    vp8, vp8_data = sources["vp8_vorbis.webm"]
    salvage_case("vp8_vorbis-named-by-content", vp8, vp8_data, [(0, vp8["size"])], output="clip.avi",
                 written="clip.webm")
    started = time.time()
    text = os.path.join(WORK, "notes.mkv")
    with open(text, "w") as f:
        f.write("not a video at all\n" * 20)
    out = os.path.join(WORK, "error-out.mkv")
    problems = refusal_problems([text, out, "-k", "1", "/A"], "not an AVI file")
    problems += refusal_problems([os.path.join(WORK, "h264_aac.mkv"), out, "-k", "5000", "/A"], "no usable frames")
    if os.path.exists(out):
        problems.append("a refused run left an output")
    report("matroska-errors", problems, started)
    return summary()


if __name__ == "__main__":
    sys.exit(main())
