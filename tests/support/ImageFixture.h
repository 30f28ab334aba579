#pragma once
// Real picture files for imaging tests.
#include <QColor>
#include <QImage>
#include <QString>
#include <QStringList>

#include <functional>

// A w x h picture: left half `left`, right half `right` (with alpha when either is not opaque).
QImage twoColourImage(int w, int h, const QColor& left = Qt::red, const QColor& right = Qt::blue);
// Writes it as a JPEG (quality 90) at path; false when it cannot.
bool writeJpeg(const QString& path, int w, int h, const QColor& left = Qt::red, const QColor& right = Qt::blue);
// Writes the same two-colour picture as a GIF (Qt has no GIF writer); false when it cannot.
bool writeGif(const QString& path, int w, int h, const QColor& left = Qt::red, const QColor& right = Qt::blue);
// True when every colour channel of a differs from b's by less than tolerance.
bool near(QRgb a, const QColor& b, int tolerance);
// Writes count two-colour JPEGs p00.jpg, p01.jpg, ... into folder (made when missing), picture i
// of size(i) pixels; their names, in that order, which is also the order they sort in. Empty
// when one cannot be written.
QStringList writePictures(const QString& folder, int count, const std::function<QSize(int)>& size);
