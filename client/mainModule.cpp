#include "mainModule.h"

#include "Cdir.h"
#include "Paths.h"

#include <QCoreApplication>

Globals g;

namespace {
// Made on first use, so that a setting made while the program's statics are built is kept.
QString& shopHostSlot() {
  static QString host = QStringLiteral(QUORVEL_SHOP_HOST);
  return host;
}
QString g_command;
bool g_commandSet = false;
}

QString shopHost() { return shopHostSlot(); }

void setShopHost(const QString& host) { shopHostSlot() = host; }

void InitGlobals() {
  g.isLogin = false;
  const QString folder = Paths::programFolder();
  g.templatePath = Paths::join(folder, "Template");
  MakeDirs(g.templatePath);
  g.pagesPath = Paths::join(folder, "Template/Pages");
  MakeDirs(g.pagesPath);
  g.myDesignPath = Paths::join(folder, "MyDesign");
  MakeDirs(g.myDesignPath);
  g.appTitle = "Quorvel";
  g.siteURL = "http://" + shopHost();
  g.serverURL = g.siteURL + "/Client/Server.aspx";
  g.registerURL = g.siteURL + "/main/Register.aspx";
}

bool isDesignFolder(const QString& path) {
  const QString designs = Paths::native(g.myDesignPath) + "/";
  const QString p = Paths::native(path);
  return designs.size() > 1 && p.startsWith(designs) && Paths::isBareName(p.mid(designs.size()));
}

QString Command() {
  if (!g_commandSet) return QCoreApplication::arguments().mid(1).join(' ');
  return g_command;
}

void setCommand(const QString& commandLine) {
  g_command = commandLine;
  g_commandSet = true;
}
