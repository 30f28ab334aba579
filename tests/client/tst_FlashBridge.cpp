// The texts exchanged with movies: calls built byte for byte, requests read for name and first argument.
#include "FlashBridge.h"
#include "FlashPlayer.h"

#include <QtTest>

class TestFlashBridge : public QObject {
  Q_OBJECT
private Q_SLOTS:
  void buildCall_data() {
    QTest::addColumn<QString>("function");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("expected");
    QTest::newRow("checkPage true") << "checkPage" << QStringList{"true"}
        << R"(<invoke name="checkPage"  returntype="xml"><arguments><string>true</string></arguments></invoke>)";
    QTest::newRow("two arguments") << "setvar" << QStringList{"ABC", "http://h"}
        << R"(<invoke name="setvar"  returntype="xml"><arguments><string>ABC</string><string>http://h</string></arguments></invoke>)";
    QTest::newRow("empty argument") << "dList" << QStringList{""}
        << R"(<invoke name="dList"  returntype="xml"><arguments><string></string></arguments></invoke>)";
    QTest::newRow("markup argument") << "loadMain" << QStringList{"a", "<lst><template>x</template></lst>"}
        << R"(<invoke name="loadMain"  returntype="xml"><arguments><string>a</string><string><lst><template>x</template></lst></string></arguments></invoke>)";
  }
  void buildCall() {
    QFETCH(QString, function);
    QFETCH(QStringList, args);
    QFETCH(QString, expected);
    QCOMPARE(BuildCall(function, args).toUtf8(), expected.toUtf8());
  }

  void readRequest_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("argument");
    QTest::newRow("one argument") << R"(<invoke name="open" returntype="xml"><arguments><string>trip</string></arguments></invoke>)"
                                  << true << "open" << "trip";
    QTest::newRow("two arguments: first only") << R"(<invoke name="new" returntype="xml"><arguments><string>a</string><string>b</string></arguments></invoke>)"
                                               << true << "new" << "a";
    QTest::newRow("number element") << R"(<invoke name="x" returntype="xml"><arguments><number>42</number></arguments></invoke>)"
                                    << true << "x" << "42";
    QTest::newRow("escaped text") << R"(<invoke name="open" returntype="xml"><arguments><string>a &amp; &lt;b&gt;</string></arguments></invoke>)"
                                  << true << "open" << "a & <b>";
    QTest::newRow("empty argument") << R"(<invoke name="open" returntype="xml"><arguments><string></string></arguments></invoke>)"
                                    << true << "open" << "";
    QTest::newRow("not well-formed") << R"(<invoke name="open"><arguments><string>x</arguments>)" << false << "" << "";
    QTest::newRow("no name") << R"(<invoke returntype="xml"><arguments><string>x</string></arguments></invoke>)" << false << "" << "";
    QTest::newRow("no argument") << R"(<invoke name="open" returntype="xml"><arguments></arguments></invoke>)" << false << "" << "";
    QTest::newRow("empty text") << "" << false << "" << "";
    const auto nested = [](int n) { return QString("<a>").repeated(n) + QString("</a>").repeated(n); };
    const QString head = R"(<invoke name="x" returntype="xml"><arguments><string>)";
    const QString tail = "</string></arguments></invoke>";
    QTest::newRow("nested 64 deep") << head + "t" + nested(61) + tail << true << "x" << "t";
    QTest::newRow("nested 65 deep") << head + "t" + nested(62) + tail << false << "" << "";
    const qsizetype room = FlashPlayer::maxInvokeChars - head.size() - tail.size();
    QTest::newRow("longest request") << head + QString(room, 'b') + tail << true << "x" << QString(room, 'b');
    QTest::newRow("request too long") << head + QString(room + 1, 'b') + tail << false << "" << "";
  }
  void readRequest() {
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(QString, name);
    QFETCH(QString, argument);
    QString n = "unchanged", a = "unchanged";
    QCOMPARE(ReadRequest(text, n, a), ok);
    if (ok) {
      QCOMPARE(n, name);
      QCOMPARE(a, argument);
    }
  }
};

QTEST_GUILESS_MAIN(TestFlashBridge)
#include "tst_FlashBridge.moc"
