"""Harness of the end-to-end tests: an X session, the stand-in shop, the real programs from a
copy of the ready program folder, movies driven through WebEngine's DevTools port and Qt's own
dialogs driven with xdotool. Every wait is bounded; see road.py for how a test reads."""
