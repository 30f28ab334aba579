#pragma once
// Class `GCommonDialog`: the common dialogs behind one object. Each dialog is one call with plain
// in/out arguments and a Boolean result; the custom colours live in the object, and the printer
// settings the print dialogs return are applied to a printer object. No window of the client uses it.
#include "CommonDialogs.h"

#include <QFont>
#include <QPointer>
#include <QVariant>

#include <stdexcept>

class QObject;

// An error raised to the caller, with the number the classic runtime gives it.
class GCommonDialogError : public std::runtime_error {
public:
  enum { InvalidCall = 5, Overflow = 6 };
  GCommonDialogError(int number, const char* what) : std::runtime_error(what), number(number) {}
  int number;
};

class GCommonDialog {
public:
  using Handle = CommonDialogs::Handle;

  explicit GCommonDialog(CommonDialogs::Port& port = CommonDialogs::qtCommonDialogs());
  virtual ~GCommonDialog() = default;

  // The dialog notifications, handed to the event sink's members by name. Without a sink it
  // does nothing and gives an empty value. `lParam` of a notification (78) points to a
  // CommonDialogs::NotifyHeader.
  QVariant DialogHook(Handle& hDlg, uint32_t msg, qintptr wParam, qintptr lParam);

  int32_t APIReturn() const { return lastReturn; }
  int32_t ExtendedError() const { return lastError; }

  // Owner -1: no owner window. Throws GCommonDialogError for a file name or title over 260
  // characters or a filter over 32,767.
  bool VBGetOpenFileName(QString& fileName, QString& fileTitle, bool fileMustExist, bool multiSelect,
                         bool& readOnly, bool hideReadOnly, QString& filter, int32_t& filterIndex,
                         const QString& initDir, const QString& dlgTitle, const QString& defaultExt,
                         Handle owner, int32_t& flags, const QVariant& = {}, const QVariant& = {});
  bool VBGetSaveFileName(QString& fileName, QString& fileTitle, bool overwritePrompt, QString& filter,
                         int32_t& filterIndex, const QString& initDir, const QString& dlgTitle,
                         const QString& defaultExt, Handle owner, int32_t& flags, const QVariant& = {},
                         const QVariant& = {});
  QString VBGetFileTitle(const QString& fileName);

  // Colours are 0x00BBGGRR; -1 after a cancelled dialog.
  bool VBChooseColor(int32_t& color, bool anyColor, bool fullOpen, bool disableFullOpen, Handle owner,
                     int32_t flags, const QVariant& = {}, const QVariant& = {});
  // Index 0 to 15; reading another index gives -1, writing it does nothing.
  int32_t CustomColor(int index);
  void CustomColor(int index, int32_t color);

  // printerDC -1: none (the current printer's when flags ask for printer fonts).
  bool VBChooseFont(QFont& font, Handle& printerDC, Handle owner, int32_t& color, int32_t minSize,
                    int32_t maxSize, int32_t& flags, const QVariant& = {}, const QVariant& = {});

  // printRange: 0 all, 1 pages, 2 selection. The printer object gets `Copies`, `Orientation`,
  // `PaperSize` and `PrintQuality` by property name; the ones it lacks are skipped.
  bool VBPrintDlg(Handle& hDC, int32_t& printRange, bool disablePageNumbers, int32_t& fromPage,
                  int32_t& toPage, bool disableSelection, int32_t& copies, bool showPrintToFile,
                  bool disablePrintToFile, bool& printToFile, bool& collate, bool noWarning, Handle owner,
                  QObject* printer, int32_t flags, const QVariant& = {}, const QVariant& = {});

  // Margins in inches (units 0) or millimetres (any other units).
  bool VBPageSetupDlg2(Handle owner, bool disableMargins, bool disableOrientation, bool disablePaper,
                       bool disablePrinter, float& left, float& minLeft, float& right, float& minRight,
                       float& top, float& minTop, float& bottom, float& minBottom, int32_t& paperSize,
                       int32_t& orientation, int32_t& printQuality, int32_t units, QObject* printer,
                       int32_t flags, const QVariant& = {}, const QVariant& = {});
  bool VBPageSetupDlg(Handle owner, bool disableMargins, bool disableOrientation, bool disablePaper,
                      bool disablePrinter, int32_t& left, int32_t& minLeft, int32_t& right, int32_t& minRight,
                      int32_t& top, int32_t& minTop, int32_t& bottom, int32_t& minBottom, int32_t& paperSize,
                      int32_t& orientation, int32_t& printQuality, int32_t units, QObject* printer,
                      int32_t flags, const QVariant& = {}, const QVariant& = {});

protected:
  // Receiver of the dialog notifications. This class never sets it (a class built on it may)
  // and clears it after every dialog.
  QPointer<QObject> eventSink;

private:
  void fillCustomColors();
  bool finish(int32_t value);

  CommonDialogs::Port& port;
  std::array<uint32_t, 16> customColors{};
  bool colorsFilled = false;
  int32_t lastReturn = 0;
  int32_t lastError = 0;
  CommonDialogs::DevMode printerSettings;
};
