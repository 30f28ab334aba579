#pragma once
// The workspace's imaging helpers: thumbnails of the user's pictures drawn on an off-screen
// picture box and saved as JPEG. The state lives in the window that uses them (frmMain), and the
// print pictures of the upload share it.
#include "Imaging.h"
#include "Thumbnail.h"

#include <QString>

class OrderedWork;

class ImagingHelpers {
public:
  // Draws the picture at imagePath scaled to at most sizeMax pixels a side on box and saves the
  // box as a JPEG of quality 80 at fileName. A file that is not a readable picture gets no file.
  void ShowTNImg(Imaging::PictureBox& box, const QString& imagePath, int sizeMax, const QString& fileName);
  // The same thumbnail made on work's threads: the file is there once work has finished.
  void ShowTNImg(OrderedWork& work, const QString& imagePath, int sizeMax, const QString& fileName);
  // Starts the imaging layer; shows "加载GDI+失败！" and ends the program when no JPEG writer is
  // available. Returns false in that case (a test's fake end returns).
  bool LoadGDIP();
  // Releases the picture and the drawing surface and shuts the imaging layer down.
  void DisposeGDIP();

  int gdipToken = 0;
  Imaging::Picture gdipImage;
  Imaging::PictureBox* gdipGraphics = nullptr;
  int imgWidth = 0;
  int imgHeight = 0;
};
