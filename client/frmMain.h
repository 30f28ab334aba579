#pragma once
// The design workspace: hosts the design editor movie (carried in the client's resources), opens
// one design in it and serves the editor's requests until the window closes.
#include "Form.h"
#include "ImagingHelpers.h"

#include <QString>
#include <QStringList>
#include <memory>

class QDomElement;
#include "cZip.h"

class FlashPlayer;
class OrderedWork;
class QFrame;
class QTimer;

class frmMain : public Form, public ImagingHelpers {
  Q_OBJECT
public:
  frmMain();
  ~frmMain() override;

  FlashPlayer* WorkArea = nullptr;  // the design editor
  FlashPlayer* waiting = nullptr;   // "waiting.ctr" while the editor starts
  FlashPlayer* progress = nullptr;  // "Progress.ctr" during the upload preparation
  QFrame* Frame1 = nullptr;         // plain cover while the editor starts
  QString File1;                    // folder listed by openTemplate
  QTimer* Timer1 = nullptr;         // 3000 ms: ends the start display
  QTimer* Timer2 = nullptr;         // 2000 ms: closes the window after an upload

  QString exitMode;  // "0": closing shows the welcome window again; "1": it does not
  QString pageName;  // the page name last announced by "savePagesName"

  // The upload preparation's state.
  QString upFile;          // the upload package
  QString upTemplateNO;    // the design's template number
  double designDPI = 72;   // print resolution, at least 72
  std::unique_ptr<cZip> m_cZ;

  void loadWorkArea();
  // Hands the editor the design's image list (making missing thumbnails) and the design to open.
  void openTemplate();
  // Packs the saved design XML into the design package.
  void buildDfile();
  // Starts the upload preparation of the design.
  void upDesign(const QString& designXML);
  static double Max(double a, double b);

  void WorkArea_FlashCall(const QString& request);
  void Timer1_Timer();
  void Timer2_Timer();

protected:
  void Form_Load() override;
  void Form_Resize() override;
  void Form_Unload(int& cancel) override;

private:
  // The editor's requests, by name and first argument.
  void doFlashCall(const QString& name, const QString& argument);
  void importImg();
  void removeImg(const QString& argument);
  // One print picture each: member n of the upload package, or nothing.
  void prepImage(QDomElement node, int n);
  void prepSharp(QDomElement node, int n);
  void prepPicture(QDomElement node, int n, bool sharp);
  // Adds file to the package being built and deletes it.
  bool addToPackage(const QString& file, bool convertLineEnds);
  // Removes what a stopped preparation had built: the new package and the pictures not added.
  void dropPackage();
  QString buildingFile_;  // the new package, written beside the old one
  OrderedWork* printWork_ = nullptr;  // the print pictures being made, while the walk runs
  QStringList printTargets_;          // the picture files the walk asked for
  int unprepared_ = 0;                // pictures of the walk that got no member
  // While the preparation runs, the design's state before it: closing then stops the upload,
  // and asks first when the design had unsaved changes.
  bool preparing_ = false;
  QString stateBeforeUpload_;
};

// Writes the client resource of type "CUSTOM" with that id to path unless a file of that name
// exists. False when nothing could be written (an existing file counts as done).
bool SaveResToFile(int id, const QString& path);

// The bytes of the client resource of type "CUSTOM" with that id.
QByteArray customResource(int id);

// The character substitution of the editor's start data; replaces text and returns it.
QString EncodeFlashText(QString& text);

// `<lst><template>T</template>...</lst>`: the design's template and the downloaded templates of
// the same key; empty when there is no "DownList.Lst".
QString getTemplateList();
