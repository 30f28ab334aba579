#include "Twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <cmath>

namespace Twips {
namespace {
double dpi(bool x) {
  QScreen* s = QGuiApplication::primaryScreen();
  if (!s) return 96.0;
  const double d = x ? s->logicalDotsPerInchX() : s->logicalDotsPerInchY();
  return d > 0 ? d : 96.0;
}
}  // namespace
double perPixelX() { return 1440.0 / dpi(true); }
double perPixelY() { return 1440.0 / dpi(false); }
int toPixelsX(double twips) { return int(std::lround(twips / perPixelX())); }
int toPixelsY(double twips) { return int(std::lround(twips / perPixelY())); }
int fromPixelsX(int pixels) { return int(std::lround(pixels * perPixelX())); }
int fromPixelsY(int pixels) { return int(std::lround(pixels * perPixelY())); }
QRect toPixels(int left, int top, int width, int height) {
  return QRect(toPixelsX(left), toPixelsY(top), toPixelsX(width), toPixelsY(height));
}
}  // namespace Twips
