// The task list file and the hand-over text: what the reader makes of a file, the exact bytes
// the writer produces, what start-up makes of each element, which clipboard texts become a
// task, and that a save killed at any moment leaves a whole list.
#include "taskList.h"
#include "upHandover.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

namespace {
// The child process of the kill test: saves the list again and again, one task more each time.
int saveForever(const QString& path) {
  QList<taskItem> items;
  for (int n = 0;; ++n) {
    items.append(newTaskItem("Design " + QString::number(n), "D" + QString::number(n)));
    if (!saveTaskList(path, items)) return 1;
  }
}

QString attrs(const taskItem& item) {
  QStringList out;
  for (const auto& [n, v] : item.attributes) out << n + "=" + v;
  return out.join(' ');
}
}  // namespace

class TestTaskList : public QObject {
  Q_OBJECT
private Q_SLOTS:
  void reads_data();
  void reads();
  void writesTheExactForm();
  void roundTripsOddValues();
  void restores_data();
  void restores();
  void handover_data();
  void handover();
  void killedSaveLeavesWholeList();
};

void TestTaskList::reads_data() {
  QTest::addColumn<QString>("text");
  QTest::addColumn<bool>("parsed");
  QTest::addColumn<QStringList>("elements");  // tag, then attributes in their written order
  QTest::newRow("empty list") << "<list></list>" << true << QStringList();
  QTest::newRow("with declaration") << "<?xml version=\"1.0\"?>\n<list>\n  <l dno=\"A\" wdno=\"1\" uped=\"True\" real=\"False\"/>\n</list>"
                                    << true << QStringList{"l dno=A wdno=1 uped=True real=False"};
  QTest::newRow("byte-order mark") << QString(QChar(0xFEFF)) + "<list><l dno=\"A\"/></list>" << true
                                   << QStringList{"l dno=A"};
  QTest::newRow("attributes in another order")
      << "<list><l real=\"x\" zz=\"9\" uped=\"y\" aa=\"8\" wdno=\"2\" dno=\"B\"/></list>" << true
      << QStringList{"l dno=B wdno=2 uped=y real=x aa=8 zz=9"};
  QTest::newRow("missing attribute, other tag")
      << "<list><l dno=\"C\"/><task wdno=\"3\"/></list>" << true << QStringList{"l dno=C", "task wdno=3"};
  QTest::newRow("not XML") << "<list><l dno=\"A\"" << false << QStringList();
  QTest::newRow("empty file") << "" << false << QStringList();
  QTest::newRow("another root") << "<tasks><l dno=\"A\"/></tasks>" << false << QStringList();
  QTest::newRow("nested too deep") << "<list>" + QString("<a>").repeated(100) + QString("</a>").repeated(100) + "</list>"
                                   << false << QStringList();
}

void TestTaskList::reads() {
  QFETCH(QString, text);
  QFETCH(bool, parsed);
  QFETCH(QStringList, elements);
  const TaskListRead r = readTaskList(text);
  QCOMPARE(r.parsed, parsed);
  QStringList got;
  for (const taskItem& item : r.items) got << (item.tag + " " + attrs(item)).trimmed();
  QCOMPARE(got, elements);
}

void TestTaskList::writesTheExactForm() {
  QCOMPARE(writeTaskList({}), QByteArray("<list></list>"));
  taskItem odd;
  odd.attributes = {{"dno", "C"}};
  const QByteArray bytes = writeTaskList({newTaskItem("Summer", "A123"), newTaskItem("旅行", "B1"), odd});
  QCOMPARE(bytes, QByteArray("<list><l dno=\"Summer\" wdno=\"A123\" uped=\"False\" real=\"False\"/>"
                             "<l dno=\"") + QString("旅行").toUtf8() +
                      "\" wdno=\"B1\" uped=\"False\" real=\"False\"/><l dno=\"C\"/></list>");
}

void TestTaskList::roundTripsOddValues() {
  // Values a hand-edited file may hold come back as they were.
  const QString value = "a&b<c>\"d\" 'e'\tf\ng\rh";
  taskItem item = newTaskItem(value, "x");
  item.set("uped", "True");
  item.set("note", "kept");
  const TaskListRead r = readTaskList(QString::fromUtf8(writeTaskList({item})));
  QVERIFY(r.parsed);
  QCOMPARE(r.items.size(), 1);
  QCOMPARE(r.items[0].value("dno"), value);
  QCOMPARE(attrs(r.items[0]), attrs(item));
}

void TestTaskList::restores_data() {
  QTest::addColumn<QString>("element");
  QTest::addColumn<QString>("dno");
  QTest::addColumn<QString>("wdno");
  QTest::addColumn<bool>("uped");
  QTest::addColumn<bool>("real");
  QTest::newRow("new") << "<l dno=\"A\" wdno=\"1\" uped=\"False\" real=\"False\"/>" << "A" << "1" << false << false;
  QTest::newRow("sent") << "<l dno=\"A\" wdno=\"1\" uped=\"True\" real=\"False\"/>" << "A" << "1" << true << false;
  QTest::newRow("confirmed") << "<l dno=\"A\" wdno=\"1\" uped=\"True\" real=\"True\"/>" << "A" << "1" << true << true;
  QTest::newRow("any letter case") << "<l dno=\"A\" wdno=\"1\" uped=\"tRUE\" real=\"FALSE\"/>" << "A" << "1" << true << false;
  QTest::newRow("numbers") << "<l dno=\"A\" wdno=\"1\" uped=\"-1\" real=\"0\"/>" << "A" << "1" << true << false;
  QTest::newRow("another text") << "<l dno=\"A\" wdno=\"1\" uped=\"yes\" real=\"True\"/>" << "A" << "1" << false << false;
  QTest::newRow("decimal forms") << "<l dno=\"A\" wdno=\"1\" uped=\" +.5e1 \" real=\"0.0\"/>" << "A" << "1" << true << false;
  QTest::newRow("nan is no number") << "<l dno=\"A\" wdno=\"1\" uped=\"nan\" real=\"True\"/>" << "A" << "1" << false << false;
  QTest::newRow("inf is no number") << "<l dno=\"A\" wdno=\"1\" uped=\"True\" real=\"-inf\"/>" << "A" << "1" << false << false;
  QTest::newRow("empty truth") << "<l dno=\"A\" wdno=\"1\" uped=\"True\" real=\"\"/>" << "A" << "1" << false << false;
  QTest::newRow("no real") << "<l dno=\"A\" wdno=\"1\" uped=\"True\"/>" << "A" << "1" << false << false;
  QTest::newRow("no names") << "<l uped=\"True\" real=\"True\"/>" << "" << "" << false << false;
}

void TestTaskList::restores() {
  QFETCH(QString, element);
  QFETCH(QString, dno);
  QFETCH(QString, wdno);
  QFETCH(bool, uped);
  QFETCH(bool, real);
  const TaskListRead r = readTaskList("<list>" + element + "</list>");
  QCOMPARE(r.items.size(), 1);
  const RestoredTask t = restoredTask(r.items[0]);
  QCOMPARE(t.dNO, dno);
  QCOMPARE(t.wDNO, wdno);
  QCOMPARE(t.uped, uped);
  QCOMPARE(t.real, real);
}

void TestTaskList::handover_data() {
  QTest::addColumn<QString>("text");
  QTest::addColumn<QString>("dno");  // empty: no task
  QTest::addColumn<QString>("wdno");
  QTest::newRow("a task") << "upload@@;Summer;A123" << "Summer" << "A123";
  QTest::newRow("fourth field ignored") << "upload@@;Summer;A123;x" << "Summer" << "A123";
  QTest::newRow("name with blanks and dots") << "upload@@;My book..v2;D17" << "My book..v2" << "D17";
  QTest::newRow("Chinese name") << "upload@@;旅行相册;D1" << "旅行相册" << "D1";
  QTest::newRow("two fields") << "upload@@;Summer" << "" << "";
  QTest::newRow("marker alone") << "upload@@" << "" << "";
  QTest::newRow("marker letter case") << "Upload@@;Summer;A123" << "" << "";
  QTest::newRow("other text") << "hello;world;again" << "" << "";
  QTest::newRow("empty") << "" << "" << "";
  QTest::newRow("empty name") << "upload@@;;A123" << "" << "";
  QTest::newRow("name is ..") << "upload@@;..;A123" << "" << "";
  QTest::newRow("name is .") << "upload@@;.;A123" << "" << "";
  QTest::newRow("name with slash") << "upload@@;../../etc;A123" << "" << "";
  QTest::newRow("name with backslash") << "upload@@;a\\b;A123" << "" << "";
  QTest::newRow("name with line end") << "upload@@;a\nb;A123" << "" << "";
  QTest::newRow("name XML cannot hold") << QString("upload@@;a") + QChar(0xFFFF) + ";A123" << "" << "";
  QTest::newRow("empty id") << "upload@@;Summer;" << "" << "";
  QTest::newRow("id with blank") << "upload@@;Summer;A1 23" << "" << "";
  QTest::newRow("id with FTP command") << "upload@@;Summer;A1\r\nDELE x" << "" << "";
  QTest::newRow("id with slash") << "upload@@;Summer;../A1" << "" << "";
  QTest::newRow("id with backslash") << "upload@@;Summer;A\\1" << "" << "";
  QTest::newRow("id ending in a line end") << "upload@@;Summer;A123\n" << "" << "";
}

void TestTaskList::handover() {
  QFETCH(QString, text);
  QFETCH(QString, dno);
  QFETCH(QString, wdno);
  const std::optional<upHandover> h = parseHandover(text);
  QCOMPARE(h.has_value(), !dno.isEmpty());
  if (h) {
    QCOMPARE(h->dNO, dno);
    QCOMPARE(h->wDNO, wdno);
  }
}

void TestTaskList::killedSaveLeavesWholeList() {
  QTemporaryDir dir;
  const QString path = dir.filePath("set.xml");
  int longest = 0;
  for (int round = 0; round < 25; ++round) {
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TASKLIST_SAVE_FOREVER", path);
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {});
    QVERIFY(child.waitForStarted());
    QTest::qSleep(20 + QRandomGenerator::global()->bounded(60));
    ::kill(pid_t(child.processId()), SIGKILL);
    QVERIFY(child.waitForFinished(5000));
    QFile f(path);
    if (!f.exists()) continue;  // killed before its first save
    QVERIFY(f.open(QIODevice::ReadOnly));
    const TaskListRead r = readTaskList(QString::fromUtf8(f.readAll()));
    QVERIFY2(r.parsed, qPrintable("round " + QString::number(round)));
    for (int i = 0; i < r.items.size(); ++i) QCOMPARE(r.items[i].value("wdno"), "D" + QString::number(i));
    longest = std::max(longest, int(r.items.size()));
    f.close();
    QFile::remove(path);
  }
  QVERIFY(longest > 0);  // the kills did come during the saves
}

int main(int argc, char** argv) {
  const QString target = qEnvironmentVariable("TASKLIST_SAVE_FOREVER");
  if (!target.isEmpty()) return saveForever(target);
  QCoreApplication app(argc, argv);
  TestTaskList t;
  return QTest::qExec(&t, argc, argv);
}

#include "tst_taskList.moc"
