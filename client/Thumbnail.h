#pragma once
// Thumbnails of the user's pictures: their size, and one thumbnail made on a surface of its own.
// Nothing here touches a window, so the pool's threads make them.
#include "Imaging.h"

#include <QImage>
#include <QString>

// The thumbnail size of a w x h picture for sizeMax: width step, then height step, in double
// precision with halves going to the even neighbour; a side below 1 becomes sizeMax.
void thumbnailSize(int& w, int& h, int sizeMax);

// One thumbnail as ShowTNImg makes it, on a surface of its own, so that any thread can make one.
struct Thumbnail {
  enum Status { Written, Unreadable, NoSurface } status = Unreadable;
  QImage image;  // the surface, once made
};
Thumbnail makeThumbnail(const QString& imagePath, int sizeMax, const QString& fileName);
