// The platform's own dialogs and the web engine's pages speak Chinese once the translations are
// installed, whatever the machine's locale (the tests run under C.UTF-8).
#include "Platform.h"
#include "Translations.h"
#include "WebControls.h"
#include "WebEngineBrowser.h"
#include "YieldFixture.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QTcpServer>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>

namespace {
QStringList buttonTexts(QDialog* dialog) {
  QStringList texts;
  if (auto* box = dialog->findChild<QDialogButtonBox*>())
    for (QAbstractButton* b : box->buttons()) texts << b->text().remove('&');
  texts.sort();
  return texts;
}

QString labelText(QDialog* dialog, const char* name) {
  auto* label = dialog->findChild<QLabel*>(name);
  return label ? label->text().remove('&') : QString("(no label %1)").arg(name);
}
}  // namespace

class TranslationsTest : public QObject {
  Q_OBJECT

private Q_SLOTS:
  void messageBoxButtons_data() {
    QTest::addColumn<int>("style");
    QTest::addColumn<QStringList>("texts");
    // Sorted as buttonTexts sorts them; Yes and No carry their access keys as Chinese dialogs do.
    QTest::newRow("OK") << int(Msg::OKOnly) << QStringList{"确定"};
    QTest::newRow("OK, Cancel") << int(Msg::OKCancel) << (QStringList{"取消", "确定"});
    QTest::newRow("Yes, No") << int(Msg::YesNo) << (QStringList{"否(N)", "是(Y)"});
    QTest::newRow("Yes, No, Cancel") << int(Msg::YesNoCancel) << (QStringList{"取消", "否(N)", "是(Y)"});
  }
  void messageBoxButtons() {
    QFETCH(int, style);
    QFETCH(QStringList, texts);
    QStringList seen;
    QString title;
    whenShown<QDialog>([&](QDialog* d) {
      seen = buttonTexts(d);
      title = d->windowTitle();
      d->reject();
    });
    qtPlatform().msgBox->show(nullptr, QString::fromUtf8("正文"), QString::fromUtf8("客户端"), style);
    QCOMPARE(seen, texts);
    QCOMPARE(title, QString::fromUtf8("客户端"));  // the program's own texts stay as given
  }

  void fileDialogLabels() {
    QString lookIn, fileName, fileType;
    QStringList buttons;
    whenShown<QDialog>([&](QDialog* d) {
      lookIn = labelText(d, "lookInLabel");
      fileName = labelText(d, "fileNameLabel");
      fileType = labelText(d, "fileTypeLabel");
      buttons = buttonTexts(d);
      d->reject();
    });
    qtPlatform().fileDialog->openFiles(nullptr, QString::fromUtf8("打开"), "All", "*.*", true);
    QCOMPARE(lookIn, QString::fromUtf8("查找范围："));
    QCOMPARE(fileName, QString::fromUtf8("文件名称(N)："));
    QCOMPARE(fileType, QString::fromUtf8("文件类型："));
    QCOMPARE(buttons, (QStringList{"取消", "打开(O)"}));
  }

  // A page that cannot be reached: the web engine's own error page, in Chinese.
  void webEngineErrorPage() {
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    const quint16 port = closed.serverPort();
    closed.close();  // connections to the port are refused from now on

    WebEngineBrowser browser;
    browser.resize(500, 400);
    browser.show();
    browser.Navigate(QString("http://127.0.0.1:%1/main/templates.aspx").arg(port));
    QString text;
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
          browser.view()->page()->toPlainText([&](const QString& t) { text = t; });
          return text.contains("ERR_CONNECTION_REFUSED");
        }(),
        20000);
    QVERIFY2(text.contains(QString::fromUtf8("无法访问此网站")), qPrintable(text));
  }
};

int main(int argc, char** argv) {
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QApplication app(argc, argv);
  Translations::install();
  WebControls::install(qtPlatform());
  TranslationsTest t;
  return QTest::qExec(&t, argc, argv);
}
#include "tst_Translations.moc"
