#pragma once
// Window and control lengths in twips (1440 per inch), converted with the screen's logical DPI
// (15 twips per pixel at 96 DPI).
#include <QRect>

namespace Twips {
double perPixelX();
double perPixelY();
int toPixelsX(double twips);
int toPixelsY(double twips);
int fromPixelsX(int pixels);
int fromPixelsY(int pixels);
// A control's place and size given in twips, in pixels.
QRect toPixels(int left, int top, int width, int height);
}
