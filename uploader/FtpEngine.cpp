#include "FtpEngine.h"

#include "FtpReply.h"
#include "Paths.h"
#include "VbMath.h"
#include "Winsock.h"

#include <QFile>
#include <QFileInfo>

#include <array>

namespace {
// A wait fails on the tick that takes it past this count.
constexpr qint32 kWaitLimit = 60;
// Automatic retries before the engine gives up.
constexpr qint16 kRetries = 6;

// What a waiting state ends on: the codes that move it on, and those that fail the attempt.
struct Wait {
  std::array<const char*, 2> awaited;
  const char* failing;
};

const Wait* waitOf(FtpEngine::State s) {
  using S = FtpEngine::State;
  static const Wait connect{{"220", nullptr}, nullptr}, user{{"331", nullptr}, nullptr},
      password{{"230", nullptr}, nullptr}, passive{{"227", nullptr}, nullptr}, data{{nullptr, nullptr}, nullptr},
      size{{"213", "550"}, nullptr}, dele{{"250", nullptr}, "550"}, appe{{"150", "125"}, "550"};
  switch (s) {
    case S::Connecting: return &connect;
    case S::UserSent: return &user;
    case S::PasswordSent: return &password;
    case S::FirstPassive:
    case S::SecondPassive: return &passive;
    case S::DataConnecting: return &data;
    case S::SizeQuery: return &size;
    case S::Deleting: return &dele;
    case S::Appending: return &appe;
    default: return nullptr;
  }
}

bool isAwaited(const Wait& w, const QString& code) {
  for (const char* c : w.awaited)
    if (c && code == QLatin1String(c)) return true;
  return false;
}

// The next number of a 32-bit port counter; it wraps instead of overflowing.
qint32 plusOne(qint32 n) { return qint32(quint32(n) + 1u); }

// A port number that the socket may be asked to bind; any other number binds a free port.
int bindable(qint32 n) { return n >= 1 && n <= 65535 ? int(n) : 0; }
}  // namespace

FtpEngine::FtpEngine(QObject* parent)
    : QObject(parent), wsCommand_(std::make_unique<Winsock>()), wsData_(std::make_unique<Winsock>()),
      lines_(std::make_unique<FtpReplyLines>()) {
  Timer4.setSingleShot(true);
  setTickInterval(1000);
  wsCommand_->setLocalPortFallback(true);
  wsData_->setLocalPortFallback(true);
  connect(&Timer2, &QTimer::timeout, this, &FtpEngine::Timer2_Timer);
  connect(&Timer3, &QTimer::timeout, this, &FtpEngine::Timer3_Timer);
  connect(&Timer4, &QTimer::timeout, this, &FtpEngine::Timer4_Timer);
  connect(wsCommand_.get(), &Winsock::DataArrival, this, &FtpEngine::onControlArrival);
  // Nothing is expected on the data connection: whatever comes is taken and dropped.
  connect(wsData_.get(), &Winsock::DataArrival, this, [this] { wsData_->GetData(); });
  connect(wsData_.get(), &Winsock::StateChanged, this, &FtpEngine::onDataState);
  connect(wsData_.get(), &Winsock::SendProgress, this, [this](qint64 sent, qint64 remaining) {
    if (state_ == State::Sending) Q_EMIT sendProgress(sent, remaining);
  });
  connect(wsData_.get(), &Winsock::SendComplete, this, &FtpEngine::onSendComplete);
}

FtpEngine::~FtpEngine() = default;

void FtpEngine::setTickInterval(int ms) {
  Timer2.setInterval(ms);
  Timer3.setInterval(ms);
  Timer4.setInterval(5 * ms);
}

QString FtpEngine::packagePath() const {
  return Paths::resolveCase(Paths::programFolder() + "\\MyDesign\\" + dNO + "\\UpLoad\\" + dNO + ".TMP");
}

bool FtpEngine::dataConnected() const { return wsData_->State() == Winsock::sckConnected; }

bool FtpEngine::bothClosed() const {
  return wsData_->State() == Winsock::sckClosed && wsCommand_->State() == Winsock::sckClosed;
}

void FtpEngine::cancelRetry() { Timer4.stop(); }

void FtpEngine::closeAll() {
  stopAttempt();
  enter(State::Idle);
}

// ---------------------------------------------------------------- the one place of change

void FtpEngine::enter(State next) {
  state_ = next;
  if (waitOf(next)) {
    Code.clear();
    waitTicks_ = 0;
    Timer2.start();
  } else {
    Timer2.stop();
  }
  if (next == State::Sending || next == State::Sent) Timer3.start();
  else Timer3.stop();
}

void FtpEngine::stopAttempt() {
  ++attempt_;  // whatever of the old attempt is still being handled stops here
  Timer2.stop();
  Timer3.stop();
  Timer4.stop();
  wsCommand_->Close();
  wsData_->Close();
  lines_->clear();
  package_.reset();
}

// ---------------------------------------------------------------- calls from the row

void FtpEngine::up() {
  stopAttempt();
  remoteSize = 0;
  sentKB = 0;
  // Each attempt passes over one number of both counters before the connections take theirs.
  lporta = plusOne(lporta);
  lportb = plusOne(lportb);
  Q_EMIT attemptBegan();
  ftpLogon();
}

void FtpEngine::pause() {
  stopAttempt();
  enter(State::Idle);
  Q_EMIT progressDisplay(false);
  Q_EMIT statusChanged(QStringLiteral("已暂停"));
  Q_EMIT startImageShown(true);
}

// ---------------------------------------------------------------- the dialogue

void FtpEngine::ftpLogon() {
  const qint32 p = lportb;
  lportb = plusOne(lportb);
  wsCommand_->setLocalPort(bindable(p));  // closed by stopAttempt(), so the socket takes it
  // A connect that cannot start (a bad host or port) leaves the wait to run out, as a server
  // that never answers does.
  wsCommand_->Connect(FtpServer, FtpPort.trimmed().toInt());
  enter(State::Connecting);
}

void FtpEngine::ftpSend() {
  sendCommand(QStringLiteral("type i"));  // its reply is never looked at
  await(State::SecondPassive, QStringLiteral("PASV"));
}

bool FtpEngine::await(State next, const QString& command) {
  enter(next);
  return sendCommand(command);
}

bool FtpEngine::sendCommand(const QString& text) {
  // The remote name and the account go into command lines: a line end or NUL in them would
  // smuggle in a command of its own, so such a command is not sent and the attempt fails.
  if (text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n')) || text.contains(QChar(0))) {
    upFail();
    return false;
  }
  wsCommand_->SendData(text + QStringLiteral("\r\n"));
  return true;
}

void FtpEngine::onControlArrival() {
  const quint64 attempt = attempt_;
  const QList<QByteArray> replies = lines_->feed(wsCommand_->GetData());
  for (const QByteArray& reply : replies) {
    onReply(reply);
    if (attempt_ != attempt || wsCommand_->State() == Winsock::sckClosed) break;
  }
}

void FtpEngine::onReply(const QByteArray& reply) {
  const QString code = QString::fromLocal8Bit(reply.left(3));
  const quint64 attempt = attempt_;
  if (code == QLatin1String("227")) {
    pasvConnect(reply);
  } else if (code == QLatin1String("213")) {
    remoteSize = parseSizeReply(reply);
  } else if (code == QLatin1String("226")) {
    // The server has the whole file, whatever step is running.
    wsData_->Close();
    wsCommand_->SendData(QStringLiteral("QUIT \r\n"));
    wsCommand_->Flush();
    wsCommand_->Close();
    lines_->clear();
    Q_EMIT completionDue();
    if (state_ == State::Sent) enter(State::Finished);
  }
  if (attempt_ != attempt) return;
  Code = code;

  const Wait* w = waitOf(state_);
  if (!w) return;
  if (isAwaited(*w, code)) {
    switch (state_) {
      case State::Connecting: await(State::UserSent, QStringLiteral("USER ") + User); break;
      case State::UserSent: await(State::PasswordSent, QStringLiteral("PASS ") + Pwd); break;
      case State::PasswordSent: await(State::FirstPassive, QStringLiteral("PASV")); break;
      case State::FirstPassive: ftpSend(); break;
      case State::SecondPassive:
        enter(State::DataConnecting);
        if (dataConnected()) sizeQuery();
        break;
      case State::SizeQuery: sizeKnown(); break;
      case State::Deleting: upFail(); break;  // the retry finds nothing and sends it all
      case State::Appending: startSending(); break;
      default: break;
    }
  } else if (w->failing && code == QLatin1String(w->failing)) {
    upFail();
  }
}

void FtpEngine::pasvConnect(const QByteArray& reply) {
  // The server listens on the latest address only: a data connection made on an earlier reply
  // gives way to one made to this one.
  wsData_->Close();
  const std::optional<PasvAddress> a = parsePasv(reply);
  if (!a) return;  // no address: the wait for the data connection runs out
  for (int tries = 0; tries < 2; ++tries) {
    const qint32 p = lporta;
    lporta = plusOne(lporta);
    wsData_->setLocalPort(bindable(p));  // closed above, so the socket takes it
    if (wsData_->Connect(a->host, a->port)) return;
    wsData_->Close();
  }
}

void FtpEngine::onDataState(int state) {
  if (state_ == State::DataConnecting && state == Winsock::sckConnected) sizeQuery();
}

void FtpEngine::sizeQuery() { await(State::SizeQuery, QStringLiteral("size ") + wDNO); }

void FtpEngine::sizeKnown() {
  const QFileInfo info(packagePath());
  if (!info.isFile()) {
    upFail();  // no package to send: the row stays usable and the retry looks again
    return;
  }
  const qint64 length = info.size();
  const qint64 n = length - 1;
  totalKB = VbMath::intDiv(n, 1024);
  if (n <= remoteSize) {
    // The server holds the whole package or one byte less: start again from nothing.
    await(State::Deleting, QStringLiteral("dele ") + wDNO);
    return;
  }
  // What the server holds is resumed: the rest goes from that offset on.
  auto file = std::make_unique<QFile>(info.filePath());
  if (!file->open(QIODevice::ReadOnly) || !file->seek(remoteSize)) {
    upFail();
    return;
  }
  package_ = std::move(file);
  restLength_ = length - remoteSize;
  remoteSize = VbMath::intDiv(remoteSize, 1024);
  await(State::Appending, QStringLiteral("APPE ") + wDNO);
}

void FtpEngine::startSending() {
  if (!package_ || !wsData_->SendStream(std::move(package_), restLength_)) {
    upFail();  // the data connection went away before the append could use it
    return;
  }
  enter(State::Sending);
  Q_EMIT progressDisplay(true);
}

void FtpEngine::onSendComplete() {
  if (state_ != State::Sending) return;
  rec = 0;
  enter(State::Sent);
  Q_EMIT progressDisplay(false);
  Q_EMIT statusChanged(QStringLiteral("即将完成,请稍候..."));
  // Closing ends the data stream; the server answers "226" on the control connection.
  wsData_->Close();
  Q_EMIT allSent();
}

void FtpEngine::upFail() {
  stopAttempt();
  const bool retry = rec < kRetries;
  const QString text = retry ? QStringLiteral("上传失败(5秒后第%1次自动开始)").arg(rec + 1)
                             : QStringLiteral("%1次上传失败(稍后再试)").arg(rec);
  if (retry) {
    ++rec;
    enter(State::RetryPending);
    Timer4.start();
  } else {
    rec = 0;
    enter(State::Idle);
  }
  Q_EMIT progressDisplay(false);
  Q_EMIT statusChanged(text);
  Q_EMIT startImageShown(true);
}

// ---------------------------------------------------------------- ticks

void FtpEngine::Timer2_Timer() {
  if (!waitOf(state_)) return;
  waitTicks_ = plusOne(waitTicks_);
  if (waitTicks_ > kWaitLimit) upFail();
}

void FtpEngine::Timer3_Timer() {
  if (state_ == State::Sending && !dataConnected()) {
    upFail();
  } else if (state_ == State::Sent && wsCommand_->State() != Winsock::sckConnected) {
    // The server went away before its "226": "all sent" only meant that the bytes had left
    // for the network, and the socket buffers on the way can hold megabytes of them. The
    // retry's size query finds out what the server kept.
    Q_EMIT allSentWithdrawn();
    upFail();
  }
}

void FtpEngine::Timer4_Timer() {
  if (state_ != State::RetryPending) return;
  Timer4.stop();
  Q_EMIT progressDisplay(true);
  Q_EMIT startImageShown(false);
  Q_EMIT statusChanged(QStringLiteral("链接服务器..."));
  up();
}
