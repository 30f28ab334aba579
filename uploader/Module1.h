#pragma once
// Module `Module1`: the uploader's constant settings, set once at start from the configuration
// compiled into the program.
#include <QString>

namespace Module1 {
extern QString upServerURL;  // the shop's server page, where the rows post "Uploaded"
extern QString ftpHostName;
extern QString ftpPortNo;    // a text, as the rows hand it to their connection
extern QString ftpUserName;
extern QString ftpPassword;
extern QString upTitle;      // the tray icon's tip

void initConst();
}  // namespace Module1
