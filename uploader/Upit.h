#pragma once
// The task row `Upit`: one upload task in the window's panel, with its name, status line,
// progress bar, KB sent and total, speed, and the images to pause and resume, re-upload and
// remove. It runs the task's FTP transfer and, once the server has taken the whole package,
// posts the completion order "Uploaded" and marks the task confirmed in the window's list.
#include "FtpEngine.h"

#include <QTimer>
#include <QWidget>

class OrderCancel;
class PictureBox;
class QLabel;
class QPushButton;
class upload;

class Upit : public QWidget {
  Q_OBJECT
public:
  // The row's size in twips.
  static constexpr int kWidth = 5160;
  static constexpr int kHeight = 690;

  explicit Upit(QWidget* parent = nullptr);
  ~Upit() override;

  // The transfer, with the fields the window sets (dNO, wDNO, FtpServer, FtpPort, User, Pwd,
  // lporta, lportb, rec) and the ones it keeps (Code, remoteSize, totalKB, sentKB).
  FtpEngine ftp;
  QString UpLoadSvr;     // the server page of the completion order
  qint32 selfid = 0;     // the row's index, handed back with every call into the window
  QString dname;         // the name shown
  upload* ff = nullptr;  // the window that keeps the task list
  QString upsta;         // copy of the status line

  // Starts the transfer of a new task.
  void up();
  // Shows a restored task that was not sent completely: it waits for the user's start.
  void noup();
  // Shows a restored task whose package was sent, confirmed by the server or not.
  void uped(bool real);

  // Controls (geometry in twips as given by kLayout in the source).
  QLabel* Label13;   // name
  QLabel* Label12;   // status line, also the remaining time
  QWidget* Picture1; // progress frame
  QWidget* Picture2; // progress fill
  QLabel* Label7;    // "速度:"
  QLabel* Label9;    // speed
  QLabel* Label14;   // "(sent KB/total KB)"
  QLabel* Label10;   // elapsed time (below the visible area)
  PictureBox* Image2;  // pause
  PictureBox* Image3;  // start / resume
  PictureBox* Image5;  // re-upload, or repeat the completion order
  PictureBox* Image4;  // remove
  QPushButton* Command1;  // "x": remove without asking
  QPushButton* Command2;  // "退出": end the program after asking

  QTimer Timer1;  // progress display, every second while it runs
  QTimer Timer5;  // completion notice, 4 s after the server's "226"

  // Display state.
  qint32 remainingKB = 0;
  qint32 elapsedSecs = 0;
  qint32 speedKB = 0;

  // Place in the panel, in twips.
  int topTwips() const { return top_; }
  void setTopTwips(int top);
  void setLeftTwips(int left);
  int fillWidthTwips() const { return fillWidth_; }

  // Event handlers.
  void Timer1_Timer();
  void Timer5_Timer();
  void wsData_SendProgress(qint64 bytesSent, qint64 bytesRemaining);
  void Image2_Click();
  void Image3_Click();
  void Image4_Click();
  void Image5_Click();
  void Command1_Click();
  void Command2_Click();
  // The status line; its change is copied into upsta.
  void setStatus(const QString& text);

protected:
  void paintEvent(QPaintEvent* e) override;

private:
  void pauseOrResume();
  void setFillWidthTwips(int width);
  void allSent();

  int top_ = 0;
  int left_ = 0;
  int fillWidth_ = 0;
  OrderCancel* orderCancel_;
};
