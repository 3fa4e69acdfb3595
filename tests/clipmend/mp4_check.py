#!/usr/bin/env python3
"""ClipmendC end to end on MP4 and QuickTime: files made by ffmpeg (the index before the movie data,
after it, MPEG-4 video with AAC and with PCM sound in QuickTime files, a fragmented file, sound that
starts late; QuickTime's sound tables in samples of one byte and its compressed index made from
them), cut the way partial downloads are cut,
salvaged by the tool and judged against the intact file's packets (ffprobe) and by ffmpeg decoding
the result.

Usage: mp4_check.py CLIPMEND WORK-DIR
"""
import os
import random
import struct
import subprocess
import sys
import time
import zlib

from compress_index import compress_index
from media_check import (arguments, decode_problems, ffmpeg, packets, refusal_problems, remove, report, salvage,
                         summary, write_input)

TOOL, WORK = arguments()
FPS = 25
PICTURE = ["-f", "lavfi", "-i", f"testsrc=size=320x240:rate={FPS}:duration=8"]
TONE = ["-f", "lavfi", "-i", "sine=frequency=440:sample_rate=48000:duration=8"]
# Uncompressed sound is judged sample by sample: a lower rate keeps that quick.
# Two seconds of it are silence, exact zeros, as a pause in produced sound is.
PCM_TONE = ["-f", "lavfi", "-i", "sine=frequency=440:sample_rate=16000:duration=8",
            "-af", "volume=enable='between(t,1,3)':volume=0"]
H264_AAC = ["-c:v", "libx264", "-bf", "2", "-g", "25", "-c:a", "aac"]
H264 = PICTURE + TONE + H264_AAC
# Sound that starts half a second after the picture: an empty edit first in its edit list.
LATE_SOUND = PICTURE + ["-itsoffset", "0.5", "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=48000:duration=7.5"] \
    + H264_AAC + ["-movflags", "+faststart"]
SOURCES = {
    "h264_aac_faststart.mp4": H264 + ["-movflags", "+faststart"],
    "h264_aac_index_at_end.mp4": H264,
    "mpeg4_aac.mov": PICTURE + TONE + ["-c:v", "mpeg4", "-bf", "1", "-g", "12", "-c:a", "aac",
                                       "-movflags", "+faststart"],
    "h264_aac_fragmented.mp4": H264 + ["-movflags", "frag_keyframe+empty_moov"],
    # Uncompressed sound has a sample per sound frame: the tool takes a chunk of them at once.
    "mpeg4_pcm.mov": PICTURE + PCM_TONE + ["-c:v", "mpeg4", "-g", "12", "-c:a", "pcm_s16le", "-movflags",
                                          "+faststart"],
}
CONTAINERS = {b"moov", b"trak", b"mdia", b"minf", b"stbl", b"edts", b"mvex", b"moof", b"traf"}


def boxes(data, start, end):
    """[(type, start, payload start, end)] of the boxes from start to end."""
    found, pos = [], start
    while pos + 8 <= end:
        size, kind = struct.unpack_from(">I4s", data, pos)
        header = 8
        if size == 1:
            size, header = struct.unpack_from(">Q", data, pos + 8)[0], 16
        elif size == 0:
            size = end - pos
        if size < header or pos + size > end:
            raise ValueError(f"box {kind} at {pos} does not fit")
        found.append((kind, pos, pos + header, pos + size))
        pos += size
    return found


def find(data, path, within=None):
    """Every box along the path of types, below within (or the top level)."""
    level = boxes(data, within[2], within[3]) if within else boxes(data, 0, len(data))
    hits = [b for b in level if b[0] == path[0]]
    return hits if len(path) == 1 else [deeper for b in hits for deeper in find(data, path[1:], b)]


def movie(path):
    """The intact file: its bytes, ffprobe's packets per stream in decoding order, the streams'
    kinds, and the fragment headers (moof) each packet's place depends on."""
    with open(path, "rb") as f:
        data = f.read()
    streams = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "stream=codec_name,codec_type,time_base",
                              "-of", "csv=p=0", path], capture_output=True, text=True, check=True).stdout.split()
    codecs = [s.split(",")[0] for s in streams]
    kinds = [s.split(",")[1] for s in streams]
    bases = [int(s.split(",")[2].split("/")[0]) / int(s.split(",")[2].split("/")[1]) for s in streams]
    fragments = [(b[1], b[3]) for b in boxes(data, 0, len(data)) if b[0] == b"moof"]
    found = packets(path)
    for p in found:
        p["end"] = p["pos"] + p["size"]
        p["kind"] = kinds[p["stream"]]
        # Sound of frames of one size, which the tool may cut between them: uncompressed, and IMA
        # ADPCM (a frame of 34 bytes a channel holds 64 sound samples).
        codec = codecs[p["stream"]]
        p["frame_ticks"] = 1 if codec.startswith("pcm_") else 64 if codec == "adpcm_ima_qt" else None
        p["start"] = p["pts"] * bases[p["stream"]]
        p["fragment"] = max((f for f in fragments if f[0] < p["pos"]), default=None)
    return {"data": data, "size": len(data), "packets": found, "fragmented": bool(fragments), "path": path}


def whole(kept, begin, end):
    return any(a <= begin and end <= b for a, b in kept)


def expected(source, kept, start, count):
    """The intact source's video packets the output must hold, in decoding order: a packet counts
    when its bytes (and, fragmented, its fragment's header) lie in kept ranges; after a lost one
    decoding starts again at a keyframe; -k moves back to the keyframe at or before START."""
    def intact(p):
        return whole(kept, p["pos"], p["end"]) and (p["fragment"] is None or whole(kept, *p["fragment"]))

    usable, need_key = [], True
    for p in (p for p in source["packets"] if p["kind"] == "video"):
        if not intact(p):
            need_key = True
        elif not need_key or p["key"]:
            need_key = False
            usable.append(p)
    first = start - 1
    last = min(first + count - 1, len(usable) - 1) if count else len(usable) - 1
    while not usable[first]["key"]:
        first -= 1
    return usable[first:last + 1], [p for p in source["packets"] if p["kind"] == "audio" and intact(p)]


def track_size(path):
    """Width and height in the video track's header (of a compressed index, once inflated)."""
    with open(path, "rb") as f:
        data = f.read()
    packed = find(data, [b"moov", b"cmov", b"cmvd"])
    if packed:
        data = zlib.decompress(data[packed[0][2] + 4:packed[0][3]])
    for trak in find(data, [b"moov", b"trak"]):
        if data[find(data, [b"mdia", b"hdlr"], trak)[0][2] + 8:][:4] == b"vide":
            header = find(data, [b"tkhd"], trak)[0]
            width, height = struct.unpack_from(">II", data, header[3] - 8)
            return width / 65536, height / 65536
    return None


def output_problems(source, out_path, want, audio, display, kept):
    try:
        out = movie(out_path)
    except (ValueError, subprocess.CalledProcessError) as error:
        return [f"the output does not read: {error}"]
    if out["fragmented"]:
        return ["the output is fragmented"]
    problems = []
    if out["data"][4:12] != source["data"][4:12]:
        problems.append(f"the output starts with {out['data'][4:12]}, the input's file type {source['data'][4:12]}")
    video = [p for p in out["packets"] if p["kind"] == "video"]
    if [(p["size"], p["key"]) for p in video] != [(p["size"], p["key"]) for p in want]:
        problems.append(f"{len(video)} video frames written, {len(want)} expected"
                        + ("" if len(video) != len(want) else " (sizes or sync samples differ)"))
        return problems
    # Decoding and presentation times move by one amount: a hole's time stays a jump, which the
    # frame before it fills; sync samples and composition offsets stay.
    for field in ("dts", "pts"):
        shift = want[0][field] - video[0][field]
        if any(w[field] - v[field] != shift for w, v in zip(want, video)):
            problems.append(f"video {field} values do not keep their distances")
    if video[-1]["duration"] != want[-1]["duration"]:
        problems.append(f"the last frame lasts {video[-1]['duration']}, not {want[-1]['duration']}")
    seconds = want[0]["start"] - video[0]["start"]
    if any(p["frame_ticks"] for p in source["packets"]):
        problems += frame_problems(source, out, kept, seconds)
    else:
        problems += audio_problems(out, audio, seconds)
    problems += duration_problems(out_path, video)
    size = display or track_size(source["path"])
    if track_size(out_path) != size:
        problems.append(f"track size {track_size(out_path)}, not {size}")
    return problems


def audio_problems(out, audio, seconds):
    """Every written audio packet is an intact one of the input, moved by as much as the video."""
    written = [p for p in out["packets"] if p["kind"] == "audio"]
    lost = [p for p in written
            if not any(a["size"] == p["size"] and abs(a["start"] - seconds - p["start"]) < 0.002 for a in audio)]
    if lost:
        return [f"{len(lost)} of {len(written)} audio packets not found intact in the input in step with the video"]
    return []


def sound_frames(movie, size, ticks):
    """{time: byte position} of every sound frame (of size bytes, lasting ticks); a packet's
    duration may be longer than its frames, where a hole's time follows them."""
    frames = {}
    for p in movie["packets"]:
        if p["kind"] == "audio":
            for i in range(p["size"] // size):
                frames[p["pts"] + i * ticks] = p["pos"] + i * size
    return frames


def frame_problems(source, out, kept, seconds):
    """Sound of frames of one size frame by frame: every written frame is an intact one of the
    input, in step with the video, and where the written sound breaks off, damage took the next
    frame (or frames ending in a zero byte before the damage, whose zeros may be the hole's own)."""
    first = next(p for p in source["packets"] if p["kind"] == "audio")
    ticks = first["frame_ticks"]
    size, rate = first["size"] * ticks // first["duration"], round(first["duration"] / first["seconds"])
    given, written = sound_frames(source, size, ticks), sound_frames(out, size, ticks)
    shift = round(seconds * rate)
    data = source["data"]

    def lost(time):
        return time in given and not whole(kept, given[time], given[time] + size)

    def frame(time):
        return data[given[time]:given[time] + size]

    wrong = [t for t, pos in written.items()
             if t + shift not in given or lost(t + shift) or out["data"][pos:pos + size] != frame(t + shift)]
    if wrong:
        return [f"{len(wrong)} of {len(written)} sound frames not intact in the input in step with the video"]
    for t in sorted(written):
        after = t + shift + ticks
        if t + ticks in written or after not in given or lost(after):
            continue
        zeros = after
        while zeros in given and not lost(zeros) and frame(zeros)[-1] == 0:
            zeros += ticks
        if not lost(zeros):
            return [f"the written sound breaks off before the intact frame at {after / rate:.4f} s"]
    return []


def start_problems(source_path, out_path):
    """Each track starts as long after the video as it does in the input (ffprobe's start times)."""
    def starts(path):
        out = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "stream=codec_type,start_time", "-of",
                              "csv=p=0", path], capture_output=True, text=True, check=True).stdout.split()
        times = [(kind, float(start)) for kind, start in (line.split(",") for line in out)]
        video = next(start for kind, start in times if kind == "video")
        return [(kind, round(start - video, 3)) for kind, start in times]

    if starts(out_path) != starts(source_path):
        return [f"tracks start at {starts(out_path)} after the video, in the input at {starts(source_path)}"]
    return []


def duration_problems(path, video):
    got = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0", path],
                         capture_output=True, text=True).stdout.strip()
    tick = video[0]["seconds"] / video[0]["duration"]
    span = (max(p["pts"] + p["duration"] for p in video) - min(p["pts"] for p in video)) * tick
    if got in ("", "N/A") or abs(float(got) - span) > 1.5 / FPS:
        return [f"duration {got}, video spans {span:.3f} s"]
    return []


def salvage_case(name, source, data, kept, start=1, count=0, gaps=None, display=None, output=None,
                 written=None, extension=".mp4"):
    """Writes data as the cut input (NAME.part with its gap list when gaps are given), runs the tool
    into output (default NAME-out.EXT) and judges the file it must write (written, default output)."""
    started = time.time()
    cut = os.path.join(WORK, name + (".part" if gaps is not None else extension))
    output = os.path.join(WORK, output or name + "-out" + extension)
    written = os.path.join(WORK, written) if written else output
    write_input(cut, data, gaps)
    args = [cut, output, "-k", str(start)] + (["-n", str(count)] if count else []) \
        + (["-h", str(int(display[0])), "-v", str(int(display[1]))] if display else []) + ["/A"]
    lines, problems = salvage(args)
    if not problems and written != output and (os.path.exists(output) or not os.path.exists(written)):
        problems.append(f"{os.path.basename(written)} not written instead of {os.path.basename(output)}")
    if not problems:
        want, audio = expected(source, kept, start, count)
        problems += output_problems(source, written, want, audio, display, kept)
        if start == 1 and kept == [(0, source["size"])]:
            problems += start_problems(source["path"], written)
        problems += decode_problems(written)
    report(name, problems, started)
    remove(cut, cut + ".met", output, written)


def within_sound(source, at):
    """The middle of the first audio packet from at on: damage that begins inside one costs only
    part of it where the sound is uncompressed."""
    return next(p["pos"] + p["size"] // 2 for p in source["packets"] if p["kind"] == "audio" and p["pos"] >= at)


def cuts(name, source, extension):
    """Damage as partial downloads have it: the end missing, a zero-filled hole, garbage the gap
    list marks."""
    data, n = source["data"], source["size"]
    for share, start in ((35, 1), (70, 10)):
        at = n * share // 100
        salvage_case(f"{name}-truncated-{share}", source, data[:at], [(0, at)], start, extension=extension)
    hole = (within_sound(source, n // 3), within_sound(source, n // 3) + n // 10)
    salvage_case(f"{name}-zero-hole", source, data[:hole[0]] + bytes(hole[1] - hole[0]) + data[hole[1]:],
                 [(0, hole[0]), (hole[1], n)], extension=extension)
    gap = (within_sound(source, n * 45 // 100), within_sound(source, n * 45 // 100) + n // 10)
    garbage = random.Random(7).randbytes(gap[1] - gap[0])
    salvage_case(f"{name}-garbage-gap-list", source, data[:gap[0]] + garbage + data[gap[1]:],
                 [(0, gap[0]), (gap[1], n)], gaps=[gap], extension=extension)


def one_byte_sound_samples(source, path):
    """The file as QuickTime counts sound: in samples of one byte in the sound track's tables,
    whatever its frames or packets, whose size the sample description tells (version 1's fields
    for packets of compressed sound); ffmpeg reads it as the same sound."""
    data = bytearray(source["data"])
    for trak in find(data, [b"moov", b"trak"]):
        if data[find(data, [b"mdia", b"hdlr"], trak)[0][2] + 8:][:4] != b"soun":
            continue

        def table(kind):
            return find(data, [b"mdia", b"minf", b"stbl", kind], trak)[0][2]

        entry = table(b"stsd") + 8
        size, count = struct.unpack_from(">II", data, table(b"stsz") + 4)
        version, channels = struct.unpack_from(">H", data, entry + 16)[0], struct.unpack_from(">H", data, entry + 24)[0]
        per_packet = struct.unpack_from(">I", data, entry + 36)[0] if version == 1 else 1
        if per_packet > 1:
            struct.pack_into(">II", data, entry + 40, size // channels, size)
            for i in range(struct.unpack_from(">I", data, table(b"stsc") + 4)[0]):
                at = table(b"stsc") + 12 + 12 * i
                struct.pack_into(">I", data, at, struct.unpack_from(">I", data, at)[0] * per_packet)
            for i in range(struct.unpack_from(">I", data, table(b"stts") + 4)[0]):
                at = table(b"stts") + 8 + 8 * i
                packets, ticks = struct.unpack_from(">II", data, at)
                struct.pack_into(">II", data, at, packets * ticks, 1)
        struct.pack_into(">II", data, table(b"stsz") + 4, 1, count * per_packet)
    with open(path, "wb") as f:
        f.write(data)
    return movie(path)


def compressed_index(source, path):
    with open(path, "wb") as f:
        f.write(compress_index(source["data"]))
    return movie(path)


def index_at_end_case(source):
    """A download of a file whose index follows the movie data, stopped before the index: the tool
    says so in one line and writes nothing."""
    started = time.time()
    data = source["data"]
    moov = boxes(data, 0, len(data))[-1]
    cut, out = os.path.join(WORK, "index-at-end.mp4"), os.path.join(WORK, "index-at-end-out.mp4")
    write_input(cut, data[:len(data) * 6 // 10])
    problems = [] if moov[0] == b"moov" else ["the source's index is not at its end"]
    problems += refusal_problems([cut, out, "-k", "1", "/A"],
                                 f"the movie data runs to byte {moov[1]} of a file that holds {len(data) * 6 // 10}")
    problems += refusal_problems([cut, out, "-k", "1", "/A"], "the preview needs the end of the download first")
    if os.path.exists(out) or os.path.exists(out + ".clipmend-tmp"):
        problems.append("an output was written")
    report("index-at-end-not-arrived", problems, started)
    remove(cut, out)


def main():
    sources = {}
    for name, args in SOURCES.items():
        path = os.path.join(WORK, name)
        ffmpeg(args + [path])
        sources[name] = movie(path)
    for name, source in sources.items():
        base, extension = os.path.splitext(name)
        if name != "h264_aac_index_at_end.mp4":
            cuts(base, source, extension)
    ima = os.path.join(WORK, "mpeg4_ima.mov")
    ffmpeg(PICTURE + TONE + ["-c:v", "mpeg4", "-g", "12", "-c:a", "adpcm_ima_qt", "-movflags", "+faststart", ima])
    for name, source in (("mpeg4_pcm", sources["mpeg4_pcm.mov"]), ("mpeg4_ima", movie(ima))):
        cuts(f"{name}-one-byte-samples",
             one_byte_sound_samples(source, os.path.join(WORK, f"{name}-one-byte-samples.mov")), ".mov")
    packed = compressed_index(sources["mpeg4_aac.mov"], os.path.join(WORK, "mpeg4_aac-compressed-index.mov"))
    cuts("mpeg4_aac-compressed-index", packed, ".mov")
    index_at_end_case(sources["h264_aac_index_at_end.mp4"])
    # The index at the end arrived with the rest: holes cost only their samples.
    end = sources["h264_aac_index_at_end.mp4"]
    n = end["size"]
    hole = (n // 3, n // 3 + n // 10)
    salvage_case("h264_aac_index_at_end-zero-hole", end, end["data"][:hole[0]] + bytes(hole[1] - hole[0])
                 + end["data"][hole[1]:], [(0, hole[0]), (hole[1], n)])
    late = os.path.join(WORK, "h264_aac_late_audio.mp4")
    ffmpeg(LATE_SOUND + [late])
    late = movie(late)
    salvage_case("h264_aac-late-audio", late, late["data"], [(0, late["size"])])
    fast = sources["h264_aac_faststart.mp4"]
    whole = [(0, fast["size"])]
    salvage_case("h264_aac-span", fast, fast["data"], whole, 30, 25)
    mov = sources["mpeg4_aac.mov"]
    salvage_case("mpeg4_aac-display-size", mov, mov["data"], [(0, mov["size"])], 5, display=(640.0, 240.0),
                 extension=".mov")
    # QuickTime files from before the file type box start with others; the output gets one.
    old_mov = mov["data"].replace(b"ftyp", b"free", 1)
    salvage_case("mpeg4_aac-no-file-type", mov, old_mov, [(0, mov["size"])], extension=".mov")
    # The tool names the output by what it writes, whatever name it is given.
    salvage_case("h264_aac-named-by-content", fast, fast["data"], whole, output="film.mp4.avi", written="film.mp4")
    salvage_case("mpeg4_aac-named-by-content", mov, mov["data"], [(0, mov["size"])], output="clip.mkv",
                 written="clip.mov", extension=".mov")
    started = time.time()
    out = os.path.join(WORK, "error-out.mp4")
    problems = refusal_problems([os.path.join(WORK, "h264_aac_faststart.mp4"), out, "-k", "5000", "/A"],
                                "no usable frames")
    other_method = os.path.join(WORK, "other-method.mov")
    write_input(other_method, packed["data"].replace(b"dcomzlib", b"dcomlzss", 1))
    problems += refusal_problems([other_method, out, "-k", "1", "/A"],
                                 "the index (moov box) is compressed in a way this tool does not read")
    if os.path.exists(out):
        problems.append("a refused run left an output")
    report("mp4-errors", problems, started)
    return summary()


if __name__ == "__main__":
    sys.exit(main())
