#pragma once
// The uploader's window `upload`: a frameless, always-on-top task window at the bottom-right
// corner of the screen, one row per upload task in its scrolling panel `f1`, hidden to the tray
// by its minimise image and brought back by a click on the tray icon. It keeps the task list
// "set.xml", takes new tasks from the clipboard and ends when its close image is clicked.
#include "Form.h"
#include "taskList.h"

#include <QMap>
#include <QPoint>
#include <QTimer>

class PictureBox;
class QScrollBar;
class Upit;

// The height kept free for a taskbar at the bottom of the screen, in whole twips.
qint32 measureTaskbarHeight(int screenHeightPx, int workAreaBottomPx, double twipsPerPixelY);
// The window's left and top in twips: its right edge on the screen's right edge, its bottom edge
// on the top of that taskbar.
QPoint cornerTwips(int screenWidthPx, int screenHeightPx, qint32 taskbarHeight, double twipsPerPixelX,
                   double twipsPerPixelY, int windowWidth, int windowHeight);

class upload : public Form {
  Q_OBJECT
public:
  // The window's size in twips.
  static constexpr int kWidth = 5550;
  static constexpr int kHeight = 4725;
  // The panel's top at scroll value 0, just below the title image.
  static constexpr int kPanelTop = 480;
  // Rows beyond this many make the panel scroll.
  static constexpr int kVisibleRows = 5;

  explicit upload(QWidget* parent = nullptr);
  ~upload() override;

  PictureBox* Picture1;  // title image; dragging it moves the window
  QWidget* f1;           // the task panel
  QScrollBar* VScroll1;
  PictureBox* Picture2;  // bottom image
  PictureBox* Picture4;  // minimise image
  PictureBox* Picture3;  // close image
  QTimer Timer1;         // the hand-over poll

  qint32 taskbarHeight = 0;
  QList<taskItem> listDoc;
  qint32 rowsLoaded = 0;
  qint32 rowsDeleted = 0;

  // The present row with that index, or null.
  Upit* Upit1(int index) const;
  int presentRows() const { return rowsLoaded - rowsDeleted; }
  int panelTopTwips() const { return panelTop_; }
  int panelHeightTwips() const { return panelHeight_; }
  // Where the task list is kept.
  QString listPath() const;

  // Adds one task row; a new task (fromList false) is also appended to the list and saved.
  void addTask(const QString& dNO, const QString& wDNO, bool fromList, bool uped, bool real);
  // The rows' calls: all sent, confirmed by the server, sent again, removed.
  void uped(int id);
  void real(int id);
  void reup(int id);
  void deluc(int id);

  // Event handlers.
  void Timer1_Timer();
  void Picture3_Click();
  void Picture4_Click();
  void VScroll1_Change();
  // The left button released over the tray icon.
  void trayLeftButtonUp();

protected:
  void Form_Load() override;
  void Form_Unload(int& cancel) override;
  void Form_Resize() override;
  void changeEvent(QEvent* e) override;
  void paintEvent(QPaintEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;

private:
  void placeAtCorner();
  void restoreList();
  bool saveList();
  int findItem(int id) const;
  void setPanel(int top, int height);

  QMap<int, Upit*> rows_;
  int panelTop_ = kPanelTop;
  int panelHeight_ = 3400;
  bool trayAvailable_ = false;  // the minimise image hides the window only when the tray can bring it back
};
