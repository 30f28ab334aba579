#include "FtpPeers.h"

#include "RawServer.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QThread>

#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace {
// Runs a program to its end within 20 s; its exit code, or -1.
int run(const QString& program, const QStringList& args, const QByteArray& input = {}) {
  QProcess p;
  p.setProcessChannelMode(QProcess::MergedChannels);
  p.start(program, args);
  if (!p.waitForStarted(5000)) return -1;
  if (!input.isEmpty()) p.write(input);
  p.closeWriteChannel();
  if (!p.waitForFinished(20000)) {
    p.kill();
    p.waitForFinished(5000);
    return -1;
  }
  return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

void stop(QProcess& p) {
  if (p.state() == QProcess::NotRunning) return;
  p.terminate();
  if (!p.waitForFinished(10000)) {
    p.kill();
    p.waitForFinished(5000);
  }
}

// A server started by a test ends with the test, even when the test is killed.
void endWithTheTest(QProcess& p) {
  p.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
}

// Whether a server greets with "220" on the port within the deadline.
bool greets(int port, QDeadlineTimer deadline) {
  while (!deadline.hasExpired()) {
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, quint16(port));
    if (s.waitForConnected(500)) {
      QByteArray got;
      while (!got.contains('\n') && s.waitForReadyRead(1000)) got += s.readAll();
      return got.startsWith("220");
    }
    QThread::msleep(50);
  }
  return false;
}

const QString kAccountPrefix = QStringLiteral("qvftp");
}  // namespace

// ---------------------------------------------------------------- the stand-in shop

StandInShop::StandInShop(const QString& dataFolder) : data_(dataFolder) {
  proc_.setProcessChannelMode(QProcess::SeparateChannels);
  endWithTheTest(proc_);
  proc_.setStandardErrorFile(QDir(dataFolder).filePath("shop.err"));
  QDir().mkpath(dataFolder);
  proc_.start("/usr/bin/python3", {QStringLiteral(QUORVEL_SOURCE_DIR) + "/tools/shop/shop.py", "--http-port", "0",
                                   "--ftp-port", "0", "--data", dataFolder});
  const QDeadlineTimer deadline(20000);
  QByteArray line;
  while (!line.contains('\n') && !deadline.hasExpired() && proc_.state() != QProcess::NotRunning) {
    if (proc_.waitForReadyRead(200)) line += proc_.readAllStandardOutput();
  }
  const QRegularExpressionMatch m =
      QRegularExpression("^shop ready http=(\\d+) ftp=(\\d+)\n").match(QString::fromUtf8(line));
  if (!m.hasMatch()) {
    error_ = "the stand-in shop did not get ready: " + QString::fromUtf8(line);
    stop(proc_);
    return;
  }
  httpPort_ = m.captured(1).toInt();
  ftpPort_ = m.captured(2).toInt();
  ready_ = true;
}

StandInShop::~StandInShop() { stop(proc_); }

QString StandInShop::ftpHome() const { return QDir(data_).filePath("ftp"); }

// ---------------------------------------------------------------- vsftpd

LocalVsftpd::LocalVsftpd(const QString& password) {
  if (geteuid() != 0) {
    error_ = "vsftpd serves local accounts only when started as root";
    return;
  }
  if (!QFileInfo::exists("/usr/sbin/vsftpd")) {
    error_ = "vsftpd is not installed (tools/setup.sh installs it)";
    return;
  }
  dir_ = std::make_unique<QTemporaryDir>(QDir::currentPath() + "/vsftpd-XXXXXX");
  if (!dir_->isValid()) {
    error_ = "no folder for vsftpd";
    return;
  }
  // The account's session reaches its folder through this one.
  QFile::setPermissions(dir_->path(), QFile::permissions(dir_->path()) | QFile::ExeOther | QFile::ReadOther |
                                          QFile::ExeGroup | QFile::ReadGroup);
  QDir(dir_->path()).mkpath("home");
  QDir(dir_->path()).mkpath("empty");

  // Accounts left by a run that was killed: their process is gone.
  QFile passwd("/etc/passwd");
  if (passwd.open(QIODevice::ReadOnly)) {
    const QRegularExpression stale("^" + kAccountPrefix + "(\\d+):");
    for (const QByteArray& entry : passwd.readAll().split('\n')) {
      const QRegularExpressionMatch m = stale.match(QString::fromUtf8(entry));
      if (m.hasMatch() && !QFileInfo::exists("/proc/" + m.captured(1)))
        run("userdel", {"-f", kAccountPrefix + m.captured(1)});
    }
  }
  user_ = kAccountPrefix + QString::number(getpid());
  const QString home = this->home();
  if (run("useradd", {"--system", "--no-create-home", "--home-dir", home, "--shell", "/bin/sh", user_}) != 0) {
    error_ = "useradd failed for " + user_;
    return;
  }
  accountMade_ = true;
  if (run("chpasswd", {}, (user_ + ":" + password + "\n").toUtf8()) != 0 ||
      run("chown", {user_, home}) != 0) {
    error_ = "the account could not be set up";
    return;
  }
  // A port picked free can be taken before vsftpd binds it: a few tries.
  for (int tries = 0; tries < 5 && !ready_; ++tries) ready_ = start();
  if (!ready_) error_ = "vsftpd did not start; see " + dir_->filePath("vsftpd.out");
}

bool LocalVsftpd::start() {
  port_ = RawServer::unusedPort();
  const QString conf = dir_->filePath("vsftpd.conf");
  QFile f(conf);
  if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
  f.write(QStringLiteral(
              "listen=YES\nlisten_ipv6=NO\nlisten_address=127.0.0.1\nlisten_port=%1\nbackground=NO\n"
              "anonymous_enable=NO\nlocal_enable=YES\nwrite_enable=YES\nlocal_umask=022\nlocal_root=%2\n"
              "userlist_enable=NO\nchroot_local_user=NO\nconnect_from_port_20=NO\npasv_enable=YES\n"
              "secure_chroot_dir=%3\npam_service_name=vsftpd\nseccomp_sandbox=NO\nisolate=NO\n"
              "isolate_network=NO\nxferlog_enable=NO\nssl_enable=NO\n")
              .arg(port_)
              .arg(home(), dir_->filePath("empty"))
              .toUtf8());
  f.close();
  stop(proc_);
  proc_.setProcessChannelMode(QProcess::MergedChannels);
  proc_.setStandardOutputFile(dir_->filePath("vsftpd.out"), QIODevice::Append);
  endWithTheTest(proc_);
  proc_.start("/usr/sbin/vsftpd", {conf});
  if (!proc_.waitForStarted(5000)) return false;
  if (greets(port_, QDeadlineTimer(10000)) && proc_.state() == QProcess::Running) return true;
  stop(proc_);
  return false;
}

LocalVsftpd::~LocalVsftpd() {
  stop(proc_);
  // -f: a session process of the account may still be ending.
  if (accountMade_) run("userdel", {"-f", user_});
}

QString LocalVsftpd::home() const { return dir_ ? dir_->filePath("home") : QString(); }

bool LocalVsftpd::place(const QString& name, const QByteArray& bytes) const {
  const QString path = QDir(home()).filePath(name);
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size()) return false;
  f.close();
  const passwd* pw = getpwnam(user_.toUtf8().constData());
  return pw && chown(QFile::encodeName(path).constData(), pw->pw_uid, pw->pw_gid) == 0;
}

// ---------------------------------------------------------------- nginx

LocalNginx::LocalNginx(const QString& dir, const QString& extraHttpDirectives) : dir_(dir) {
  port_ = RawServer::unusedPort();
  QFile conf(dir + "/nginx.conf");
  if (!conf.open(QIODevice::WriteOnly | QIODevice::Truncate)) return;
  conf.write(QStringLiteral(
                 "daemon off;\nmaster_process off;\nworker_processes 1;\npid %1/nginx.pid;\nerror_log %1/error.log;\n"
                 "events { worker_connections 64; }\n"
                 "http {\n"
                 "  access_log off;\n"
                 "  client_body_temp_path %1/tmp_body; proxy_temp_path %1/tmp_proxy; fastcgi_temp_path %1/tmp_fcgi;\n"
                 "  uwsgi_temp_path %1/tmp_uwsgi; scgi_temp_path %1/tmp_scgi;\n"
                 "  keepalive_timeout 60s;\n"
                 "  %3\n"
                 "  server { listen 127.0.0.1:%2; root %1/www; }\n"
                 "}\n")
                 .arg(dir, QString::number(port_), extraHttpDirectives)
                 .toUtf8());
  conf.close();
  proc_.setProcessChannelMode(QProcess::ForwardedChannels);
  endWithTheTest(proc_);
  proc_.start("/usr/sbin/nginx", {"-p", dir, "-e", dir + "/error.log", "-c", dir + "/nginx.conf"});
  if (!proc_.waitForStarted(5000)) return;
  // Ready once it accepts connections.
  for (int i = 0; i < 100 && !ready_ && proc_.state() == QProcess::Running; ++i) {
    QTcpSocket probe;
    probe.connectToHost(QHostAddress::LocalHost, quint16(port_));
    ready_ = probe.waitForConnected(100);
    if (!ready_) QThread::msleep(50);
  }
  if (!ready_) stop(proc_);
}

LocalNginx::~LocalNginx() { stop(proc_); }

QString LocalNginx::error() const {
  QFile log(dir_ + "/error.log");
  return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : "no error log in " + dir_;
}
