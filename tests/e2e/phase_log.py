"""The live show's phase log (STREAM8_PHASE_LOG): a line "NAME SECONDS" when a phase or an event
begins, and a line "timing PHASE key=value ..." with the host's account of that phase's waits."""


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
