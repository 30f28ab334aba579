#include "FlashBridge.h"

#include "FlashPlayer.h"
#include "XmlDom.h"

#include <QDomDocument>

QString BuildCall(const QString& function, const QStringList& args) {
  QString text = "<invoke name=\"" + function + "\"  returntype=\"xml\"><arguments><string>";
  for (int i = 0; i < args.size(); ++i) {
    if (i > 0) text += "</string><string>";
    text += args[i];
  }
  return text + "</string></arguments></invoke>";
}

QString escapeForCall(QString text) {
  return text.replace('&', "&amp;").replace('<', "&lt;").replace('>', "&gt;");
}

bool CallMovie(FlashPlayer* movie, const QString& function, const QStringList& args) {
  return movie && movie->callFunction(BuildCall(function, args));
}

bool ReadRequest(const QString& request, QString& name, QString& argument) {
  QDomDocument doc;
  if (!XmlDom::loadBounded(doc, request, FlashPlayer::maxInvokeChars)) return false;
  const QDomElement first = doc.firstChild().toElement();
  if (first.isNull() || !first.hasAttribute("name")) return false;
  const QDomNode arg = first.firstChild().firstChild();
  if (arg.isNull()) return false;
  name = first.attribute("name");
  argument = arg.toElement().isNull() ? arg.nodeValue() : arg.toElement().text();
  return true;
}

void SetupMovieHost(FlashPlayer* movie, bool menu) {
  // Window mode, play, loop, quality, scale, network access and full screen have one fixed
  // setting in our player; only the menu differs between hosts.
  movie->setMenu(menu);
}
