#pragma once
// Lets the event loop run once: pending window, timer and socket events are handled.
void DoEvents();
