#include "GCommonDialog.h"

#include "Twips.h"
#include "VbMath.h"

#include <QFontInfo>
#include <QMetaMethod>
#include <QMetaProperty>
#include <QObject>

#include <algorithm>

using namespace CommonDialogs;

namespace {
constexpr int MaxPath = 260;

constexpr int WmInitDialog = 272;
constexpr int WmNcDestroy = 130;
constexpr int WmNotify = 78;
constexpr int CdnSelChange = -602;
constexpr int CdnFolderChange = -603;
constexpr int CdnFileOk = -606;
constexpr int CdnTypeChange = -607;

// The filter text as the file dialogs take it: "|" and ":" separate, two NULs end it.
QString convertFilter(const QString& filter) {
  // The text is walked with a 16-bit counter, which cannot reach past 32,767.
  if (filter.size() > 32767) throw GCommonDialogError(GCommonDialogError::Overflow, "Overflow");
  QString out = filter;
  for (int16_t i = 0; i < int16_t(out.size()); ++i)
    if (out[i] == QLatin1Char('|') || out[i] == QLatin1Char(':')) out[i] = QChar(0);
  out += QChar(0);
  out += QChar(0);
  return out;
}

// The entry numbered `index` (from 1) of a converted filter: description, NUL, pattern.
QString filterEntry(const QString& converted, int32_t index) {
  const QStringList pieces = converted.split(QChar(0));
  if (index < 1) return QString();
  const qsizetype at = 2 * qsizetype(index - 1);
  if (at >= pieces.size() || pieces[at].isEmpty()) return QString();
  return pieces[at] + QChar(0) + pieces.value(at + 1);
}

// A text buffer of `size` characters: the text, then NULs. A longer text is refused.
QString buffer(const QString& text, int size) {
  if (text.size() > size) throw GCommonDialogError(GCommonDialogError::InvalidCall, "Invalid procedure call or argument");
  return text + QString(size - text.size(), QChar(0));
}

QString beforeNul(const QString& s) {
  const qsizetype n = s.indexOf(QChar(0));
  return n < 0 ? s : s.left(n);
}

Handle ownerOrNone(Handle owner) { return owner == -1 ? 0 : owner; }

// The record both file dialogs start from: buffers of the path limit, the converted filter.
OpenFileName fileRecord(const QString& fileName, const QString& fileTitle, const QString& filter,
                        int32_t filterIndex, const QString& initDir, const QString& dlgTitle,
                        const QString& defaultExt, Handle owner) {
  OpenFileName r;
  r.owner = ownerOrNone(owner);
  r.filter = convertFilter(filter);
  r.file = buffer(fileName, MaxPath);
  r.maxFile = MaxPath;
  r.fileTitle = buffer(fileTitle, MaxPath);
  r.maxFileTitle = MaxPath;
  r.initialDir = initDir;
  r.title = dlgTitle;
  r.defExt = defaultExt;
  r.filterIndex = filterIndex;
  return r;
}

// What a file dialog hands back on success.
void readBack(const OpenFileName& r, QString& fileName, QString& fileTitle, QString& filter,
              int32_t& filterIndex, int32_t& flags) {
  fileName = beforeNul(r.file);
  fileTitle = beforeNul(r.fileTitle);
  flags = int32_t(r.flags);
  filterIndex = r.filterIndex;
  filter = filterEntry(r.filter, r.filterIndex);
}

uint16_t toWord(int32_t v) { return uint16_t(std::clamp<int32_t>(v, 0, 65535)); }

// Sets a member of a late-bound object by name; a member it does not have, or that refuses the
// value, is skipped.
void setByName(QObject* o, const char* name, const QVariant& value) {
  const QMetaObject* mo = o->metaObject();
  const int i = mo->indexOfProperty(name);
  if (i >= 0) {
    const QMetaProperty p = mo->property(i);
    if (p.isWritable()) p.write(o, value);
    return;
  }
  if (o->dynamicPropertyNames().contains(name)) o->setProperty(name, value);
}

void applyToPrinter(QObject* printer, int copies, const DevMode& dm) {
  if (!printer) return;
  setByName(printer, "Copies", copies);
  setByName(printer, "Orientation", int(dm.orientation));
  setByName(printer, "PaperSize", int(dm.paperSize));
  setByName(printer, "PrintQuality", int(dm.printQuality));
}

// Whether a member's one argument is a dialog handle, by value or by reference.
bool takesHandle(const QMetaMethod& m) {
  QByteArray type = m.parameterTypes().value(0);
  if (type.endsWith('&')) type.chop(1);
  return type == "qintptr" || QMetaType::fromName(type) == QMetaType::fromType<Handle>();
}

// Calls a member of a late-bound object by name, with the dialog handle by reference when it
// takes an argument. `found` tells whether the object has such a member.
QVariant callByName(QObject* o, const char* name, Handle* hDlg, bool* found = nullptr) {
  if (found) *found = false;
  const QMetaObject* mo = o->metaObject();
  for (int i = mo->methodCount() - 1; i >= 0; --i) {
    const QMetaMethod m = mo->method(i);
    if (m.name() != name) continue;
    if (m.methodType() != QMetaMethod::Method && m.methodType() != QMetaMethod::Slot) continue;
    const int n = m.parameterCount();
    if (n > 1 || (n == 1 && (!hDlg || !takesHandle(m)))) continue;
    QVariant ret;
    QGenericReturnArgument retArg;
    if (m.returnMetaType() == QMetaType::fromType<QVariant>()) {
      retArg = QGenericReturnArgument(m.typeName(), &ret);
    } else if (m.returnMetaType().id() != QMetaType::Void) {
      ret = QVariant(m.returnMetaType());
      retArg = QGenericReturnArgument(m.typeName(), ret.data());
    }
    const bool ok = n == 1 ? m.invoke(o, Qt::DirectConnection, retArg, QGenericArgument("Handle&", hDlg))
                           : m.invoke(o, Qt::DirectConnection, retArg);
    if (!ok) return QVariant();
    if (found) *found = true;
    return ret;
  }
  return QVariant();
}
}  // namespace

GCommonDialog::GCommonDialog(Port& port) : port(port) {}

QVariant GCommonDialog::DialogHook(Handle& hDlg, uint32_t msg, qintptr, qintptr lParam) {
  QObject* sink = eventSink.data();
  if (!sink) return QVariant();
  switch (msg) {
    case WmInitDialog: return callByName(sink, "InitDialog", &hDlg);
    case WmNcDestroy: callByName(sink, "DialogClose", nullptr); return QVariant();
    case WmNotify: {
      if (!lParam) return QVariant();
      const auto* header = reinterpret_cast<const NotifyHeader*>(lParam);
      switch (header->code) {
        case CdnSelChange: return callByName(sink, "FileChange", &hDlg);
        case CdnFolderChange: return callByName(sink, "FolderChange", &hDlg);
        case CdnTypeChange: return callByName(sink, "TypeChange", &hDlg);
        case CdnFileOk: {
          bool found = false;
          const QVariant answer = callByName(sink, "ConfirmOK", nullptr, &found);
          // Only a sink that answers, and answers False, refuses the OK.
          if (found && !answer.toBool()) {
            port.setMessageResult(hDlg, 1);
            return QVariant(int32_t(1));
          }
          port.setMessageResult(hDlg, 0);
          return QVariant();
        }
        default: return QVariant();
      }
    }
    default: return QVariant();
  }
}

bool GCommonDialog::finish(int32_t value) {
  lastReturn = value;
  eventSink = nullptr;
  if (value != 0) return true;
  lastError = int32_t(port.extendedError());
  return false;
}

bool GCommonDialog::VBGetOpenFileName(QString& fileName, QString& fileTitle, bool fileMustExist, bool multiSelect,
                                      bool& readOnly, bool hideReadOnly, QString& filter, int32_t& filterIndex,
                                      const QString& initDir, const QString& dlgTitle, const QString& defaultExt,
                                      Handle owner, int32_t& flags, const QVariant&, const QVariant&) {
  lastReturn = 0;
  lastError = 0;
  OpenFileName r = fileRecord(fileName, fileTitle, filter, filterIndex, initDir, dlgTitle, defaultExt, owner);
  uint32_t f = uint32_t(flags) & ~uint32_t(Ofn::EnableHook | Ofn::EnableTemplate);
  if (fileMustExist) f |= Ofn::FileMustExist;
  if (multiSelect) f |= Ofn::AllowMultiSelect;
  if (readOnly) f |= Ofn::ReadOnly;
  if (hideReadOnly) f |= Ofn::HideReadOnly;
  r.flags = f;

  if (finish(port.getOpenFileName(r))) {
    readBack(r, fileName, fileTitle, filter, filterIndex, flags);
    if (r.flags & Ofn::ReadOnly) readOnly = true;
    return true;
  }
  fileName.clear();
  fileTitle.clear();
  filter.clear();
  flags = 0;
  filterIndex = -1;
  return false;
}

bool GCommonDialog::VBGetSaveFileName(QString& fileName, QString& fileTitle, bool overwritePrompt, QString& filter,
                                      int32_t& filterIndex, const QString& initDir, const QString& dlgTitle,
                                      const QString& defaultExt, Handle owner, int32_t& flags, const QVariant&,
                                      const QVariant&) {
  lastReturn = 0;
  lastError = 0;
  OpenFileName r = fileRecord(fileName, fileTitle, filter, filterIndex, initDir, dlgTitle, defaultExt, owner);
  uint32_t f = uint32_t(flags) & ~uint32_t(Ofn::EnableHook | Ofn::EnableTemplate);
  if (overwritePrompt) f |= Ofn::OverwritePrompt;
  f |= Ofn::HideReadOnly;
  r.flags = f;

  if (finish(port.getSaveFileName(r))) {
    readBack(r, fileName, fileTitle, filter, filterIndex, flags);
    return true;
  }
  fileName.clear();
  fileTitle.clear();
  filter.clear();
  flags = 0;
  filterIndex = 0;
  return false;
}

QString GCommonDialog::VBGetFileTitle(const QString& fileName) {
  QString title(MaxPath, QChar(0));
  if (port.getFileTitle(fileName, title, MaxPath) == 0) return beforeNul(title);
  return QString();
}

void GCommonDialog::fillCustomColors() {
  if (colorsFilled) return;
  for (int i = 0; i < 16; ++i) customColors[i] = port.systemColor(i);
  colorsFilled = true;
}

bool GCommonDialog::VBChooseColor(int32_t& color, bool anyColor, bool fullOpen, bool disableFullOpen, Handle owner,
                                  int32_t, const QVariant&, const QVariant&) {
  lastReturn = 0;
  lastError = 0;
  fillCustomColors();
  ChooseColor r;
  r.owner = ownerOrNone(owner);
  r.result = uint32_t(color);
  r.customColors = &customColors;
  uint32_t f = anyColor ? Cc::AnyColor : Cc::SolidColor;
  f |= Cc::RgbInit;
  if (fullOpen) f |= Cc::FullOpen;
  if (disableFullOpen) f |= Cc::PreventFullOpen;
  r.flags = f;

  if (finish(port.chooseColor(r))) {
    color = int32_t(r.result);
    return true;
  }
  color = -1;
  return false;
}

int32_t GCommonDialog::CustomColor(int index) {
  fillCustomColors();
  if (index < 0 || index > 15) return -1;
  return int32_t(customColors[index]);
}

void GCommonDialog::CustomColor(int index, int32_t color) {
  fillCustomColors();
  if (index < 0 || index > 15) return;
  customColors[index] = uint32_t(color);
}

bool GCommonDialog::VBChooseFont(QFont& font, Handle& printerDC, Handle owner, int32_t& color, int32_t minSize,
                                 int32_t maxSize, int32_t& flags, const QVariant&, const QVariant&) {
  lastReturn = 0;
  lastError = 0;
  uint32_t f = uint32_t(flags);
  if (printerDC == -1) {
    printerDC = 0;
    if (f & Cf::PrinterFonts) printerDC = port.printerDC();
  } else if (printerDC != 0) {
    f |= Cf::PrinterFonts;
  }
  if (!(f & Cf::PrinterFonts)) f |= Cf::ScreenFonts;
  if (color != 0) f |= Cf::Effects;
  if (minSize != 0 || maxSize != 0) f |= Cf::LimitSize;
  f &= ~uint32_t(Cf::Apply | Cf::EnableTemplate | Cf::EnableHook);
  f |= Cf::InitToLogFontStruct;

  // A font given by its pixel size has no point size of its own; take the one it shows at.
  const double size = font.pointSizeF() > 0 ? font.pointSizeF() : QFontInfo(font).pointSizeF();
  LogFont lf;
  lf.height = int32_t(-VbMath::roundEven(size * 20.0 / Twips::perPixelY()));
  lf.weight = font.weight();
  lf.italic = font.italic() ? 1 : 0;
  lf.underline = font.underline() ? 1 : 0;
  lf.strikeOut = font.strikeOut() ? 1 : 0;
  setFixedText(lf.faceName, font.family());

  ChooseFont r;
  r.owner = ownerOrNone(owner);
  r.dc = printerDC;
  r.logFont = &lf;
  r.pointSize = int32_t(VbMath::roundEven(size * 10.0));
  r.flags = f;
  r.colors = uint32_t(color);
  r.sizeMin = minSize;
  r.sizeMax = maxSize;

  if (!finish(port.chooseFont(r))) return false;
  flags = int32_t(r.flags);
  color = int32_t(r.colors);
  font.setBold((r.fontType & Cf::BoldFontType) != 0);
  font.setItalic(lf.italic != 0);
  font.setStrikeOut(lf.strikeOut != 0);
  font.setUnderline(lf.underline != 0);
  if (lf.weight >= 1 && lf.weight <= 1000) font.setWeight(QFont::Weight(lf.weight));
  if (r.pointSize > 0) font.setPointSizeF(r.pointSize / 10.0);
  font.setFamily(fixedText(lf.faceName));
  return true;
}

bool GCommonDialog::VBPrintDlg(Handle& hDC, int32_t& printRange, bool disablePageNumbers, int32_t& fromPage,
                               int32_t& toPage, bool disableSelection, int32_t& copies, bool showPrintToFile,
                               bool disablePrintToFile, bool& printToFile, bool& collate, bool noWarning,
                               Handle owner, QObject* printer, int32_t flags, const QVariant&, const QVariant&) {
  lastReturn = 0;
  lastError = 0;
  uint32_t f = uint32_t(flags);
  if (disablePageNumbers) f |= Pd::NoPageNums;
  if (disablePrintToFile) f |= Pd::DisablePrintToFile;
  if (disableSelection) f |= Pd::NoSelection;
  if (printToFile) f |= Pd::PrintToFile;
  if (noWarning) f |= Pd::NoWarning;
  if (collate) f |= Pd::Collate;
  if (!showPrintToFile) f |= Pd::HidePrintToFile;
  f |= Pd::ReturnDC | Pd::UseDevModeCopiesAndCollate;
  if (printRange == 1) f |= Pd::PageNums;
  else if (printRange == 2) f |= Pd::Selection;
  f &= ~uint32_t(Pd::EnablePrintHook | Pd::EnableSetupHook | Pd::EnablePrintTemplate | Pd::EnableSetupTemplate);

  PrintDlg r;
  r.owner = owner;
  r.flags = f;
  r.fromPage = toWord(fromPage);
  r.toPage = toWord(toPage);
  r.minPage = 1;
  r.maxPage = 65535;

  if (!finish(port.printDlg(r))) return false;
  hDC = r.dc;
  printRange = (r.flags & Pd::PageNums) ? 1 : (r.flags & Pd::Selection) ? 2 : 0;
  fromPage = r.fromPage;
  toPage = r.toPage;
  printToFile = (r.flags & Pd::PrintToFile) != 0;
  if (r.devMode) printerSettings = *r.devMode;
  if (r.flags & Pd::Collate) {
    collate = true;
    copies = r.copies;
  } else {
    collate = printerSettings.collate == 1;
    copies = printerSettings.copies;
  }
  applyToPrinter(printer, copies, printerSettings);
  return true;
}

bool GCommonDialog::VBPageSetupDlg2(Handle owner, bool disableMargins, bool disableOrientation, bool disablePaper,
                                    bool disablePrinter, float& left, float& minLeft, float& right, float& minRight,
                                    float& top, float& minTop, float& bottom, float& minBottom, int32_t& paperSize,
                                    int32_t& orientation, int32_t& printQuality, int32_t units, QObject* printer,
                                    int32_t, const QVariant&, const QVariant&) {
  lastReturn = 0;
  lastError = 0;
  uint32_t f = 0;
  if (disableMargins) f |= Psd::DisableMargins;
  if (disableOrientation) f |= Psd::DisableOrientation;
  if (disablePaper) f |= Psd::DisablePaper;
  if (disablePrinter) f |= Psd::DisablePrinter;
  int factor;
  if (units == 0) {
    f |= Psd::InThousandthsOfInches;
    factor = 1000;
  } else {
    f |= Psd::InHundredthsOfMillimeters;
    factor = 100;
  }
  auto scaled = [factor](float v) { return int32_t(VbMath::roundEven(double(v) * factor)); };
  PageSetupDlg r;
  r.owner = owner;
  r.flags = f;
  // Without the margin flags the dialog starts from its own margins: these only show what was asked.
  r.margin = {scaled(left), scaled(top), scaled(right), scaled(bottom)};
  r.minMargin = {scaled(minLeft), scaled(minTop), scaled(minRight), scaled(minBottom)};

  const int32_t value = port.pageSetupDlg(r);
  eventSink = nullptr;
  if (value == 0) return false;
  auto unscaled = [factor](int32_t v) { return float(double(v) / factor); };
  left = unscaled(r.margin.left);
  top = unscaled(r.margin.top);
  right = unscaled(r.margin.right);
  bottom = unscaled(r.margin.bottom);
  minLeft = unscaled(r.minMargin.left);
  minTop = unscaled(r.minMargin.top);
  minRight = unscaled(r.minMargin.right);
  minBottom = unscaled(r.minMargin.bottom);
  if (r.devMode) {
    const DevMode dm = *r.devMode;
    paperSize = dm.paperSize;
    orientation = dm.orientation;
    printQuality = dm.printQuality;
    applyToPrinter(printer, dm.copies, dm);
  }
  return true;
}

bool GCommonDialog::VBPageSetupDlg(Handle owner, bool disableMargins, bool disableOrientation, bool disablePaper,
                                   bool disablePrinter, int32_t& left, int32_t& minLeft, int32_t& right,
                                   int32_t& minRight, int32_t& top, int32_t& minTop, int32_t& bottom,
                                   int32_t& minBottom, int32_t& paperSize, int32_t& orientation,
                                   int32_t& printQuality, int32_t units, QObject* printer, int32_t flags,
                                   const QVariant&, const QVariant&) {
  float m[8] = {};
  const bool ok = VBPageSetupDlg2(owner, disableMargins, disableOrientation, disablePaper, disablePrinter, m[0], m[1],
                                  m[2], m[3], m[4], m[5], m[6], m[7], paperSize, orientation, printQuality, units,
                                  printer, flags);
  // A cancelled dialog returns no margins; the caller's stay as they were.
  if (ok) {
    int32_t* out[8] = {&left, &minLeft, &right, &minRight, &top, &minTop, &bottom, &minBottom};
    for (int i = 0; i < 8; ++i) *out[i] = int32_t(VbMath::roundEven(m[i]));
  }
  return ok;
}
