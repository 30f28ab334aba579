#pragma once
// The parts of the upload preparation that do not need the workspace window: the walk over the
// design's pages that numbers the print pictures and counts the printed pages, and the texts sent
// to the shop and to the uploader.
#include <QDomElement>
#include <QString>
#include <functional>

namespace UpDesign {

// The text of the first child element called name, "" when there is none.
QString childText(const QDomElement& e, const QString& name);
// Sets the text of the first child element called name, creating it when missing.
void setChildText(QDomElement e, const QString& name, const QString& text);

struct WalkSteps {
  // Prepare one picture node as member n; may rewrite its `src`.
  std::function<void(QDomElement node, int n)> prepImage;
  std::function<void(QDomElement node, int n)> prepSharp;
  // Let the event loop run once (the progress movie redraws); false stops the walk there.
  std::function<bool()> yield;
  // The progress movie's title and percentage.
  std::function<void(const QString& title, const QString& percent)> setTitle;
};

// Walks root's pages in order: counts the templates that are printed pages, forces the `fro` of
// fixed template pictures to "t", and hands every picture of the user's own to its preparation
// with the next member number. Returns the count of printed pages (at most 32767), counted up to
// where a yield stopped it.
int walkPages(const QDomElement& root, const WalkSteps& steps);

// What the client hands to the uploader through the clipboard.
QString handoverText(const QString& designName, const QString& did);

extern const char* const kPreparingTitle;  // "正在准备上传文件，请稍候..."

}  // namespace UpDesign
