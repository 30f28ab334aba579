// Bounded XML loading: size and nesting are checked before the document is built.
#include "XmlDom.h"

#include <QtTest>

class TestXmlDom : public QObject {
  Q_OBJECT
private Q_SLOTS:
  void bounds_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("maxChars");
    QTest::addColumn<bool>("loads");
    const auto nested = [](int n) { return QString("<a>").repeated(n) + QString("</a>").repeated(n); };
    QTest::newRow("plain") << "<list><l dno=\"a\"/></list>" << 100 << true;
    QTest::newRow("depth 64") << nested(64) << 1000 << true;
    QTest::newRow("depth 65") << nested(65) << 1000 << false;
    QTest::newRow("deep, never closed") << QString("<a>").repeated(100000) << 1000000 << false;
    QTest::newRow("one over the size") << "<r>12345</r>" << 11 << false;
    QTest::newRow("exactly the size") << "<r>12345</r>" << 12 << true;
    QTest::newRow("not well-formed") << "<r><x></r>" << 100 << false;
    QTest::newRow("empty") << "" << 100 << false;
    // Prefixes are names as the document sees them, so the nesting behind one is counted too.
    QTest::newRow("undeclared prefix") << "<x:r a:b=\"1\"/>" << 100 << true;
    QTest::newRow("deep behind an undeclared prefix") << "<x:r>" + nested(64) + "</x:r>" << 1000 << false;
  }
  void bounds() {
    QFETCH(QString, text);
    QFETCH(int, maxChars);
    QFETCH(bool, loads);
    QDomDocument doc;
    doc.setContent(QStringLiteral("<old/>"));
    QCOMPARE(XmlDom::loadBounded(doc, text, maxChars), loads);
    // A refused text leaves nothing of the document it replaced.
    if (!loads) QVERIFY(doc.documentElement().isNull());
  }
};

QTEST_GUILESS_MAIN(TestXmlDom)
#include "tst_XmlDom.moc"
