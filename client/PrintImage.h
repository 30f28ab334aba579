#pragma once
// The sizes of print pictures: every picture of the user's own that a design places becomes one
// member of the upload package, either unchanged when it has no more pixels than the print needs
// at the design's resolution, or as a JPEG of exactly the print size.
#include <QSize>
#include <QString>

namespace PrintImage {

// The leading number of a text, as the design's numbers are read: blanks skipped, then an
// optional sign, digits with an optional decimal part and exponent; 0 when there is none.
double leadingNumber(const QString& text);

// The design's print resolution: the leading number of its dpi text, raised to 72.
double designDpi(const QString& dpiText);

// a when a is greater than b, otherwise b.
double Max(double a, double b);

// The rotation of a framed picture in whole degrees: sr rounded half to even, then the remainder
// of its division by 360, which keeps the sign (450 -> 90, -90 -> -90, 720 -> 0).
long long rotationOf(const QString& srText);

// The width of the bounding box of a W x H picture turned by a degrees.
double effectiveWidth(double W, double H, long long a);

// What one picture node becomes.
struct Decision {
  bool copy = true;   // the file goes in unchanged
  QSize size;         // otherwise the JPEG's size in pixels
};

// An `image` frame of w x h points holding a W x H picture at dpi: stretched to the frame.
Decision forImage(double w, double h, int W, int H, double dpi);
// A `sharp` frame sw points wide holding a W x H picture turned by a degrees: its own
// proportions, drawn unrotated.
Decision forSharp(double sw, int W, int H, long long a, double dpi);

// One print picture to make: where its file is and what its node says of it.
struct Job {
  QString source;  // the user's picture file
  QString target;  // the file that becomes the member
  bool sharp = false;
  double width = 0;   // w, or sw, in points
  double height = 0;  // h, or sh
  long long rotation = 0;
  double dpi = 72;
};
struct Made {
  bool made = false;  // the target was written
  QSize picture;      // the picture's pixel size, when it is one
};
// Writes the target of one picture: the source unchanged when it is no picture or has no more
// pixels than the print needs, otherwise a JPEG at exactly the print size. It touches nothing
// but the two files, so any thread may run it.
Made prepare(const Job& job);

// The decimal text of a percentage: whole numbers without a point, otherwise up to 15
// significant digits (33.3333333333333).
QString percentText(double value);

}  // namespace PrintImage
