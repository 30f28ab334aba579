#pragma once
// The welcome window: the client's first window, loaded for the whole run. Its movie lists the
// saved designs and asks to open one or to start a new one.
#include "Form.h"

#include <QDateTime>

class FlashPlayer;
class QTimer;
class Winsock;

class WelCome : public Form {
  Q_OBJECT
public:
  WelCome();

  FlashPlayer* ad01 = nullptr;
  QString Dir1;  // the folder whose sub-folders are the saved designs
  QTimer* Timer1 = nullptr;
  Winsock* Winsock1 = nullptr;  // lent to the update check

  // The welcome movie's requests, by name and first argument.
  void ad01_FlashCall(const QString& request);
  void handleRequest(const QString& name, const QString& argument);
  void Timer1_Timer();
  void Winsock1_DataArrival(qint64 bytesTotal);

  // True when the load step handed over to another window (a template link), so the welcome
  // window is not shown after its load.
  bool handedOver() const { return handedOver_; }

protected:
  void Form_Load() override;
  void Form_Resize() override;
  void Form_Unload(int& cancel) override;
  void showEvent(QShowEvent* e) override;

private:
  void followTemplateLink();
  // Builds the design list anew and hands it to the movie.
  void sendDesignList();
  bool handedOver_ = false;
  bool listFresh_ = false;  // the list sent by the load step has not been shown yet
};

// One entry per sub-folder of folder, in name order: name, "|" and its last-modified date and
// time; entries joined by ",". Empty when there is none or the folder cannot be listed.
QString designList(const QString& folder);

// A date and time in the locale's general format: short date, a blank and the time as hours,
// minutes and seconds; the time left out when it is exactly midnight.
QString generalDate(const QDateTime& when);

// The template number of a template link command line: upper-cased, without "ZELKA:" and "/";
// empty unless exactly 32 characters remain.
QString templateFromLink(const QString& commandLine);
