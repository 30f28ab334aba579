// The Qt dialogs behind the common-dialog port, driven as a user would: a timer finds the modal
// dialog, makes the choice and closes it.
#include "CommonDialogs.h"
#include "Twips.h"
#include "YieldFixture.h"

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QFontDialog>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

using namespace CommonDialogs;

namespace {
const QChar NUL(0);

void touch(const QString& path) {
  QFile f(path);
  QVERIFY(f.open(QIODevice::WriteOnly));
}

OpenFileName fileRecord(const QString& filter, int32_t index, int32_t maxFile = 260) {
  OpenFileName r;
  r.filter = filter;
  r.filterIndex = index;
  r.file = QString(maxFile, NUL);
  r.maxFile = maxFile;
  r.fileTitle = QString(260, NUL);
  r.maxFileTitle = 260;
  return r;
}
}  // namespace

class tst_CommonDialogs : public QObject {
  Q_OBJECT
private Q_SLOTS:
  void openFileWithFilters() {
    QTemporaryDir dir;
    touch(dir.filePath("a.txt"));
    touch(dir.filePath("b.jpg"));
    OpenFileName r = fileRecord(QString("Text~*.txt~Pictures~*.jpg;*.png~~").replace('~', NUL), 2);
    r.initialDir = dir.path();
    r.title = "Pick";
    r.flags = Ofn::FileMustExist;
    QString shownFilter, shownTitle;
    whenShown<QFileDialog>([&](QFileDialog* d) {
      shownFilter = d->selectedNameFilter();
      shownTitle = d->windowTitle();
      d->selectFile(dir.filePath("b.jpg"));
      static_cast<QDialog*>(d)->accept();
    });
    QCOMPARE(qtCommonDialogs().getOpenFileName(r), 1);
    QCOMPARE(shownFilter, QString("Pictures (*.jpg *.png)"));
    QCOMPARE(shownTitle, QString("Pick"));
    const QString path = dir.filePath("b.jpg");
    QCOMPARE(r.file.left(path.size() + 1), path + NUL);
    QCOMPARE(r.file.size(), 260);
    QCOMPARE(r.fileTitle.left(6), "b.jpg" + QString(NUL));
    QCOMPARE(r.filterIndex, 2);
    QCOMPARE(int(r.fileOffset), path.size() - 5);
    QCOMPARE(int(r.fileExtension), path.size() - 3);
  }

  void openSeveralFiles() {
    QTemporaryDir dir;
    touch(dir.filePath("a.txt"));
    touch(dir.filePath("c.txt"));
    OpenFileName r = fileRecord(QString("Text~*.txt~~").replace('~', NUL), 1);
    r.initialDir = dir.path();
    r.flags = Ofn::AllowMultiSelect | Ofn::Explorer;
    whenShown<QFileDialog>([&](QFileDialog* d) {
      d->selectFile("\"a.txt\" \"c.txt\"");
      static_cast<QDialog*>(d)->accept();
    });
    QCOMPARE(qtCommonDialogs().getOpenFileName(r), 1);
    const QString folder = QFileInfo(dir.path()).absoluteFilePath();
    QVERIFY2(r.file.startsWith(folder + NUL), qPrintable(r.file.left(80)));
    QStringList names = r.file.mid(folder.size() + 1).split(NUL).mid(0, 2);
    names.sort();
    QCOMPARE(names, (QStringList{"a.txt", "c.txt"}));
  }

  void fileBufferTooSmall() {
    QTemporaryDir dir;
    touch(dir.filePath("long-name.txt"));
    OpenFileName r = fileRecord(QString(), 0, 8);
    r.initialDir = dir.path();
    whenShown<QFileDialog>([&](QFileDialog* d) {
      d->selectFile(dir.filePath("long-name.txt"));
      static_cast<QDialog*>(d)->accept();
    });
    QCOMPARE(qtCommonDialogs().getOpenFileName(r), 0);
    QCOMPARE(qtCommonDialogs().extendedError(), uint32_t(Err::BufferTooSmall));
  }

  void cancelledDialogs() {
    OpenFileName f = fileRecord(QString(), 0);
    whenShown<QFileDialog>([](QFileDialog* d) { d->reject(); });
    QCOMPARE(qtCommonDialogs().getSaveFileName(f), 0);
    QCOMPARE(qtCommonDialogs().extendedError(), 0u);

    LogFont lf;
    ChooseFont font;
    font.logFont = &lf;
    whenShown<QFontDialog>([](QFontDialog* d) { d->reject(); });
    QCOMPARE(qtCommonDialogs().chooseFont(font), 0);
    QCOMPARE(qtCommonDialogs().extendedError(), 0u);
  }

  void fileTitle_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("title");
    QTest::newRow("path") << "/a/b/c.txt" << 260 << 0 << "c.txt";
    QTest::newRow("name only") << "c.txt" << 260 << 0 << "c.txt";
    QTest::newRow("folder") << "/a/b/" << 260 << -1 << "";
    QTest::newRow("buffer too small") << "/a/b/c.txt" << 4 << 6 << "";
  }
  void fileTitle() {
    QFETCH(QString, file);
    QFETCH(int, size);
    QFETCH(int, result);
    QFETCH(QString, title);
    QString buffer(size, NUL);
    QCOMPARE(int(qtCommonDialogs().getFileTitle(file, buffer, uint16_t(size))), result);
    QCOMPARE(buffer.size(), size);
    QCOMPARE(buffer.left(buffer.indexOf(NUL)), title);
  }

  void chooseColorKeepsCustomColors() {
    std::array<uint32_t, 16> table{};
    for (int i = 0; i < 16; ++i) table[i] = uint32_t(0x000010 * i);
    ChooseColor r;
    r.result = 0x00102030;
    r.flags = Cc::RgbInit | Cc::AnyColor;
    r.customColors = &table;
    QColor shown;
    whenShown<QColorDialog>([&](QColorDialog* d) {
      shown = d->currentColor();
      QColorDialog::setCustomColor(4, QColor(0xAA, 0xBB, 0xCC));
      d->setCurrentColor(QColor(0x11, 0x22, 0x33));
      static_cast<QDialog*>(d)->accept();
    });
    QCOMPARE(qtCommonDialogs().chooseColor(r), 1);
    QCOMPARE(shown, QColor(0x30, 0x20, 0x10));
    QCOMPARE(r.result, 0x00332211u);
    QCOMPARE(table[3], 0x30u);
    QCOMPARE(table[4], 0x00CCBBAAu);
  }

  void chooseFontFillsLogicalFont() {
    LogFont lf;
    setFixedText(lf.faceName, "Sans");
    ChooseFont r;
    r.logFont = &lf;
    r.pointSize = 100;
    r.flags = Cf::ScreenFonts | Cf::InitToLogFontStruct;
    QFont chosen;
    whenShown<QFontDialog>([&](QFontDialog* d) {
      QFont f = d->currentFont();
      f.setPointSize(18);
      f.setBold(true);
      f.setItalic(true);
      d->setCurrentFont(f);
      chosen = d->currentFont();  // what the installed fonts make of it
      static_cast<QDialog*>(d)->accept();
    });
    QCOMPARE(qtCommonDialogs().chooseFont(r), 1);
    QCOMPARE(r.pointSize, 180);
    QCOMPARE(lf.weight, chosen.weight());
    QCOMPARE(int(lf.italic), chosen.italic() ? 1 : 0);
    QCOMPARE(bool(r.fontType & Cf::BoldFontType), chosen.bold());
    QCOMPARE(bool(r.fontType & Cf::ItalicFontType), chosen.italic());
    QCOMPARE(fixedText(lf.faceName), chosen.family());
    if (Twips::perPixelY() == 15.0) QCOMPARE(lf.height, -24);
  }

  void printDialogFillsDeviceMode() {
    PrintDlg r;
    r.flags = Pd::ReturnDC | Pd::UseDevModeCopiesAndCollate | Pd::PageNums | Pd::Collate;
    r.fromPage = 2;
    r.toPage = 5;
    r.minPage = 1;
    r.maxPage = 65535;
    int shownFrom = 0;
    whenShown<QPrintDialog>([&](QPrintDialog* d) {
      shownFrom = d->printer()->fromPage();
      // The dialog writes its fields into the printer when accepted; the choice goes in after that.
      QObject::connect(d, &QDialog::accepted, d, [p = d->printer()] {
        p->setPageOrientation(QPageLayout::Landscape);
        p->setPageSize(QPageSize(QPageSize::A4));
        p->setCopyCount(3);
      });
      static_cast<QDialog*>(d)->accept();
    });
    QCOMPARE(qtCommonDialogs().printDlg(r), 1);
    QCOMPARE(shownFrom, 2);
    QVERIFY(r.devMode.has_value());
    QCOMPARE(int(r.devMode->orientation), 2);
    QCOMPARE(int(r.devMode->paperSize), 9);
    QCOMPARE(int(r.devMode->copies), 3);
    QCOMPARE(int(r.devMode->collate), 1);
    // Copies and collate travel in the device mode when asked to.
    QCOMPARE(int(r.copies), 1);
    QVERIFY(!(r.flags & Pd::Collate));
    QCOMPARE(r.dc, qtCommonDialogs().printerDC());
    QVERIFY(r.dc != 0);
  }

  void pageSetupGivesMarginsInTheUnitAsked() {
    PageSetupDlg r;
    r.flags = Psd::InHundredthsOfMillimeters;
    // The dialog starts from the current printer's page, which the user then accepts.
    auto* p = reinterpret_cast<QPrinter*>(qtCommonDialogs().printerDC());
    p->setPageSize(QPageSize(QPageSize::A4));
    p->setPageOrientation(QPageLayout::Portrait);
    p->setPageMargins(QMarginsF(10, 20, 15, 25), QPageLayout::Millimeter);
    whenShown<QPageSetupDialog>([](QPageSetupDialog* d) { static_cast<QDialog*>(d)->accept(); });
    QCOMPARE(qtCommonDialogs().pageSetupDlg(r), 1);
    QCOMPARE(r.margin.left, 1000);
    QCOMPARE(r.margin.top, 2000);
    QCOMPARE(r.margin.right, 1500);
    QCOMPARE(r.margin.bottom, 2500);
    QCOMPARE(r.paperWidth, 21000);
    QCOMPARE(r.paperHeight, 29700);
    QVERIFY(r.devMode.has_value());
    QCOMPARE(int(r.devMode->paperSize), 9);
  }

  void systemColorsFromPalette() {
    const QColor base = QApplication::palette().color(QPalette::Active, QPalette::Base);
    const uint32_t ref = uint32_t(base.red()) | uint32_t(base.green()) << 8 | uint32_t(base.blue()) << 16;
    QCOMPARE(qtCommonDialogs().systemColor(5), ref);
    QCOMPARE(qtCommonDialogs().systemColor(16), 0u);
  }

  void fixedTextFields() {
    std::array<char, 8> f{};
    setFixedText(f, "abcdefgh");  // exactly full: no room for a NUL, and none needed to read it
    QCOMPARE(fixedText(f), QString("abcdefgh"));
    setFixedText(f, QString::fromUtf8("ab字字"));  // 2 + 6 bytes
    QCOMPARE(fixedText(f), QString::fromUtf8("ab字字"));
    setFixedText(f, QString::fromUtf8("abc字字"));  // 9 bytes: the last character goes whole
    QCOMPARE(fixedText(f), QString::fromUtf8("abc字"));
    QCOMPARE(f[6], '\0');
  }
};

QTEST_MAIN(tst_CommonDialogs)
#include "tst_CommonDialogs.moc"
