#include "FtpEngine.h"

#include "FtpReply.h"
#include "Paths.h"
#include "Winsock.h"

#include <QFile>

FtpEngine::FtpEngine(QObject* parent)
    : QObject(parent), wsCommand_(std::make_unique<Winsock>()), wsData_(std::make_unique<Winsock>()),
      lines_(std::make_unique<FtpReplyLines>()) {
  Timer4.setSingleShot(true);
  setTickInterval(1000);
}

FtpEngine::~FtpEngine() = default;

void FtpEngine::setTickInterval(int ms) {
  Timer2.setInterval(ms);
  Timer3.setInterval(ms);
  Timer4.setInterval(5 * ms);
}

void FtpEngine::up() {}
void FtpEngine::pause() {}
bool FtpEngine::dataConnected() const { return wsData_->State() == 7; }
bool FtpEngine::bothClosed() const { return wsData_->State() == 0 && wsCommand_->State() == 0; }
void FtpEngine::cancelRetry() { Timer4.stop(); }
void FtpEngine::closeAll() {
  wsCommand_->Close();
  wsData_->Close();
}
QString FtpEngine::packagePath() const {
  return Paths::native(Paths::programFolder() + "\\MyDesign\\" + dNO + "\\UpLoad\\" + dNO + ".TMP");
}
void FtpEngine::Timer2_Timer() {}
void FtpEngine::Timer3_Timer() {}
void FtpEngine::Timer4_Timer() {}
void FtpEngine::enter(State next) { state_ = next; }
void FtpEngine::upFail() {}
void FtpEngine::ftpLogon() {}
void FtpEngine::ftpSend() {}
void FtpEngine::pasvConnect(const QString&) {}
void FtpEngine::sendCommand(const QString&) {}
void FtpEngine::await(State, const QString&) {}
void FtpEngine::onControlArrival() {}
void FtpEngine::onReply(const QString&) {}
void FtpEngine::onDataState(int) {}
void FtpEngine::onSendComplete() {}
void FtpEngine::prepareAppend() {}
void FtpEngine::connectData(const QString&, int) {}
int FtpEngine::nextPort(qint32&, int) { return 0; }
