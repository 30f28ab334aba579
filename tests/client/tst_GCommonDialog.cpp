#include "FakeCommonDialogs.h"
#include "GCommonDialog.h"
#include "Twips.h"

#include <QtTest>

using namespace CommonDialogs;

namespace {
const QChar NUL(0);
QString z(const char* s) {  // "\0" can't sit in a C string: write it as "~"
  return QString::fromUtf8(s).replace('~', NUL);
}

// Puts a chosen name into a file record's buffer as a dialog does.
void choose(OpenFileName& r, const QString& file, const QString& title) {
  r.file = file + QString(r.maxFile - file.size(), NUL);
  r.fileTitle = title + QString(r.maxFileTitle - title.size(), NUL);
}

// Late-bound receiver of the dialog notifications.
class Sink : public QObject {
  Q_OBJECT
public:
  QStringList log;
  QVariant value = 42;
  bool confirm = true;
  Q_INVOKABLE QVariant InitDialog(qintptr& h) { return note("InitDialog", h); }
  Q_INVOKABLE void DialogClose() { log << "DialogClose"; }
  Q_INVOKABLE QVariant FileChange(qintptr& h) { return note("FileChange", h); }
  Q_INVOKABLE QVariant FolderChange(qintptr& h) { return note("FolderChange", h); }
  Q_INVOKABLE QVariant TypeChange(qintptr& h) { return note("TypeChange", h); }
  Q_INVOKABLE bool ConfirmOK() {
    log << "ConfirmOK";
    return confirm;
  }

private:
  QVariant note(const char* what, qintptr& h) {
    log << QString("%1:%2").arg(what).arg(h);
    h += 1;  // the handle comes by reference
    return value;
  }
};

// A sink that knows none of the notifications.
class MuteSink : public QObject {
  Q_OBJECT
};

// A printer object: Copies and Orientation can be set, PaperSize is read only, PrintQuality missing.
class Printer : public QObject {
  Q_OBJECT
  Q_PROPERTY(int Copies MEMBER copies)
  Q_PROPERTY(int Orientation MEMBER orientation)
  Q_PROPERTY(int PaperSize READ paper)
public:
  int copies = -1;
  int orientation = -1;
  int paper() const { return -1; }
};

// A class built on the wrapper that installs a sink, as a user of the notifications would.
class HookedDialog : public GCommonDialog {
public:
  using GCommonDialog::GCommonDialog;
  void setSink(QObject* s) { eventSink = s; }
};

DevMode devMode(int16_t copies, int16_t collate, int16_t orientation = 2, int16_t paper = 9, int16_t quality = 600) {
  DevMode dm;
  dm.copies = copies;
  dm.collate = collate;
  dm.orientation = orientation;
  dm.paperSize = paper;
  dm.printQuality = quality;
  return dm;
}
}  // namespace

class tst_GCommonDialog : public QObject {
  Q_OBJECT

  // Arguments of one open-dialog call, reset for each case.
  struct Open {
    QString file, title, filter;
    int32_t index = 1, flags = 0;
    bool readOnly = false;
  };
  static bool open(GCommonDialog& d, Open& a, bool mustExist = false, bool multi = false, bool hideRO = false,
                   Handle owner = -1) {
    return d.VBGetOpenFileName(a.file, a.title, mustExist, multi, a.readOnly, hideRO, a.filter, a.index, "/init",
                               "Pick", "txt", owner, a.flags);
  }
  static bool save(GCommonDialog& d, Open& a, bool overwrite = false, Handle owner = -1) {
    return d.VBGetSaveFileName(a.file, a.title, overwrite, a.filter, a.index, "/init", "Save", "txt", owner, a.flags);
  }

private Q_SLOTS:
  void filterConversion_data() {
    QTest::addColumn<QString>("filter");
    QTest::addColumn<int>("chosen");
    QTest::addColumn<QString>("handed");
    QTest::addColumn<QString>("back");
    QTest::newRow("second of two") << "Text|*.txt|Pictures|*.jpg;*.png" << 2 << z("Text~*.txt~Pictures~*.jpg;*.png~~")
                                   << z("Pictures~*.jpg;*.png");
    QTest::newRow("first of two") << "Text|*.txt|Pictures|*.jpg" << 1 << z("Text~*.txt~Pictures~*.jpg~~")
                                  << z("Text~*.txt");
    // ":" separates like "|": the description is split and the entries shift.
    QTest::newRow("colon in description") << "Images: all|*.jpg" << 1 << z("Images~ all~*.jpg~~") << z("Images~ all");
    QTest::newRow("colon, next entry") << "Images: all|*.jpg" << 2 << z("Images~ all~*.jpg~~") << z("*.jpg~");
    QTest::newRow("empty filter") << "" << 1 << z("~~") << "";
    QTest::newRow("index past the entries") << "Text|*.txt" << 3 << z("Text~*.txt~~") << "";
    QTest::newRow("index 0") << "Text|*.txt" << 0 << z("Text~*.txt~~") << "";
  }
  void filterConversion() {
    QFETCH(QString, filter);
    QFETCH(int, chosen);
    QFETCH(QString, handed);
    QFETCH(QString, back);
    for (bool isSave : {false, true}) {
      FakeCommonDialogs port;
      port.answerFile = [&](OpenFileName& r) {
        choose(r, "/home/u/b.jpg", "b.jpg");
        r.filterIndex = chosen;
        r.flags |= 0x800;
      };
      GCommonDialog d(port);
      Open a;
      a.filter = filter;
      QVERIFY(isSave ? save(d, a) : open(d, a));
      const OpenFileName& r = isSave ? port.saved.at(0) : port.opened.at(0);
      QCOMPARE(r.filter, handed);
      QCOMPARE(a.filter, back);
      QCOMPARE(a.index, chosen);
      QCOMPARE(a.file, QString("/home/u/b.jpg"));
      QCOMPARE(a.title, QString("b.jpg"));
      QCOMPARE(a.flags & 0x800, 0x800);  // the dialog's flags come back
    }
  }

  void fileRecord() {
    FakeCommonDialogs port;
    GCommonDialog d(port);
    Open a;
    a.file = "start.txt";
    a.title = "t";
    a.index = 3;
    open(d, a, false, false, false, 0x77);
    const OpenFileName& r = port.opened.at(0);
    QCOMPARE(r.file, "start.txt" + QString(251, NUL));
    QCOMPARE(r.maxFile, 260);
    QCOMPARE(r.fileTitle, "t" + QString(259, NUL));
    QCOMPARE(r.maxFileTitle, 260);
    QCOMPARE(r.initialDir, QString("/init"));
    QCOMPARE(r.title, QString("Pick"));
    QCOMPARE(r.defExt, QString("txt"));
    QCOMPARE(r.filterIndex, 3);
    QCOMPARE(r.owner, Handle(0x77));

    // -1 is no owner for the file, colour and font dialogs; print and page setup pass it on.
    open(d, a);
    QCOMPARE(port.opened.at(1).owner, Handle(0));
    int32_t color = 0;
    d.VBChooseColor(color, true, false, false, -1, 0);
    QCOMPARE(port.colors.at(0).owner, Handle(0));
    QFont font;
    Handle dc = -1;
    int32_t fontFlags = 0;
    d.VBChooseFont(font, dc, -1, color, 0, 0, fontFlags);
    QCOMPARE(port.fonts.at(0).owner, Handle(0));
    Handle hdc = 0;
    int32_t range = 0, from = 0, to = 0, copies = 0;
    bool toFile = false, collate = false;
    d.VBPrintDlg(hdc, range, false, from, to, false, copies, false, false, toFile, collate, false, -1, nullptr, 0);
    QCOMPARE(port.prints.at(0).owner, Handle(-1));
    float m[8] = {};
    int32_t paper = 0, orient = 0, quality = 0;
    d.VBPageSetupDlg2(-1, false, false, false, false, m[0], m[1], m[2], m[3], m[4], m[5], m[6], m[7], paper, orient,
                      quality, 0, nullptr, 0);
    QCOMPARE(port.pageSetups.at(0).owner, Handle(-1));
  }

  void fileFlags_data() {
    QTest::addColumn<bool>("isSave");
    QTest::addColumn<int>("given");
    QTest::addColumn<bool>("a");  // open: must exist; save: ask before overwriting
    QTest::addColumn<bool>("multi");
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<bool>("hideRO");
    QTest::addColumn<int>("handed");
    QTest::newRow("open, nothing") << false << 0 << false << false << false << false << 0;
    QTest::newRow("open, all") << false << 0 << true << true << true << true << (0x1000 | 0x200 | 0x1 | 0x4);
    QTest::newRow("open, hook and template out") << false << (0x20 | 0x40 | 0x80000) << false << false << false
                                                 << false << 0x80000;
    QTest::newRow("open, bits already given") << false << (0x1000 | 0x1) << true << false << true << false
                                              << (0x1000 | 0x1);
    QTest::newRow("save, nothing") << true << 0 << false << false << false << false << 0x4;
    QTest::newRow("save, overwrite") << true << (0x20 | 0x40 | 0x800) << true << false << false << false
                                     << (0x800 | 0x2 | 0x4);
  }
  void fileFlags() {
    QFETCH(bool, isSave);
    QFETCH(int, given);
    QFETCH(bool, a);
    QFETCH(bool, multi);
    QFETCH(bool, readOnly);
    QFETCH(bool, hideRO);
    QFETCH(int, handed);
    FakeCommonDialogs port;
    GCommonDialog d(port);
    Open args;
    args.flags = given;
    args.readOnly = readOnly;
    if (isSave) {
      save(d, args, a);
      QCOMPARE(int(port.saved.at(0).flags), handed);
    } else {
      open(d, args, a, multi, hideRO);
      QCOMPARE(int(port.opened.at(0).flags), handed);
    }
  }

  void readOnlyComesBackSetOnly() {
    FakeCommonDialogs port;
    uint32_t returned = 0;
    port.answerFile = [&](OpenFileName& r) { r.flags = returned; };
    GCommonDialog d(port);
    Open a;
    returned = 0x1;
    QVERIFY(open(d, a));
    QVERIFY(a.readOnly);
    returned = 0;  // the box unticked: the argument is left as it was
    QVERIFY(open(d, a));
    QVERIFY(a.readOnly);
    QCOMPARE(a.flags, 0);
  }

  void cancelledFileDialogs() {
    for (bool isSave : {false, true}) {
      FakeCommonDialogs port;
      port.result = 0;
      GCommonDialog d(port);
      Open a;
      a.file = "keep.txt";
      a.title = "keep";
      a.filter = "Text|*.txt";
      a.index = 1;
      a.flags = 0x800;
      a.readOnly = true;
      QVERIFY(!(isSave ? save(d, a) : open(d, a)));
      QCOMPARE(a.file, QString(""));
      QCOMPARE(a.title, QString(""));
      QCOMPARE(a.filter, QString(""));
      QCOMPARE(a.flags, 0);
      QCOMPARE(a.index, isSave ? 0 : -1);
      QVERIFY(a.readOnly);
      QCOMPARE(d.APIReturn(), 0);
      QCOMPARE(d.ExtendedError(), 0);  // the user cancelled
    }
  }

  // The common frame: last return is the dialog's value, the extended error that of a failed dialog,
  // both reset by the next dialog.
  void returnAndExtendedError() {
    FakeCommonDialogs port;
    GCommonDialog d(port);
    Open a;
    port.result = 0;
    port.error = 0x3003;
    QVERIFY(!open(d, a));
    QCOMPARE(d.ExtendedError(), 0x3003);
    QCOMPARE(d.APIReturn(), 0);
    port.result = 7;
    QVERIFY(open(d, a));
    QCOMPARE(d.APIReturn(), 7);
    QCOMPARE(d.ExtendedError(), 0);

    // The file title neither reads nor resets them.
    port.titleAnswer = "b.jpg";
    QCOMPARE(d.VBGetFileTitle("/x/b.jpg"), QString("b.jpg"));
    QCOMPARE(port.titleAsked, QStringList{"/x/b.jpg"});
    QCOMPARE(d.APIReturn(), 7);
    port.titleResult = -1;
    QCOMPARE(d.VBGetFileTitle("/x/"), QString(""));
    port.titleResult = 300;  // buffer too small
    QCOMPARE(d.VBGetFileTitle("/x/b.jpg"), QString(""));
  }

  void textsOverTheLimits_data() {
    QTest::addColumn<int>("what");  // 0 file name, 1 file title, 2 filter
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("error");  // 0: accepted
    QTest::newRow("file name 260") << 0 << 260 << 0;
    QTest::newRow("file name 261") << 0 << 261 << int(GCommonDialogError::InvalidCall);
    QTest::newRow("file title 260") << 1 << 260 << 0;
    QTest::newRow("file title 261") << 1 << 261 << int(GCommonDialogError::InvalidCall);
    QTest::newRow("filter 32767") << 2 << 32767 << 0;
    QTest::newRow("filter 32768") << 2 << 32768 << int(GCommonDialogError::Overflow);
  }
  void textsOverTheLimits() {
    QFETCH(int, what);
    QFETCH(int, length);
    QFETCH(int, error);
    for (bool isSave : {false, true}) {
      FakeCommonDialogs port;
      GCommonDialog d(port);
      Open a;
      const QString text(length, 'x');
      (what == 0 ? a.file : what == 1 ? a.title : a.filter) = text;
      int raised = 0;
      try {
        isSave ? save(d, a) : open(d, a);
      } catch (const GCommonDialogError& e) {
        raised = e.number;
      }
      QCOMPARE(raised, error);
      QCOMPARE(port.dialogs(), error ? 0 : 1);
    }
  }

  void customColors() {
    FakeCommonDialogs port;
    for (int i = 0; i < 16; ++i) port.sysColors[i] = uint32_t(0x010101 * (i + 1));
    GCommonDialog d(port);
    QCOMPARE(port.sysColorReads, 0);  // creating does nothing
    QCOMPARE(d.CustomColor(16), -1);
    QCOMPARE(port.sysColorReads, 16);  // but even a refused read fills the table
    QCOMPARE(d.CustomColor(0), 0x010101);
    QCOMPARE(d.CustomColor(15), 0x101010);
    QCOMPARE(d.CustomColor(-1), -1);
    d.CustomColor(16, 0x123456);
    d.CustomColor(-1, 0x123456);
    d.CustomColor(3, 0x00ABCDEF);
    QCOMPARE(d.CustomColor(3), 0x00ABCDEF);
    for (int i = 0; i < 16; ++i) QVERIFY(d.CustomColor(i) != 0x123456);
    QCOMPARE(port.sysColorReads, 16);

    // The dialog gets the table and what it changes there is kept.
    port.answerColor = [](ChooseColor& r) { (*r.customColors)[5] = 0x00FF00; };
    int32_t color = 0;
    QVERIFY(d.VBChooseColor(color, true, false, false, 0, 0));
    QCOMPARE(port.customColorsSeen.at(0)[3], 0x00ABCDEFu);
    QCOMPARE(d.CustomColor(5), 0x00FF00);

    // A colour dialog as the first use fills the table too.
    FakeCommonDialogs port2;
    port2.sysColors[7] = 0x777777;
    GCommonDialog d2(port2);
    QVERIFY(d2.VBChooseColor(color, true, false, false, 0, 0));
    QCOMPARE(port2.customColorsSeen.at(0)[7], 0x777777u);
  }

  void chooseColor_data() {
    QTest::addColumn<bool>("any");
    QTest::addColumn<bool>("full");
    QTest::addColumn<bool>("prevent");
    QTest::addColumn<int>("flags");
    QTest::newRow("solid") << false << false << false << (0x80 | 0x1);
    QTest::newRow("any") << true << false << false << (0x100 | 0x1);
    QTest::newRow("any, full") << true << true << false << (0x100 | 0x1 | 0x2);
    QTest::newRow("solid, prevent full") << false << false << true << (0x80 | 0x1 | 0x4);
  }
  void chooseColor() {
    QFETCH(bool, any);
    QFETCH(bool, full);
    QFETCH(bool, prevent);
    QFETCH(int, flags);
    FakeCommonDialogs port;
    port.answerColor = [](ChooseColor& r) { r.result = 0x00336699; };
    GCommonDialog d(port);
    int32_t color = 0x00102030;
    QVERIFY(d.VBChooseColor(color, any, full, prevent, 0, 0xFFFF));  // the last flags are not used
    QCOMPARE(int(port.colors.at(0).flags), flags);
    QCOMPARE(port.colors.at(0).result, 0x00102030u);
    QCOMPARE(color, 0x00336699);

    port.result = 0;
    QVERIFY(!d.VBChooseColor(color, any, full, prevent, 0, 0));
    QCOMPARE(color, -1);
    QCOMPARE(d.APIReturn(), 0);
  }

  void fontLogicalHeight_data() {
    QTest::addColumn<double>("points");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("pointSize");
    QTest::newRow("12") << 12.0 << -16 << 120;
    QTest::newRow("10.5") << 10.5 << -14 << 105;
    QTest::newRow("9.375, half to even down") << 9.375 << -12 << 94;
    QTest::newRow("10.125, half to even up") << 10.125 << -14 << 101;
  }
  void fontLogicalHeight() {
    QFETCH(double, points);
    QFETCH(int, height);
    QFETCH(int, pointSize);
    if (Twips::perPixelY() != 15.0) QSKIP("the table is for 96 DPI");
    FakeCommonDialogs port;
    GCommonDialog d(port);
    QFont font("Serif");
    font.setPointSizeF(points);
    font.setWeight(QFont::DemiBold);
    font.setItalic(true);
    font.setStrikeOut(true);
    Handle dc = -1;
    int32_t color = 0, flags = 0;
    QVERIFY(d.VBChooseFont(font, dc, 0, color, 0, 0, flags));
    const LogFont& lf = port.logFonts.at(0);
    QCOMPARE(lf.height, height);
    QCOMPARE(port.fonts.at(0).pointSize, pointSize);
    QCOMPARE(lf.weight, 600);
    QCOMPARE(int(lf.italic), 1);
    QCOMPARE(int(lf.underline), 0);
    QCOMPARE(int(lf.strikeOut), 1);
    QCOMPARE(fixedText(lf.faceName), QString("Serif"));
  }

  void fontFaceNameField() {
    FakeCommonDialogs port;
    GCommonDialog d(port);
    Handle dc = -1;
    int32_t color = 0, flags = 0;
    QFont font;
    font.setPointSize(10);
    font.setFamily(QString::fromUtf8("宋体"));
    d.VBChooseFont(font, dc, 0, color, 0, 0, flags);
    const QByteArray song = QString::fromUtf8("宋体").toUtf8();
    QCOMPARE(QByteArray(port.logFonts.at(0).faceName.data(), 32), song + QByteArray(32 - song.size(), '\0'));
    // A long name is cut to the field, never inside a character.
    font.setFamily(QString(10, 'a') + QString::fromUtf8("字字字字字字字字"));  // 10 + 24 bytes
    d.VBChooseFont(font, dc, 0, color, 0, 0, flags);
    QCOMPARE(fixedText(port.logFonts.at(1).faceName), QString(10, 'a') + QString::fromUtf8("字字字字字字字"));
  }

  void fontFlags_data() {
    QTest::addColumn<int>("given");
    QTest::addColumn<qintptr>("dcIn");
    QTest::addColumn<int>("color");
    QTest::addColumn<int>("minSize");
    QTest::addColumn<int>("maxSize");
    QTest::addColumn<int>("handed");
    QTest::addColumn<qintptr>("dcHanded");
    QTest::newRow("screen fonts") << 0 << qintptr(-1) << 0 << 0 << 0 << (0x1 | 0x40) << qintptr(0);
    QTest::newRow("printer fonts asked") << 0x2 << qintptr(-1) << 0 << 0 << 0 << (0x2 | 0x40) << qintptr(0x5150);
    QTest::newRow("device context given") << 0 << qintptr(0x99) << 0 << 0 << 0 << (0x2 | 0x40) << qintptr(0x99);
    QTest::newRow("colour: effects") << 0 << qintptr(-1) << 0xFF << 0 << 0 << (0x1 | 0x100 | 0x40) << qintptr(0);
    QTest::newRow("smallest size") << 0 << qintptr(-1) << 0 << 8 << 0 << (0x1 | 0x2000 | 0x40) << qintptr(0);
    QTest::newRow("largest size") << 0 << qintptr(-1) << 0 << 0 << 72 << (0x1 | 0x2000 | 0x40) << qintptr(0);
    QTest::newRow("apply, template, hook out") << (0x200 | 0x10 | 0x8 | 0x4) << qintptr(-1) << 0 << 0 << 0
                                               << (0x4 | 0x1 | 0x40) << qintptr(0);
  }
  void fontFlags() {
    QFETCH(int, given);
    QFETCH(qintptr, dcIn);
    QFETCH(int, color);
    QFETCH(int, minSize);
    QFETCH(int, maxSize);
    QFETCH(int, handed);
    QFETCH(qintptr, dcHanded);
    FakeCommonDialogs port;
    GCommonDialog d(port);
    QFont font;
    font.setPointSize(10);
    Handle dc = dcIn;
    int32_t c = color, flags = given;
    QVERIFY(d.VBChooseFont(font, dc, 0, c, minSize, maxSize, flags));
    const ChooseFont& r = port.fonts.at(0);
    QCOMPARE(int(r.flags), handed);
    QCOMPARE(r.dc, dcHanded);
    QCOMPARE(dc, dcHanded);
    QCOMPARE(int(r.colors), color);
    QCOMPARE(r.sizeMin, minSize);
    QCOMPARE(r.sizeMax, maxSize);
  }

  void fontComesBack() {
    FakeCommonDialogs port;
    port.answerFont = [](ChooseFont& r) {
      r.logFont->weight = 700;
      r.logFont->italic = 1;
      r.logFont->underline = 1;
      r.logFont->strikeOut = 0;
      setFixedText(r.logFont->faceName, "Mono");
      r.pointSize = 145;
      r.fontType = 0x100;
      r.flags = 0x141;
      r.colors = 0x0000FF;
    };
    GCommonDialog d(port);
    QFont font("Serif");
    font.setPointSize(10);
    font.setStrikeOut(true);
    Handle dc = -1;
    int32_t color = 0, flags = 0;
    QVERIFY(d.VBChooseFont(font, dc, 0, color, 0, 0, flags));
    QVERIFY(font.bold());
    QCOMPARE(font.weight(), QFont::Bold);
    QVERIFY(font.italic());
    QVERIFY(font.underline());
    QVERIFY(!font.strikeOut());
    QCOMPARE(font.pointSizeF(), 14.5);
    QCOMPARE(font.family(), QString("Mono"));
    QCOMPARE(flags, 0x141);
    QCOMPARE(color, 0x0000FF);

    // Cancelled: the font, flags and colour stay.
    port.result = 0;
    flags = 0x1234;
    QVERIFY(!d.VBChooseFont(font, dc, 0, color, 0, 0, flags));
    QCOMPARE(font.family(), QString("Mono"));
    QCOMPARE(flags, 0x1234);
    QCOMPARE(color, 0x0000FF);
  }

  void printFlags_data() {
    QTest::addColumn<int>("given");
    QTest::addColumn<int>("range");
    QTest::addColumn<int>("options");  // 1 no page numbers, 2 no selection, 4 show print to file,
                                       // 8 disable print to file, 16 print to file, 32 collate, 64 no warning
    QTest::addColumn<int>("handed");
    const int always = 0x100 | 0x40000;
    QTest::newRow("nothing") << 0 << 0 << 0 << (always | 0x100000);
    QTest::newRow("show print to file") << 0 << 0 << 4 << always;
    QTest::newRow("every option") << 0 << 0 << 127 << (always | 0x8 | 0x4 | 0x80000 | 0x20 | 0x10 | 0x80);
    QTest::newRow("pages") << 0 << 1 << 4 << (always | 0x2);
    QTest::newRow("selection") << 0 << 2 << 4 << (always | 0x1);
    QTest::newRow("hooks and templates out") << (0x1000 | 0x2000 | 0x4000 | 0x8000 | 0x200000) << 0 << 4
                                             << (always | 0x200000);
  }
  void printFlags() {
    QFETCH(int, given);
    QFETCH(int, range);
    QFETCH(int, options);
    QFETCH(int, handed);
    FakeCommonDialogs port;
    GCommonDialog d(port);
    Handle hdc = 0;
    int32_t r = range, from = 3, to = 9, copies = 0;
    bool toFile = options & 16, collate = options & 32;
    d.VBPrintDlg(hdc, r, options & 1, from, to, options & 2, copies, options & 4, options & 8, toFile, collate,
                 options & 64, 0, nullptr, given);
    const PrintDlg& rec = port.prints.at(0);
    QCOMPARE(int(rec.flags), handed);
    QCOMPARE(int(rec.fromPage), 3);
    QCOMPARE(int(rec.toPage), 9);
    QCOMPARE(int(rec.minPage), 1);
    QCOMPARE(int(rec.maxPage), 65535);
  }

  void printOutputs_data() {
    QTest::addColumn<int>("returned");  // flags the dialog gives back
    QTest::addColumn<int>("recordCopies");
    QTest::addColumn<int>("dmCopies");
    QTest::addColumn<int>("dmCollate");
    QTest::addColumn<int>("range");
    QTest::addColumn<bool>("toFile");
    QTest::addColumn<bool>("collate");
    QTest::addColumn<int>("copies");
    QTest::newRow("all, device mode collates") << 0 << 1 << 3 << 1 << 0 << false << true << 3;
    QTest::newRow("all, device mode does not") << 0 << 1 << 2 << 0 << 0 << false << false << 2;
    QTest::newRow("pages") << 0x2 << 1 << 1 << 0 << 1 << false << false << 1;
    QTest::newRow("selection") << 0x1 << 1 << 1 << 0 << 2 << false << false << 1;
    QTest::newRow("pages win over selection") << 0x3 << 1 << 1 << 0 << 1 << false << false << 1;
    QTest::newRow("collate flag: record copies") << (0x10 | 0x20) << 5 << 2 << 0 << 0 << true << true << 5;
  }
  void printOutputs() {
    QFETCH(int, returned);
    QFETCH(int, recordCopies);
    QFETCH(int, dmCopies);
    QFETCH(int, dmCollate);
    QFETCH(int, range);
    QFETCH(bool, toFile);
    QFETCH(bool, collate);
    QFETCH(int, copies);
    FakeCommonDialogs port;
    port.answerPrint = [&](PrintDlg& r) {
      r.flags = uint32_t(returned);
      r.copies = uint16_t(recordCopies);
      r.devMode = devMode(int16_t(dmCopies), int16_t(dmCollate));
      r.dc = 0xDC;
      r.fromPage = 2;
      r.toPage = 4;
    };
    GCommonDialog d(port);
    Printer printer;
    Handle hdc = 0;
    int32_t r = 0, from = 1, to = 1, c = 0;
    bool f = true, col = !collate;
    QVERIFY(d.VBPrintDlg(hdc, r, false, from, to, false, c, true, false, f, col, false, 0, &printer, 0));
    QCOMPARE(hdc, Handle(0xDC));
    QCOMPARE(r, range);
    QCOMPARE(from, 2);
    QCOMPARE(to, 4);
    QCOMPARE(f, toFile);
    QCOMPARE(col, collate);
    QCOMPARE(c, copies);
    QCOMPARE(printer.copies, copies);
    QCOMPARE(printer.orientation, 2);
    QCOMPARE(printer.paper(), -1);  // read only: skipped, and the missing PrintQuality too
  }

  void printCancelled() {
    FakeCommonDialogs port;
    port.result = 0;
    port.error = 0x1008;
    GCommonDialog d(port);
    Printer printer;
    Handle hdc = 0x11;
    int32_t r = 1, from = 3, to = 5, c = 7;
    bool f = true, col = true;
    QVERIFY(!d.VBPrintDlg(hdc, r, false, from, to, false, c, true, false, f, col, false, 0, &printer, 0));
    QCOMPARE(d.ExtendedError(), 0x1008);
    QCOMPARE(hdc, Handle(0x11));
    QCOMPARE(r, 1);
    QCOMPARE(from, 3);
    QCOMPARE(to, 5);
    QCOMPARE(c, 7);
    QCOMPARE(printer.copies, -1);
  }

  void pageSetupFlagsAndMargins_data() {
    QTest::addColumn<int>("units");
    QTest::addColumn<int>("disable");  // 1 margins, 2 orientation, 4 paper, 8 printer
    QTest::addColumn<int>("handed");
    QTest::addColumn<int>("leftHanded");  // left margin 1.25, smallest 0.0625
    QTest::addColumn<int>("minLeftHanded");
    QTest::newRow("inches") << 0 << 0 << 0x4 << 1250 << 62;  // 62.5 to even
    QTest::newRow("millimetres") << 1 << 0 << 0x8 << 125 << 6;
    QTest::newRow("other units are millimetres") << 7 << 15 << (0x8 | 0x10 | 0x100 | 0x200 | 0x20) << 125 << 6;
  }
  void pageSetupFlagsAndMargins() {
    QFETCH(int, units);
    QFETCH(int, disable);
    QFETCH(int, handed);
    QFETCH(int, leftHanded);
    QFETCH(int, minLeftHanded);
    FakeCommonDialogs port;
    port.result = 0;
    GCommonDialog d(port);
    float left = 1.25f, minLeft = 0.0625f, right = 2, minRight = 0, top = 0.5f, minTop = 0, bottom = 0, minBottom = 0;
    int32_t paper = 1, orient = 1, quality = 1;
    QVERIFY(!d.VBPageSetupDlg2(0, disable & 1, disable & 2, disable & 4, disable & 8, left, minLeft, right, minRight,
                               top, minTop, bottom, minBottom, paper, orient, quality, units, nullptr, 0xFFFF));
    const PageSetupDlg& r = port.pageSetups.at(0);
    QCOMPARE(int(r.flags), handed);
    QCOMPARE(r.margin.left, leftHanded);
    QCOMPARE(r.minMargin.left, minLeftHanded);
    QCOMPARE(r.margin.right, units == 0 ? 2000 : 200);
    QCOMPARE(r.margin.top, units == 0 ? 500 : 50);
    // Cancelled: nothing written back.
    QCOMPARE(left, 1.25f);
    QCOMPARE(paper, 1);
  }

  void pageSetupComesBack() {
    FakeCommonDialogs port;
    port.answerPage = [](PageSetupDlg& r) {
      r.margin = {2540, 1000, 1270, 500};
      r.minMargin = {250, 250, 250, 350};
      r.devMode = devMode(4, 0, 2, 9, 300);
    };
    GCommonDialog d(port);
    Printer printer;
    float m[8] = {9, 9, 9, 9, 9, 9, 9, 9};
    int32_t paper = 0, orient = 0, quality = 0;
    QVERIFY(d.VBPageSetupDlg2(0, false, false, false, false, m[0], m[1], m[2], m[3], m[4], m[5], m[6], m[7], paper,
                              orient, quality, 1, &printer, 0));
    const float want[8] = {25.4f, 2.5f, 12.7f, 2.5f, 10.0f, 2.5f, 5.0f, 3.5f};
    for (int i = 0; i < 8; ++i) QCOMPARE(m[i], want[i]);
    QCOMPARE(paper, 9);
    QCOMPARE(orient, 2);
    QCOMPARE(quality, 300);
    QCOMPARE(printer.copies, 4);
    QCOMPARE(printer.orientation, 2);
    QCOMPARE(d.APIReturn(), 0);
    QCOMPARE(d.ExtendedError(), 0);

    // A failed page setup leaves the last return and error at 0 as well.
    port.result = 0;
    port.error = 0xFFFF;
    QVERIFY(!d.VBPageSetupDlg2(0, false, false, false, false, m[0], m[1], m[2], m[3], m[4], m[5], m[6], m[7], paper,
                               orient, quality, 1, &printer, 0));
    QCOMPARE(d.ExtendedError(), 0);
  }

  void wholeNumberPageSetup_data() {
    QTest::addColumn<int>("result");
    QTest::newRow("confirmed") << 1;
    QTest::newRow("cancelled") << 0;
  }
  void wholeNumberPageSetup() {
    QFETCH(int, result);
    FakeCommonDialogs port;
    port.result = result;
    port.answerPage = [](PageSetupDlg& r) {
      r.margin = {2540, 250, 1270, 350};  // mm: 25.4, 2.5, 12.7, 3.5
      r.minMargin = {50, 150, 0, 0};
      r.devMode = devMode(1, 0, 1, 8, 600);
    };
    GCommonDialog d(port);
    int32_t left = 5, minLeft = 5, right = 5, minRight = 5, top = 5, minTop = 5, bottom = 5, minBottom = 5;
    int32_t paper = 0, orient = 0, quality = 0;
    const bool ok = d.VBPageSetupDlg(0, false, false, false, false, left, minLeft, right, minRight, top, minTop,
                                     bottom, minBottom, paper, orient, quality, 1, nullptr, 0);
    QCOMPARE(ok, result != 0);
    // The dialog starts from its own margins: the whole-number ones are not handed in.
    QCOMPARE(port.pageSetups.at(0).margin.left, 0);
    if (ok) {
      const QList<int32_t> got{left, top, right, bottom, minLeft, minTop, minRight, minBottom};
      QCOMPARE(got, (QList<int32_t>{25, 2, 13, 4, 0, 2, 0, 0}));  // halves to even
      QCOMPARE(paper, 8);
    } else {
      QCOMPARE(left, 5);
      QCOMPARE(minBottom, 5);
      QCOMPARE(paper, 0);
    }
  }

  void hookWithoutSink() {
    FakeCommonDialogs port;
    GCommonDialog d(port);
    NotifyHeader h{0, 0, -606};
    for (uint32_t msg : {272u, 130u, 78u, 0u}) {
      Handle dlg = 5;
      QVERIFY(!d.DialogHook(dlg, msg, 0, qintptr(&h)).isValid());
    }
    QVERIFY(port.messageResults.isEmpty());
  }

  void hookNotifications_data() {
    QTest::addColumn<int>("msg");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("called");
    QTest::addColumn<bool>("gives");  // the sink's value comes back
    QTest::newRow("init") << 272 << 0 << "InitDialog:5" << true;
    QTest::newRow("destroy") << 130 << 0 << "DialogClose" << false;
    QTest::newRow("selection") << 78 << -602 << "FileChange:5" << true;
    QTest::newRow("folder") << 78 << -603 << "FolderChange:5" << true;
    QTest::newRow("type") << 78 << -607 << "TypeChange:5" << true;
    QTest::newRow("other notification") << 78 << -601 << "" << false;
    QTest::newRow("other message") << 273 << 0 << "" << false;
  }
  void hookNotifications() {
    QFETCH(int, msg);
    QFETCH(int, code);
    QFETCH(QString, called);
    QFETCH(bool, gives);
    FakeCommonDialogs port;
    HookedDialog d(port);
    Sink sink;
    d.setSink(&sink);
    NotifyHeader h{5, 1, code};
    Handle dlg = 5;
    const QVariant v = d.DialogHook(dlg, uint32_t(msg), 0, qintptr(&h));
    QCOMPARE(sink.log, called.isEmpty() ? QStringList() : QStringList{called});
    if (gives) {
      QCOMPARE(v, QVariant(42));
      QCOMPARE(dlg, Handle(6));  // written back through the reference
    } else {
      QVERIFY(!v.isValid());
    }
  }

  void hookConfirmOK() {
    FakeCommonDialogs port;
    HookedDialog d(port);
    Sink sink;
    d.setSink(&sink);
    NotifyHeader h{5, 1, -606};
    Handle dlg = 5;
    sink.confirm = false;
    QCOMPARE(d.DialogHook(dlg, 78, 0, qintptr(&h)), QVariant(int32_t(1)));
    sink.confirm = true;
    QVERIFY(!d.DialogHook(dlg, 78, 0, qintptr(&h)).isValid());
    QCOMPARE(port.messageResults, (QList<QPair<Handle, int32_t>>{{5, 1}, {5, 0}}));
    QCOMPARE(sink.log, (QStringList{"ConfirmOK", "ConfirmOK"}));

    // A sink without the members is not called and refuses nothing; a notification without its
    // header is ignored.
    MuteSink mute;
    d.setSink(&mute);
    QVERIFY(!d.DialogHook(dlg, 78, 0, qintptr(&h)).isValid());
    QVERIFY(!d.DialogHook(dlg, 272, 0, 0).isValid());
    QVERIFY(!d.DialogHook(dlg, 78, 0, 0).isValid());
    QCOMPARE(port.messageResults.size(), 3);
    QCOMPARE(port.messageResults.last().second, 0);
  }

  void sinkClearedAfterEveryDialog() {
    FakeCommonDialogs port;
    HookedDialog d(port);
    Sink sink;
    NotifyHeader h{0, 0, -602};
    const std::function<void()> dialogs[] = {
        [&] { Open a; open(d, a); },
        [&] { int32_t c = 0; d.VBChooseColor(c, true, false, false, 0, 0); },
        [&] { QFont f; Handle dc = -1; int32_t c = 0, fl = 0; d.VBChooseFont(f, dc, 0, c, 0, 0, fl); },
        [&] {
          Handle dc = 0; int32_t r = 0, a = 0, b = 0, c = 0; bool x = false, y = false;
          d.VBPrintDlg(dc, r, false, a, b, false, c, false, false, x, y, false, 0, nullptr, 0);
        },
        [&] {
          int32_t m[8] = {}, p = 0, o = 0, q = 0;
          d.VBPageSetupDlg(0, false, false, false, false, m[0], m[1], m[2], m[3], m[4], m[5], m[6], m[7], p, o, q, 0,
                           nullptr, 0);
        },
    };
    for (int result : {1, 0}) {
      port.result = result;
      for (const auto& run : dialogs) {
        d.setSink(&sink);
        run();
        Handle dlg = 1;
        QVERIFY(!d.DialogHook(dlg, 78, 0, qintptr(&h)).isValid());
      }
    }
    QVERIFY(sink.log.isEmpty());
  }
};

QTEST_MAIN(tst_GCommonDialog)
#include "tst_GCommonDialog.moc"
