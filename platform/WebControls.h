#pragma once
// The movie player and the web page control live on QtWebEngine, which only the client needs: the
// uploader and the updater stay without it (a quicker start and a fraction of the memory).
struct Platform;

namespace WebControls {
// Lets the platform make real movie players and web browsers, and has WebEngine's own pages speak
// Chinese as the rest of the interface does. Call before the first page is made, after
// Translations::install.
void install(Platform& p);
}
