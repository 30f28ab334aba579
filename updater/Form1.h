#pragma once
// The updater's one window `Form1`: a frameless progress window that downloads every file of the
// release list into the staging folder "Novrel.staging/<version>" over one kept-alive socket, checks
// every length against the list, puts the files in place and starts the programs of the start
// list one after another.
#include "Form.h"
#include "VersionFile.h"
#include "socketGet.h"

#include <QPixmap>
#include <QPoint>
#include <QString>
#include <optional>

class QLabel;
class QTimer;
class Winsock;

// An image control: its picture is drawn at the size it is shown when it is first painted, and
// kept; nothing of it is drawn (no font loaded) while the window has not been painted.
class ImageBox : public QWidget {
  Q_OBJECT
public:
  using Draw = QPixmap (*)(const QSize&);
  ImageBox(QWidget* parent, const QRect& geometry, Draw draw);
  // The picture at the control's size, drawn now if it has not been yet.
  const QPixmap& picture();

protected:
  void paintEvent(QPaintEvent* e) override;

private:
  Draw draw_;
  QPixmap picture_;
};

// A picture box whose place and size are kept in twips, so that widths set from fractions stay
// exact while the pixels follow the screen.
class PictureBox : public QWidget {
  Q_OBJECT
public:
  PictureBox(QWidget* parent, int left, int top, int width, int height, const QColor& back, bool framed);
  double twipsWidth() const { return width_; }
  void setTwipsWidth(double width);

protected:
  void paintEvent(QPaintEvent* e) override;

private:
  int left_, top_, height_;
  double width_;
  QColor back_;
  bool framed_;
};

// The window's arithmetic, kept apart so that it can be checked number by number.
namespace Form1Display {
// The current file's line: name, two blanks, its KB, "KB...", three blanks, "(index/count)".
QString fileLine(const QString& name, int fileKB, int index, int count);
// A bar's width: the fraction to four decimals times the full width; none for an empty whole.
std::optional<double> barWidth(qint64 part, qint64 whole, double fullWidth);
// KB per second from the body bytes received and the seconds since the transfer started; none
// when the seconds round to 0.
std::optional<int> downSpeed(qint64 recvLen, double seconds);
// Seconds left for the current file at that speed (not 0).
int leftTime(int fileKB, qint64 recvLen, int downSpeed);
}  // namespace Form1Display

class Form1 : public Form {
  Q_OBJECT
public:
  explicit Form1(QWidget* parent = nullptr);
  ~Form1() override;

  // Controls, named and placed as the window's design has them.
  ImageBox* Image2 = nullptr;  // title picture: dragging it moves the window
  ImageBox* Image1 = nullptr;  // close picture: a click ends the updater
  PictureBox* Picture4 = nullptr;  // frame of the current-file bar
  PictureBox* Picture2 = nullptr;  // current-file bar
  PictureBox* Picture1 = nullptr;  // frame of the overall bar
  PictureBox* Picture3 = nullptr;  // overall bar
  QLabel* L2 = nullptr;      // the current file's line
  QLabel* Label7 = nullptr;
  QLabel* labDownloadSpeed = nullptr;
  QLabel* L56 = nullptr;     // time left
  Winsock* Winsck = nullptr; // the one socket of all downloads

  // State of the update.
  VersionFile::Release verDoc;
  int fileCount = 0;
  int fileIndex = 0;
  QString stageDir;
  socketGet::Reply reply;
  int downSpeed = 0;
  int leftTime = 0;
  qint64 runPid = 0;  // the process id of the start-list program started last, in full

  void startUpdate();
  // The list's values by key: "fname", "furl", "size", "lurl" of file number index, "run" of
  // start-list entry number index ("out" past its end); empty for any other key or index.
  QString getListItem(int index, const QString& key) const;
  void downFile(const QString& address, const QString& localPath);
  void Winsck_DataArrival(qint64 bytesTotal);
  void Image1_Click();

  // Whether the updater has ended (tests, where the end does not end the process).
  bool ended() const { return ended_; }

Q_SIGNALS:
  // Every listed file has arrived in the staging folder; the installation follows.
  void downloaded();

protected:
  void Form_Load() override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* e) override;

private:
  void install();
  void runStartList();
  bool waitForEnd(qint64 pid);
  void onSocketState(int state);
  void showMessage(const QString& text, const QString& title);
  void damagedList();
  void serverMaintenance();
  void disconnected();
  void endUpdater();
  void holdDrawing();
  void giveUpReply();

  QTimer* frame_ = nullptr;  // while it runs, changes wait for one redraw of the window
  bool ended_ = false;
  bool awaiting_ = false;  // a request is out and its reply not yet complete
};
