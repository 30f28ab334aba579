#include "FtpReply.h"

#include <QtTest>

class tst_FtpReply : public QObject {
  Q_OBJECT
private Q_SLOTS:
  void assemblesReplies_data();
  void assemblesReplies();
  void longLineIsCut();
  void pasvAddress_data();
  void pasvAddress();
  void sizeReply_data();
  void sizeReply();
};

using Chunks = QList<QByteArray>;
Q_DECLARE_METATYPE(Chunks)

void tst_FtpReply::assemblesReplies_data() {
  QTest::addColumn<Chunks>("arrivals");
  QTest::addColumn<Chunks>("replies");
  QTest::newRow("one line") << Chunks{"220 ready\r\n"} << Chunks{"220 ready"};
  QTest::newRow("split across arrivals") << Chunks{"22", "0 rea", "dy\r", "\n"} << Chunks{"220 ready"};
  QTest::newRow("line end alone in the next arrival") << Chunks{"331 pass\r", "\n230 ok\r\n"}
                                                     << Chunks{"331 pass", "230 ok"};
  QTest::newRow("type reply glued to the 227")
      << Chunks{"200 Type set to I\r\n227 Entering Passive Mode (127,0,0,1,4,1).\r\n"}
      << Chunks{"200 Type set to I", "227 Entering Passive Mode (127,0,0,1,4,1)."};
  QTest::newRow("nothing complete yet") << Chunks{"213 12"} << Chunks{};
  QTest::newRow("bare LF ends a line too") << Chunks{"150 go\n226 done\n"} << Chunks{"150 go", "226 done"};
  QTest::newRow("multi-line counts as its final line")
      << Chunks{"230-Welcome\r\n230-to the shop\r\n 230 not the end\r\n230 Logged in\r\n"} << Chunks{"230 Logged in"};
  QTest::newRow("multi-line split and glued")
      << Chunks{"220-hello\r\n22", "0-again\r\n220 re", "ady\r\n331 pass\r\n"} << Chunks{"220 ready", "331 pass"};
  QTest::newRow("other code inside multi-line does not end it")
      << Chunks{"211-Features\r\n 213 SIZE\r\n213 x\r\n211 End\r\n"} << Chunks{"211 End"};
  QTest::newRow("final line with code only") << Chunks{"250-a\r\n250\r\n"} << Chunks{"250"};
  QTest::newRow("hyphen without code is a plain line") << Chunks{"ab-c\r\n"} << Chunks{"ab-c"};
  QTest::newRow("empty line") << Chunks{"\r\n226 ok\r\n"} << Chunks{"", "226 ok"};
}

void tst_FtpReply::assemblesReplies() {
  QFETCH(Chunks, arrivals);
  QFETCH(Chunks, replies);
  FtpReplyLines lines;
  Chunks got;
  for (const QByteArray& a : arrivals) got += lines.feed(a);
  QCOMPARE(got, replies);

  // A new connection starts clean: a partial line and an open multi-line reply are forgotten.
  lines.feed("230-half");
  lines.clear();
  QCOMPARE(lines.feed("220 ok\r\n"), Chunks{"220 ok"});
}

void tst_FtpReply::longLineIsCut() {
  FtpReplyLines lines;
  const QByteArray huge(3 * FtpReplyLines::kMaxLine, 'x');
  QVERIFY(lines.feed("213 " + huge).isEmpty());
  QVERIFY(lines.feed(huge).isEmpty());
  const Chunks got = lines.feed("\r\n226 ok\r\n");
  QCOMPARE(got.size(), 2);
  QCOMPARE(got[0].size(), FtpReplyLines::kMaxLine);
  QVERIFY(got[0].startsWith("213 xxx"));
  QCOMPARE(got[1], QByteArray("226 ok"));
}

void tst_FtpReply::pasvAddress_data() {
  QTest::addColumn<QByteArray>("reply");
  QTest::addColumn<QString>("host");  // empty: no address
  QTest::addColumn<int>("port");
  QTest::newRow("usual") << QByteArray("227 Entering Passive Mode (127,0,0,1,195,80).") << "127.0.0.1" << 195 * 256 + 80;
  QTest::newRow("address as written") << QByteArray("227 =(10,1,2,3,0,21)") << "10.1.2.3" << 21;
  QTest::newRow("blanks around numbers") << QByteArray("227 ( 127, 0, 0, 1, 4, 1 )") << "127.0.0.1" << 1025;
  QTest::newRow("highest port") << QByteArray("227 (1,2,3,4,255,255)") << "1.2.3.4" << 65535;
  // The socket would read "010" as octal (8) and "09" as a host name.
  QTest::newRow("leading zeros are decimal") << QByteArray("227 (010,001,002,003,004,001)") << "10.1.2.3" << 1025;
  QTest::newRow("leading zero before 9") << QByteArray("227 (09,1,2,3,0,21)") << "9.1.2.3" << 21;
  QTest::newRow("no parentheses") << QByteArray("227 Entering Passive Mode") << "" << 0;
  QTest::newRow("no closing parenthesis") << QByteArray("227 (127,0,0,1,4,1") << "" << 0;
  QTest::newRow("five numbers") << QByteArray("227 (127,0,0,1,4)") << "" << 0;
  QTest::newRow("seven numbers") << QByteArray("227 (127,0,0,1,4,1,1)") << "" << 0;
  QTest::newRow("number above 255") << QByteArray("227 (127,0,0,1,256,1)") << "" << 0;
  QTest::newRow("negative number") << QByteArray("227 (127,0,0,-1,4,1)") << "" << 0;
  QTest::newRow("not a number") << QByteArray("227 (a,b,c,d,e,f)") << "" << 0;
  QTest::newRow("empty part") << QByteArray("227 (127,,0,1,4,1)") << "" << 0;
  QTest::newRow("NUL inside a number") << QByteArray("227 (12") + '\0' + '\0' + "7,0,0,1,4,1)" << "" << 0;
  QTest::newRow("NUL after a number") << QByteArray("227 (127,0,0,1") + '\0' + ",4,1)" << "" << 0;
  QTest::newRow("port zero") << QByteArray("227 (127,0,0,1,0,0)") << "" << 0;
  QTest::newRow("empty") << QByteArray() << "" << 0;
}

void tst_FtpReply::pasvAddress() {
  QFETCH(QByteArray, reply);
  QFETCH(QString, host);
  QFETCH(int, port);
  const std::optional<PasvAddress> a = parsePasv(reply);
  QCOMPARE(a.has_value(), !host.isEmpty());
  if (!a) return;
  QCOMPARE(a->host, host);
  QCOMPARE(a->port, port);
}

void tst_FtpReply::sizeReply_data() {
  QTest::addColumn<QByteArray>("reply");
  QTest::addColumn<qint64>("size");
  QTest::newRow("plain") << QByteArray("213 123457") << qint64(123457);
  QTest::newRow("beyond 32 bits") << QByteArray("213 5000000000") << qint64(5000000000);
  // Near the largest size a double is off by hundreds: whole numbers are read as integers.
  QTest::newRow("just below the largest") << QByteArray("213 9223372036854775623") << qint64(9223372036854775623);
  QTest::newRow("the largest") << QByteArray("213 9223372036854775807") << std::numeric_limits<qint64>::max();
  QTest::newRow("past the largest") << QByteArray("213 9223372036854775808") << std::numeric_limits<qint64>::max();
  QTest::newRow("blanks before") << QByteArray("213   42") << qint64(42);
  QTest::newRow("text after") << QByteArray("213 42 bytes") << qint64(42);
  QTest::newRow("half to even, down") << QByteArray("213 12.5") << qint64(12);
  QTest::newRow("half to even, up") << QByteArray("213 13.5") << qint64(14);
  QTest::newRow("no number") << QByteArray("213 size unknown") << qint64(0);
  QTest::newRow("negative") << QByteArray("213 -5") << qint64(0);
  QTest::newRow("code only") << QByteArray("213") << qint64(0);
}

void tst_FtpReply::sizeReply() {
  QFETCH(QByteArray, reply);
  QFETCH(qint64, size);
  QCOMPARE(parseSizeReply(reply), size);
}

QTEST_GUILESS_MAIN(tst_FtpReply)
#include "tst_FtpReply.moc"
