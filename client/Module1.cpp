#include "Module1.h"

#include "MsgBox.h"
#include "Paths.h"
#include "Platform.h"
#include "Winsock.h"
#include "XmlDom.h"
#include "mainModule.h"

#include <QDomDocument>
#include <QFile>

namespace Module1 {

int connectLimit = 20;

namespace {
QString g_verPath;
socketGet::Reply g_reply;
QString g_serverVersion;
QString g_localVersion;

void versionTest() {
  QFile file(g_verPath);
  if (!file.open(QIODevice::ReadOnly)) return;
  QString server;
  if (!readReleaseList(file.read(releaseList::maxBytes + 1), server)) return;
  g_serverVersion = server;
  g_localVersion = versionText();
  if (g_localVersion == g_serverVersion) return;
  const QString text = QString::fromUtf8("您当前使用的版本:") + g_localVersion + QString::fromUtf8("较最新版本") +
                       g_serverVersion + QString::fromUtf8("低，是否马上更新？");
  if (AskUpdate(text) != Msg::Yes) return;
  // The client ends so that the updater can replace its files; without an updater it goes on.
  if (platform().process->startDetached(Paths::resolveCase(Paths::join(Paths::programFolder(), "Novrel"))) == 0) {
    MsgBox(QString::fromUtf8("无法启动更新程序，请重新安装客户端。"), Msg::OKOnly | Msg::Exclamation,
           QString::fromUtf8("程序更新"));
    return;
  }
  platform().process->exitProgram(0);
}
}  // namespace

bool readReleaseList(const QByteArray& list, QString& version) {
  QDomDocument doc;
  if (!XmlDom::loadBounded(doc, list, releaseList::maxBytes)) return false;
  const QDomNode root = doc.firstChild();
  if (root.nodeName() != QLatin1String("ver")) return false;
  const QDomElement release = root.firstChild().toElement();
  // A list without a release version announces nothing to update to.
  if (release.isNull() || !release.hasAttribute("ver")) return false;
  version = release.attribute("ver");
  return true;
}

void RequestVersion(Winsock& socket) {
  g_verPath = Paths::join(Paths::programFolder(), releaseList::localFile);
  QFile::remove(Paths::resolveCase(g_verPath));
  g_reply.localFile = g_verPath;
  // g.siteURL is "http://" and the shop's web host; a time-out has closed the socket already.
  socketGet::request(socket, g.siteURL + releaseList::shopFolder + "ver.xml", g_reply, releaseList::maxBytes,
                     connectLimit);
}

void OnVersionData(qint64 bytesTotal, Winsock& socket) {
  Q_UNUSED(bytesTotal);
  const socketGet::Status before = g_reply.status;
  const socketGet::Status now = socketGet::reply(socket, g_reply);
  // The list is read once, after the data event that completes it.
  if (now == socketGet::Status::Complete && before != now) versionTest();
}

int AskUpdate(const QString& text) { return MsgBox(text, Msg::YesNo, QString::fromUtf8("程序更新")); }

QString verPath() { return g_verPath; }
QString serverVersion() { return g_serverVersion; }
QString localVersion() { return versionText(); }
const socketGet::Reply& replyState() { return g_reply; }

}  // namespace Module1
