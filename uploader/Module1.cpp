#include "Module1.h"

namespace Module1 {
QString upServerURL;
QString ftpHostName;
QString ftpPortNo;
QString ftpUserName;
QString ftpPassword;
QString upTitle;

void initConst() {
  upServerURL = QStringLiteral("http://" QUORVEL_SHOP_HOST "/Client/Server.aspx");
  ftpHostName = QStringLiteral(QUORVEL_FTP_HOST);
  ftpPortNo = QStringLiteral(QUORVEL_FTP_PORT);
  ftpUserName = QStringLiteral(QUORVEL_FTP_USER);
  ftpPassword = QStringLiteral(QUORVEL_FTP_PASSWORD);
  upTitle = QStringLiteral("Quorvel设计上传程序");
}
}  // namespace Module1
