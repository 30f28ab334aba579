"""Bounded waiting: every wait of the harness ends by itself, with a message saying what it was for."""

import time


class WaitTimeout(AssertionError):
    """A wait ran out. An assertion error, so a test reports it as a failure, not as an error."""


class Hopeless(AssertionError):
    """Raised by a probe when what it waits for can no longer come (the program ended): the
    wait ends at once with it."""


def wait_until(probe, timeout, what, interval=0.1, shown=None):
    """Calls probe until it returns something true and returns that; raises WaitTimeout after
    `timeout` seconds. An exception of the probe counts as "not yet" and is quoted if time runs
    out, except Hopeless, which ends the wait. shown: what the thing waited on shows, looked at
    once more for the message when time runs out."""
    deadline = time.monotonic() + timeout
    last_error = None
    while True:
        try:
            value = probe()
            if value:
                return value
        except Hopeless:
            raise
        except Exception as e:  # noqa: BLE001 - a probe may fail while the thing it looks at comes up
            last_error = e
        if time.monotonic() >= deadline:
            detail = " (last: %r)" % last_error if last_error is not None else ""
            raise WaitTimeout("waited %.0f s for %s%s%s" % (timeout, what, detail, _showing(shown)))
        time.sleep(interval)


def _showing(shown):
    if shown is None:
        return ""
    try:
        return "; it showed %r" % (shown(),)
    except Exception as e:  # noqa: BLE001 - the message must come out whatever the look does
        return "; looking at what it showed failed: %r" % e
