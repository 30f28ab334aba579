#pragma once
// The updater window's pictures, drawn at the size they are shown: the background, the title
// strip and the close button.
#include <QFont>
#include <QPixmap>
#include <QSize>

namespace Artwork {
// The one font of every text in the window, labels and pictures alike: a single face and size
// to load when the window is first drawn.
QFont textFont();

QPixmap background(const QSize& size);
QPixmap titlePicture(const QSize& size);
QPixmap closePicture(const QSize& size);
}  // namespace Artwork
