#pragma once
// Real picture files for imaging tests.
#include <QColor>
#include <QImage>
#include <QString>

// A w x h picture: left half `left`, right half `right` (with alpha when either is not opaque).
QImage twoColourImage(int w, int h, const QColor& left = Qt::red, const QColor& right = Qt::blue);
// Writes it as a JPEG (quality 90) at path; false when it cannot.
bool writeJpeg(const QString& path, int w, int h, const QColor& left = Qt::red, const QColor& right = Qt::blue);
// Writes the same two-colour picture as a GIF (Qt has no GIF writer); false when it cannot.
bool writeGif(const QString& path, int w, int h, const QColor& left = Qt::red, const QColor& right = Qt::blue);
