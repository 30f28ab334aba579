#include "CommonDialogs.h"

#include "Twips.h"

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QDir>
#include <QFileInfo>
#include <QFontInfo>
#include <QFontDialog>
#include <QPageLayout>
#include <QPageSetupDialog>
#include <QPageSize>
#include <QPalette>
#include <QPrintDialog>
#include <QPrinter>
#include <QWidget>

#include <cmath>
#include <memory>

namespace CommonDialogs {
namespace {

QWidget* ownerWidget(Handle owner) { return owner > 0 ? QWidget::find(WId(owner)) : nullptr; }

uint32_t colorRef(const QColor& c) { return uint32_t(c.red()) | uint32_t(c.green()) << 8 | uint32_t(c.blue()) << 16; }
QColor fromColorRef(uint32_t c) { return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF)); }

QString beforeNul(const QString& s) {
  const qsizetype n = s.indexOf(QChar(0));
  return n < 0 ? s : s.left(n);
}

// The dialog's filters as Qt writes them ("Description (*.a *.b)") from the NUL-separated pairs.
QStringList nameFilters(const QString& filter) {
  QStringList out;
  const QStringList pieces = filter.split(QChar(0));
  for (qsizetype i = 0; i + 1 < pieces.size() && !pieces[i].isEmpty(); i += 2) {
    QString patterns = pieces[i + 1];
    patterns.replace(';', ' ');
    out << pieces[i] + " (" + patterns.simplified() + ")";
  }
  return out;
}

// Puts `text` into a buffer of `max` characters; false when it does not fit with its NUL.
bool fill(QString& buffer, int32_t max, const QString& text) {
  if (text.size() + 1 > max) return false;
  buffer = text + QString(max - text.size(), QChar(0));
  return true;
}

class QtCommonDialogs : public Port {
public:
  int32_t getOpenFileName(OpenFileName& r) override { return fileDialog(r, false); }
  int32_t getSaveFileName(OpenFileName& r) override { return fileDialog(r, true); }

  int16_t getFileTitle(const QString& file, QString& buffer, uint16_t size) override {
    const QString title = QFileInfo(file).fileName();
    if (title.isEmpty()) return -1;
    if (title.size() + 1 > size) return int16_t(title.size() + 1);
    buffer.replace(0, title.size() + 1, title + QChar(0));
    return 0;
  }

  int32_t chooseColor(ChooseColor& r) override {
    error = 0;
    if (r.customColors)
      for (int i = 0; i < 16; ++i) QColorDialog::setCustomColor(i, fromColorRef((*r.customColors)[i]));
    QColorDialog dlg(ownerWidget(r.owner));
    if (r.flags & Cc::RgbInit) dlg.setCurrentColor(fromColorRef(r.result));
    const bool ok = dlg.exec() == QDialog::Accepted;
    // The custom colours the user changed are kept, chosen or not.
    if (r.customColors)
      for (int i = 0; i < 16; ++i) (*r.customColors)[i] = colorRef(QColorDialog::customColor(i));
    if (!ok) return 0;
    r.result = colorRef(dlg.selectedColor());
    return 1;
  }

  int32_t chooseFont(ChooseFont& r) override {
    error = 0;
    if (!r.logFont) return fail(Err::DialogFailure);
    LogFont& lf = *r.logFont;
    QFont initial;
    if (r.flags & Cf::InitToLogFontStruct) {
      initial.setFamily(fixedText(lf.faceName));
      if (r.pointSize > 0) initial.setPointSizeF(r.pointSize / 10.0);
      if (lf.weight >= 1 && lf.weight <= 1000) initial.setWeight(QFont::Weight(lf.weight));
      initial.setItalic(lf.italic != 0);
      initial.setUnderline(lf.underline != 0);
      initial.setStrikeOut(lf.strikeOut != 0);
    }
    QFontDialog dlg(initial, ownerWidget(r.owner));
    if (dlg.exec() != QDialog::Accepted) return 0;
    const QFont f = dlg.selectedFont();
    double points = f.pointSizeF() > 0 ? f.pointSizeF() : QFontInfo(f).pointSizeF();
    if (r.flags & Cf::LimitSize) {
      if (r.sizeMin > 0) points = std::max(points, double(r.sizeMin));
      if (r.sizeMax > 0) points = std::min(points, double(r.sizeMax));
    }
    lf.height = int32_t(-std::lround(points * 20.0 / Twips::perPixelY()));
    lf.weight = f.weight();
    lf.italic = f.italic() ? 1 : 0;
    lf.underline = f.underline() ? 1 : 0;
    lf.strikeOut = f.strikeOut() ? 1 : 0;
    setFixedText(lf.faceName, f.family());
    r.pointSize = int32_t(std::lround(points * 10.0));
    r.fontType = uint16_t((f.bold() ? Cf::BoldFontType : Cf::RegularFontType) |
                          (f.italic() ? Cf::ItalicFontType : 0) | Cf::ScreenFontType);
    return 1;
  }

  int32_t printDlg(PrintDlg& r) override {
    error = 0;
    QPrinter& p = currentPrinter();
    QPrintDialog dlg(&p, ownerWidget(r.owner));
    QAbstractPrintDialog::PrintDialogOptions options = QAbstractPrintDialog::PrintShowPageSize |
                                                       QAbstractPrintDialog::PrintCollateCopies;
    if (!(r.flags & Pd::NoPageNums)) options |= QAbstractPrintDialog::PrintPageRange;
    if (!(r.flags & Pd::NoSelection)) options |= QAbstractPrintDialog::PrintSelection;
    if (!(r.flags & (Pd::DisablePrintToFile | Pd::HidePrintToFile))) options |= QAbstractPrintDialog::PrintToFile;
    dlg.setOptions(options);
    dlg.setMinMax(std::max<int>(1, r.minPage), std::max<int>(r.minPage, r.maxPage));
    if (r.flags & Pd::PageNums) {
      p.setPrintRange(QPrinter::PageRange);
      p.setFromTo(std::max<int>(1, r.fromPage), std::max<int>(r.fromPage, r.toPage));
    } else {
      p.setPrintRange((r.flags & Pd::Selection) ? QPrinter::Selection : QPrinter::AllPages);
    }
    p.setCollateCopies(r.flags & Pd::Collate);
    if (dlg.exec() != QDialog::Accepted) return 0;

    uint32_t f = r.flags & ~uint32_t(Pd::PageNums | Pd::Selection | Pd::PrintToFile | Pd::Collate);
    if (p.printRange() == QPrinter::PageRange) f |= Pd::PageNums;
    else if (p.printRange() == QPrinter::Selection) f |= Pd::Selection;
    if (!p.outputFileName().isEmpty()) f |= Pd::PrintToFile;
    r.fromPage = uint16_t(std::clamp(p.fromPage(), 0, 65535));
    r.toPage = uint16_t(std::clamp(p.toPage(), 0, 65535));
    r.devMode = devMode(p);
    // Asked to, the dialog leaves copies and collate in the device mode alone.
    if (r.flags & Pd::UseDevModeCopiesAndCollate) {
      r.copies = 1;
    } else {
      r.copies = uint16_t(p.copyCount());
      if (p.collateCopies()) f |= Pd::Collate;
    }
    r.flags = f;
    if (r.flags & Pd::ReturnDC) r.dc = printerDC();
    return 1;
  }

  int32_t pageSetupDlg(PageSetupDlg& r) override {
    error = 0;
    QPrinter& p = currentPrinter();
    QPageSetupDialog dlg(&p, ownerWidget(r.owner));
    if (dlg.exec() != QDialog::Accepted) return 0;
    const bool inches = r.flags & Psd::InThousandthsOfInches;
    const QPageLayout::Unit unit = inches ? QPageLayout::Inch : QPageLayout::Millimeter;
    const double factor = inches ? 1000.0 : 100.0;
    auto len = [factor](double v) { return int32_t(std::lround(v * factor)); };
    const QPageLayout layout = p.pageLayout();
    const QMarginsF m = layout.margins(unit);
    const QMarginsF mm = layout.minimumMargins();  // in the layout's own unit
    const QMarginsF min = QPageLayout(layout.pageSize(), layout.orientation(), mm, layout.units())
                              .margins(unit);
    r.margin = {len(m.left()), len(m.top()), len(m.right()), len(m.bottom())};
    r.minMargin = {len(min.left()), len(min.top()), len(min.right()), len(min.bottom())};
    const QSizeF paper = layout.fullRect(unit).size();
    r.paperWidth = len(paper.width());
    r.paperHeight = len(paper.height());
    r.devMode = devMode(p);
    return 1;
  }

  uint32_t extendedError() override { return error; }

  uint32_t systemColor(int index) override {
    const QPalette pal = QApplication::palette();
    const auto c = [&](QPalette::ColorRole role, QPalette::ColorGroup g = QPalette::Active) {
      return colorRef(pal.color(g, role));
    };
    switch (index) {
      case 0: return c(QPalette::Button);                        // scroll bar
      case 1: return c(QPalette::Dark);                          // desktop
      case 2: return c(QPalette::Highlight);                     // active caption
      case 3: return c(QPalette::Highlight, QPalette::Inactive); // inactive caption
      case 4: return c(QPalette::Window);                        // menu
      case 5: return c(QPalette::Base);                          // window
      case 6: return c(QPalette::Shadow);                        // window frame
      case 7: return c(QPalette::WindowText);                    // menu text
      case 8: return c(QPalette::Text);                          // window text
      case 9: return c(QPalette::HighlightedText);               // caption text
      case 10: return c(QPalette::Button);                       // active border
      case 11: return c(QPalette::Button, QPalette::Inactive);   // inactive border
      case 12: return c(QPalette::Mid);                          // application workspace
      case 13: return c(QPalette::Highlight);                    // highlight
      case 14: return c(QPalette::HighlightedText);              // highlighted text
      case 15: return c(QPalette::Button);                       // button face
      default: return 0;
    }
  }

  // The device context is the current printer itself.
  Handle printerDC() override { return Handle(&currentPrinter()); }

  // Qt's dialogs call no hook, so there is no notification to answer.
  void setMessageResult(Handle, int32_t) override {}

private:
  int32_t fileDialog(OpenFileName& r, bool save) {
    error = 0;
    QFileDialog dlg(ownerWidget(r.owner), r.title);
    dlg.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    const bool multi = !save && (r.flags & Ofn::AllowMultiSelect);
    if (multi) dlg.setFileMode(QFileDialog::ExistingFiles);
    else if (!save && (r.flags & Ofn::FileMustExist)) dlg.setFileMode(QFileDialog::ExistingFile);
    else dlg.setFileMode(QFileDialog::AnyFile);
    if (save && !(r.flags & Ofn::OverwritePrompt)) dlg.setOption(QFileDialog::DontConfirmOverwrite);
    if (!r.initialDir.isEmpty()) dlg.setDirectory(r.initialDir);
    if (!r.defExt.isEmpty()) dlg.setDefaultSuffix(r.defExt);
    const QStringList filters = nameFilters(r.filter);
    if (!filters.isEmpty()) {
      dlg.setNameFilters(filters);
      const int index = r.filterIndex >= 1 && r.filterIndex <= filters.size() ? r.filterIndex : 1;
      dlg.selectNameFilter(filters[index - 1]);
    }
    const QString initial = beforeNul(r.file);
    if (!initial.isEmpty()) dlg.selectFile(initial);
    if (dlg.exec() != QDialog::Accepted) return 0;

    const QStringList files = dlg.selectedFiles();
    if (files.isEmpty()) return 0;
    QString text;
    const QChar nul(0);
    if (files.size() == 1) {
      text = QDir::toNativeSeparators(files.first());
    } else {
      // Several files: the folder, then the names, as the explorer-style or the old dialog writes them.
      const QString folder = QDir::toNativeSeparators(QFileInfo(files.first()).absolutePath());
      QStringList names;
      for (const QString& f : files) names << QFileInfo(f).fileName();
      text = (r.flags & Ofn::Explorer) ? folder + nul + names.join(nul) + nul : folder + ' ' + names.join(' ');
    }
    if (!fill(r.file, r.maxFile, text)) return fail(Err::BufferTooSmall);
    if (files.size() == 1) {
      const QFileInfo info(files.first());
      const qsizetype offset = text.size() - info.fileName().size();
      r.fileOffset = uint16_t(offset);
      const qsizetype dot = info.fileName().lastIndexOf('.');
      r.fileExtension = uint16_t(dot < 0 ? text.size() : offset + dot + 1);
      if (r.maxFileTitle > 0) fill(r.fileTitle, r.maxFileTitle, info.fileName());
    }
    if (!filters.isEmpty()) r.filterIndex = int32_t(filters.indexOf(dlg.selectedNameFilter()) + 1);
    return 1;
  }

  int32_t fail(uint32_t code) {
    error = code;
    return 0;
  }

  QPrinter& currentPrinter() {
    if (!printer) printer = std::make_unique<QPrinter>();
    return *printer;
  }

  static DevMode devMode(QPrinter& p) {
    DevMode dm;
    setFixedText(dm.deviceName, p.printerName());
    dm.size = uint16_t(sizeof(DevMode));
    dm.fields = Dm::Orientation | Dm::PaperSize | Dm::Copies | Dm::PrintQuality | Dm::Collate;
    const QPageLayout layout = p.pageLayout();
    dm.orientation = layout.orientation() == QPageLayout::Landscape ? 2 : 1;
    dm.paperSize = int16_t(layout.pageSize().windowsId());
    dm.copies = int16_t(std::clamp(p.copyCount(), 1, 32767));
    dm.printQuality = int16_t(std::clamp(p.resolution(), 0, 32767));
    dm.collate = p.collateCopies() ? 1 : 0;
    setFixedText(dm.formName, layout.pageSize().name());
    return dm;
  }

  uint32_t error = 0;
  std::unique_ptr<QPrinter> printer;
};

}  // namespace

Port& qtCommonDialogs() {
  // Lives as long as the process: its printer must not outlive the application object's teardown
  // in a static destructor.
  static QtCommonDialogs* dialogs = new QtCommonDialogs;
  return *dialogs;
}

}  // namespace CommonDialogs
