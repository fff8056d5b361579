# A sound card stand-in: drains the FIFO that ALSA's file plugin writes at exactly the rate of
# 44100 frames of 16-bit stereo a second, through a 4096-byte pipe, so the show's sound output
# is throttled as by real hardware; appends what it drains to a file.
# Usage: realtime_sink.py FIFO OUT
import fcntl, os, sys, time

F_SETPIPE_SZ = 1031
RATE = 44100 * 4

fd = os.open(sys.argv[1], os.O_RDONLY | os.O_NONBLOCK)
fcntl.fcntl(fd, F_SETPIPE_SZ, 4096)
out = open(sys.argv[2], "wb")
start = None
got = 0
while True:
    if start is not None:
        allowed = int(RATE * (time.monotonic() - start)) - got
        if allowed < 4:
            time.sleep(0.002)
            continue
    else:
        allowed = 4096
    try:
        data = os.read(fd, min(allowed - allowed % 4, 4096))
    except BlockingIOError:
        time.sleep(0.001)
        continue
    if not data:
        if start is not None:
            break  # the writer has closed: the show has ended
        time.sleep(0.01)  # no writer yet
        continue
    if start is None:
        start = time.monotonic()
    out.write(data)
    got += len(data)
out.close()
