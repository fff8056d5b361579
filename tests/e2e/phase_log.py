"""The live show's phase log (STREAM8_PHASE_LOG): a line "NAME SECONDS" when a phase or an event
begins, and a line "timing PHASE key=value ..." with the host's account of that phase's waits."""


# Each phase's length in seconds on a machine that keeps its pace: (the phase after it, least,
# most). The holds last 209 ticks, the smear 300, the loop 2099 and the fade 450.
BOUNDS = {"logo": ("smear", 3.4, 3.7), "smear": ("loop", 4.9, 5.3), "loop": ("pause", 2097 / 59, 36.0),
          "pause": ("fade", 3.4, 3.7), "fade": ("end", 7.4, 7.9)}


def read(path):
    """(moments, timing): the seconds at which each name began; each phase's timing figures."""
    moments, timing = {}, {}
    for line in open(path):
        f = line.split()
        if f[0] == "timing":
            timing[f[1]] = {k: float(v) for k, v in (kv.split("=") for kv in f[2:])}
        else:
            moments[f[0]] = float(f[1])
    return moments, timing
