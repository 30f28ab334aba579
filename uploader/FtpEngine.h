#pragma once
// The task row's own FTP client: it sends the row's upload package to the shop's FTP server as
// the remote file `wDNO`, resuming after what the server already holds, with a limit of 60 ticks
// on every awaited reply and six automatic retries 5 s apart.
//
// One explicit state machine: socket events and timer ticks are the only inputs, each handled by
// one handler, and enter() is the one place that moves between states. The row owns the display
// (its progress timer Timer1 and its completion notice Timer5); the engine tells it what to show
// through the signals below.
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

class QIODevice;
class Winsock;
struct FtpReplyLines;

class FtpEngine : public QObject {
  Q_OBJECT
public:
  enum class State {
    Idle,            // no attempt running: new, paused, given up, finished
    RetryPending,    // failed with retries left; Timer4 armed
    Connecting,      // control connection started, awaiting "220"
    UserSent,        // awaiting "331"
    PasswordSent,    // awaiting "230"
    FirstPassive,    // awaiting "227"
    SecondPassive,   // "type i" and the second "PASV" sent, awaiting "227"
    DataConnecting,  // awaiting the data connection
    SizeQuery,       // awaiting "213" or "550"
    Deleting,        // awaiting "250"; fails on "550"
    Appending,       // awaiting "150" or "125"; fails on "550"
    Sending,         // the package's rest is going out on the data connection
    Sent,            // every byte handed over, data connection closed; awaiting "226" while
                     // the control connection lasts
    Finished,        // "QUIT " sent, control connection closed, completion notice due
  };
  Q_ENUM(State)

  explicit FtpEngine(QObject* parent = nullptr);
  ~FtpEngine() override;

  // Set by the window when it creates the row.
  QString dNO;        // design name: names the local package
  QString wDNO;       // server design id: the remote file name
  QString FtpServer;  // host
  QString FtpPort;    // port as text
  QString User;
  QString Pwd;
  qint32 lporta = 0;  // next local port of the data connection (200 × row index)
  qint32 lportb = 0;  // next local port of the control connection (200 × row index + 100)
  qint16 rec = 0;     // automatic retries used since the last complete send or give-up

  // Kept by the engine; read (sentKB also written) by the row's progress display.
  QString Code;           // code of the latest reply; emptied before each awaited reply
  qint64 remoteSize = 0;  // bytes the server held; whole KB once the append is prepared
  qint64 totalKB = 0;     // (package length - 1) / 1024, rounded down
  qint64 sentKB = 0;      // written by the progress display; reset to 0 by up()

  // The engine's timers: reply-wait ticks, connection watchdog (both 1000 ms, repeating) and the
  // one-shot automatic retry (5000 ms).
  QTimer Timer2;
  QTimer Timer3;
  QTimer Timer4;
  // Timer2 and Timer3 tick every ms, Timer4 fires after 5 × ms (tests run the waits fast).
  void setTickInterval(int ms);

  // Begins a new attempt from the start (a pending retry is dropped). Returns at once.
  void up();
  // The user's pause: the attempt ends here, both connections close, no retry is armed;
  // emits progressDisplay(false), statusChanged("已暂停") and startImageShown(true).
  void pause();
  // For the row's pause/resume click: pause when dataConnected(), resume (cancelRetry, up) when
  // bothClosed(), otherwise nothing.
  bool dataConnected() const;
  bool bothClosed() const;
  // Drops a pending automatic retry (Timer4 off).
  void cancelRetry();
  // Closes both connections and stops the engine's timers (the program is ending).
  void closeAll();

  State state() const { return state_; }
  // Program folder & "\MyDesign\" & dNO & "\UpLoad\" & dNO & ".TMP", in native form.
  QString packagePath() const;

  // The connections, for reading their state and ports.
  const Winsock& wsCommand() const { return *wsCommand_; }
  const Winsock& wsData() const { return *wsData_; }

  // Timer handlers, public so that a test can tick by hand.
  void Timer2_Timer();
  void Timer3_Timer();
  void Timer4_Timer();

Q_SIGNALS:
  // A status text of the engine's: the retry and give-up texts, "即将完成,请稍候...",
  // "链接服务器..." (automatic retry), "已暂停" (pause).
  void statusChanged(const QString& text);
  // The row's progress display (its Timer1) on or off.
  void progressDisplay(bool on);
  // Bytes handed to the network since the last report, and bytes of the package's rest still
  // to go (the row's progress arithmetic).
  void sendProgress(qint64 bytesSent, qint64 bytesRemaining);
  // Every byte of the package has been sent and the data connection closed: the row hides its
  // pause and start images, calls the window's `uped`, shows the re-upload image and zeroes
  // its elapsed-time count.
  void allSent();
  // The control connection was lost while "226" was awaited: what allSent() reported may not
  // have reached the server. The attempt fails as well.
  void allSentWithdrawn();
  // The server's "226" came: the row's completion notice (its Timer5) is due.
  void completionDue();
  // The start image shown or hidden.
  void startImageShown(bool shown);
  // An attempt began: the row shows its name, sets the progress fill to its minimum and hides
  // the re-upload image.
  void attemptBegan();

private:
  void enter(State next);
  void stopAttempt();
  void upFail();
  void ftpLogon();
  void ftpSend();
  void pasvConnect(const QByteArray& reply);
  bool sendCommand(const QString& text);
  bool await(State next, const QString& command);
  void onControlArrival();
  void onReply(const QByteArray& reply);
  void onDataState(int state);
  void sizeQuery();
  void sizeKnown();
  void startSending();
  void onSendComplete();

  State state_ = State::Idle;
  quint64 attempt_ = 0;     // grows whenever an attempt ends or begins
  qint32 waitTicks_ = 0;    // ticks of Timer2 since the current wait began
  qint64 restLength_ = 0;   // bytes of the package that the append sends
  std::unique_ptr<Winsock> wsCommand_;
  std::unique_ptr<Winsock> wsData_;
  std::unique_ptr<FtpReplyLines> lines_;
  std::unique_ptr<QIODevice> package_;
};
