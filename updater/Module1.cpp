#include "Module1.h"

#include "ProcessList.h"
#include "releaseList.h"

#include <QWidget>

namespace Module1 {

QString shopHost = QStringLiteral(QUORVEL_SHOP_HOST);
int connectLimit = 20;
QString updateUrl;

void initUpdater(QWidget& window) {
  updateUrl = "http://" + shopHost + releaseList::shopFolder;
  window.setWindowTitle(QString::fromUtf8("Quorvel在线更新......"));
}

QString getProcessName(qint64 pid) { return ProcessList::processName(pid); }

}  // namespace Module1
