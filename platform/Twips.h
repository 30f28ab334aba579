#pragma once
// Window and control lengths in twips (1440 per inch), converted with the screen's logical DPI
// (15 twips per pixel at 96 DPI).
namespace Twips {
double perPixelX();
double perPixelY();
int toPixelsX(double twips);
int toPixelsY(double twips);
int fromPixelsX(int pixels);
int fromPixelsY(int pixels);
}
