#pragma once
// A common-dialog port that records every record it is handed and answers as the test says.
#include "CommonDialogs.h"

#include <QList>
#include <QPair>
#include <QStringList>
#include <functional>

class FakeCommonDialogs : public CommonDialogs::Port {
public:
  using Handle = CommonDialogs::Handle;

  int32_t result = 1;   // what the next dialog returns
  uint32_t error = 0;   // the extended error after a dialog that returned 0

  // Each answer edits the record as the user's choice would; it runs only when `result` is nonzero.
  std::function<void(CommonDialogs::OpenFileName&)> answerFile;
  std::function<void(CommonDialogs::ChooseColor&)> answerColor;
  std::function<void(CommonDialogs::ChooseFont&)> answerFont;
  std::function<void(CommonDialogs::PrintDlg&)> answerPrint;
  std::function<void(CommonDialogs::PageSetupDlg&)> answerPage;

  // The records as they were handed over, before any answer.
  QList<CommonDialogs::OpenFileName> opened, saved;
  QList<CommonDialogs::ChooseColor> colors;
  QList<std::array<uint32_t, 16>> customColorsSeen;
  QList<CommonDialogs::ChooseFont> fonts;
  QList<CommonDialogs::LogFont> logFonts;
  QList<CommonDialogs::PrintDlg> prints;
  QList<CommonDialogs::PageSetupDlg> pageSetups;

  QStringList titleAsked;
  QString titleAnswer;
  int16_t titleResult = 0;

  std::array<uint32_t, 16> sysColors{};
  int sysColorReads = 0;
  Handle currentPrinterDC = 0x5150;
  QList<QPair<Handle, int32_t>> messageResults;

  int dialogs() const;

  int32_t getOpenFileName(CommonDialogs::OpenFileName& r) override;
  int32_t getSaveFileName(CommonDialogs::OpenFileName& r) override;
  int16_t getFileTitle(const QString& file, QString& buffer, uint16_t size) override;
  int32_t chooseColor(CommonDialogs::ChooseColor& r) override;
  int32_t chooseFont(CommonDialogs::ChooseFont& r) override;
  int32_t printDlg(CommonDialogs::PrintDlg& r) override;
  int32_t pageSetupDlg(CommonDialogs::PageSetupDlg& r) override;
  uint32_t extendedError() override { return result ? 0 : error; }
  uint32_t systemColor(int index) override;
  Handle printerDC() override { return currentPrinterDC; }
  void setMessageResult(Handle dialog, int32_t value) override { messageResults << qMakePair(dialog, value); }
};
