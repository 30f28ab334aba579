#pragma once
// Real FTP servers for the tests, each started on 127.0.0.1 on a free port and stopped again by
// its destructor: the stand-in shop (tools/shop, pyftpdlib as packaged) and a vsftpd of its own
// with a throwaway local account. Both are bounded: a server that does not come up within
// seconds leaves ready() false and error() saying why.
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <memory>

class StandInShop {
public:
  // Starts tools/shop/shop.py with its data in dataFolder.
  explicit StandInShop(const QString& dataFolder);
  ~StandInShop();
  bool ready() const { return ready_; }
  QString error() const { return error_; }
  int httpPort() const { return httpPort_; }
  int ftpPort() const { return ftpPort_; }
  // The FTP account's folder: where the uploads land.
  QString ftpHome() const;

private:
  QString data_;
  QProcess proc_;
  bool ready_ = false;
  QString error_;
  int httpPort_ = 0;
  int ftpPort_ = 0;
};

// Needs root (it adds the account, and vsftpd serves local accounts only as root). Its
// configuration, the account's folder and the log lie in a folder under the working folder
// (the build folder under ctest).
class LocalVsftpd {
public:
  explicit LocalVsftpd(const QString& password);
  ~LocalVsftpd();
  bool ready() const { return ready_; }
  QString error() const { return error_; }
  int port() const { return port_; }
  QString user() const { return user_; }
  // The account's folder: where the uploads land.
  QString home() const;
  // Writes a file into the account's folder as the account's own, as if it had been uploaded.
  bool place(const QString& name, const QByteArray& bytes) const;

private:
  bool start();
  std::unique_ptr<QTemporaryDir> dir_;
  QProcess proc_;
  bool ready_ = false;
  bool accountMade_ = false;
  QString error_;
  QString user_;
  int port_ = 0;
};

// And a web server: nginx serving dir/www on a free port, its configuration, pid and logs in
// dir, with extraHttpDirectives (each ended by ";") added to its http block.
class LocalNginx {
public:
  LocalNginx(const QString& dir, const QString& extraHttpDirectives = QString());
  ~LocalNginx();
  bool ready() const { return ready_; }
  // Why it is not ready: its error log as it stands.
  QString error() const;
  int port() const { return port_; }

private:
  QString dir_;
  QProcess proc_;
  bool ready_ = false;
  int port_ = 0;
};
