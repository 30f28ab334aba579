#pragma once
// The release list between the shop, the client and the updater: the client fetches it from the
// shop's update folder into a file of the program folder, the updater reads it there and fetches
// the listed files from the same folder.
#include <QtGlobal>

namespace releaseList {
// A release list is a few hundred bytes; one longer than this is not one the shop writes, and
// neither program reads it.
constexpr qint64 maxBytes = 1 << 20;
// The list's file in the program folder.
inline constexpr char localFile[] = "ver.tmp";
// The shop's update folder, the list ("ver.xml") and the release's files in it.
inline constexpr char shopFolder[] = "/novrel/";
}  // namespace releaseList
