#pragma once
// Helpers of the uploader's tests: list texts as the program writes them, a row's engine with
// its package, and a window loaded on a program folder of the test's with the fake platform.
#include "FakePlatform.h"
#include "FileFixture.h"
#include "Form.h"
#include "FtpEngine.h"
#include "Module1.h"
#include "Paths.h"
#include "RawServer.h"
#include "taskList.h"
#include "upload.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <memory>

inline QByteArray element(const QString& dno, const QString& wdno, const char* uped, const char* real) {
  return QString("<l dno=\"%1\" wdno=\"%2\" uped=\"%3\" real=\"%4\"/>").arg(dno, wdno, uped, real).toUtf8();
}

inline QByteArray list(const QList<QByteArray>& elements) {
  QByteArray out = "<list>";
  for (const QByteArray& e : elements) out += e;
  return out + "</list>";
}

// A list of n unsent tasks "T1" ... with the ids "D1" ...
inline QByteArray unsentTasks(int n) {
  QList<QByteArray> e;
  for (int i = 1; i <= n; ++i) e << element("T" + QString::number(i), "D" + QString::number(i), "False", "False");
  return list(e);
}

// The ids of the list file's elements, in order.
inline QStringList ids(const QString& path) {
  QStringList out;
  for (const taskItem& item : readTaskList(QString::fromUtf8(readAll(path))).items) out << item.value("wdno");
  return out;
}

// The upload package of the design "Summer" in the program folder, written with bytes.
inline void writePackage(const QByteArray& bytes) {
  writeFile(Paths::programFolder() + "/MyDesign/Summer/UpLoad/Summer.TMP", bytes);
}

// Aims a row's engine for the design "Summer" at 127.0.0.1:port, to send the package as wdno,
// from local port numbers beyond 65535: every connection binds a free port.
inline void aimEngine(FtpEngine& e, int port, const QString& wdno, const QString& user, const QString& password) {
  e.dNO = "Summer";
  e.wDNO = wdno;
  e.FtpServer = "127.0.0.1";
  e.FtpPort = QString::number(port);
  e.User = user;
  e.Pwd = password;
  e.lporta = 100000;
  e.lportb = 100100;
}

// A program folder for the whole run (this process's instance lock stays in it), emptied after
// each test, with the fake platform and the window. Unloading the window does not end the tests.
struct UploaderRun {
  QTemporaryDir dir;
  std::unique_ptr<FakePlatform> fake;
  std::unique_ptr<upload> window;

  UploaderRun() {
    Form::setQuitWhenLastUnloaded(false);
    Paths::setProgramFolder(dir.path());
  }
  QString file(const QString& name) const { return dir.filePath(name); }
  QString listFile() const { return file("set.xml"); }
  // The fake platform of the current test, made on first use.
  FakePlatform& platform() {
    if (!fake) fake = std::make_unique<FakePlatform>();
    return *fake;
  }

  // Loads the window on the folder, with the list text given (no list when empty). New tasks go
  // to ftpPort, by default a port where nothing listens: no test talks to a shop it did not start.
  upload& start(const QByteArray& listText = QByteArray(), int ftpPort = 0) {
    platform();
    if (!listText.isEmpty()) writeFile(listFile(), listText);
    window = std::make_unique<upload>();
    window->load();
    Module1::ftpHostName = "127.0.0.1";
    Module1::ftpPortNo = QString::number(ftpPort ? ftpPort : RawServer::unusedPort());
    return *window;
  }
  void finish() {
    window.reset();
    fake.reset();
    for (const QFileInfo& f : QDir(dir.path()).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)) {
      if (f.fileName() == ".upload.lock") continue;
      if (f.isDir()) QDir(f.filePath()).removeRecursively();
      else QFile::remove(f.filePath());
    }
  }
};
