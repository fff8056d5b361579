#!/usr/bin/env python3
"""Checks the recorder's output on another machine against x86-64's.

  compare.py --frames REFERENCE LOG... --sound X86_64.pcm OTHER.pcm

REFERENCE and each LOG are hash logs ("loop:160 0123456789abcdef" a line, "sound:N ..." for the
seconds of the sound track): every video frame of each LOG must hash as in REFERENCE, in the same
order. The .pcm files are the raw 48 kHz 16-bit stereo sound tracks of the two recorders: equal
sample for sample, except inside the fade, where each sample may differ by TOLERANCE (DUMB's
volume product, built with -ffast-math, rounds differently on each machine once the fade's gain
is not a small integer). The sound of video frame k (1-based) is samples
[k-1, k) * 48000 / 59 of the track. Exit status 1 on any difference."""
import argparse
import array
import sys

SAMPLE_RATE = 48000
FRAME_RATE = 59
TOLERANCE = 3
SHOWN = 8  # differences listed in full


def read_log(path):
    frames, sound = [], []
    with open(path) as f:
        for n, line in enumerate(f, 1):
            parts = line.split()
            if len(parts) != 2 or ":" not in parts[0]:
                sys.exit(f"{path}:{n}: not a hash log line: {line.rstrip()!r}")
            (sound if parts[0].startswith("sound:") else frames).append((parts[0], parts[1]))
    return frames, sound


def check_frames(reference, path):
    want, _ = read_log(reference)
    got, _ = read_log(path)
    bad = [(i, w, g) for i, (w, g) in enumerate(zip(want, got)) if w != g]
    for i, w, g in bad[:SHOWN]:
        print(f"  video frame {i + 1}: {reference} has {w[0]} {w[1]}, {path} has {g[0]} {g[1]}")
    if len(want) != len(got):
        print(f"  {path} has {len(got)} video frames, {reference} {len(want)}")
    ok = not bad and len(want) == len(got)
    print(f"frames: {path}: " + (f"all {len(got)} equal to {reference}" if ok else
                                 f"{len(bad)} of {len(want)} differ from {reference}"))
    return ok, [label for label, _ in got]


def samples_through(k):
    return k * SAMPLE_RATE // FRAME_RATE


def check_sound(labels, ref_path, path):
    def load(p):
        a = array.array("h")
        with open(p, "rb") as f:
            a.frombytes(f.read())
        if sys.byteorder != "little":
            a.byteswap()
        return a
    ref, got = load(ref_path), load(path)
    expected = 2 * samples_through(len(labels))
    if len(ref) != expected or len(got) != expected:
        print(f"sound: {len(ref)} and {len(got)} samples, expected {expected} "
              f"for {len(labels)} video frames")
        return False
    differing = {}  # label -> (samples that differ, largest difference)
    for k, label in enumerate(labels, 1):
        lo, hi = 2 * samples_through(k - 1), 2 * samples_through(k)
        a, b = ref[lo:hi], got[lo:hi]
        if a != b:
            diffs = [abs(x - y) for x, y in zip(a, b) if x != y]
            differing[label] = (len(diffs), max(diffs))
    outside = [l for l in differing if not l.startswith("fade:")]
    over = [l for l, (_, m) in differing.items() if l.startswith("fade:") and m > TOLERANCE]
    for label in (outside + over)[:SHOWN]:
        count, most = differing[label]
        print(f"  {label}: {count} sample{'s' if count > 1 else ''} differ{'' if count > 1 else 's'}, by up to {most}")
    total = sum(c for c, _ in differing.values())
    most = max((m for _, m in differing.values()), default=0)
    where = f", in {len(differing)} frames ({', '.join(list(differing)[:3])}{', ...' if len(differing) > 3 else ''})" if differing else ""
    print(f"sound: {path}: {total} of {expected} samples differ from {ref_path}, by up to {most}{where}")
    if outside:
        print(f"sound: {len(outside)} frames outside the fade differ; they must be equal")
    if over:
        print(f"sound: {len(over)} fade frames differ by more than {TOLERANCE}")
    return not outside and not over


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--frames", nargs="+", required=True, metavar=("REFERENCE", "LOG"))
    ap.add_argument("--sound", nargs=2, metavar=("X86_64_PCM", "OTHER_PCM"))
    args = ap.parse_args()
    if len(args.frames) < 2:
        ap.error("--frames needs a reference and at least one log")
    ok = True
    labels = None
    for log in args.frames[1:]:
        good, got = check_frames(args.frames[0], log)
        ok = ok and good
        labels = labels or got
    if args.sound:
        ok = check_sound(labels, *args.sound) and ok
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
