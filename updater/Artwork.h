#pragma once
// The updater window's pictures, drawn at the size they are shown: the background, the title
// strip and the close button.
#include <QPixmap>
#include <QSize>

namespace Artwork {
QPixmap background(const QSize& size);
QPixmap titlePicture(const QSize& size);
QPixmap closePicture(const QSize& size);
}  // namespace Artwork
