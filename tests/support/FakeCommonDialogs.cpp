#include "FakeCommonDialogs.h"

using namespace CommonDialogs;

namespace {
template <typename R>
int32_t answer(int32_t result, const std::function<void(R&)>& fn, R& r) {
  if (result && fn) fn(r);
  return result;
}
}  // namespace

int FakeCommonDialogs::dialogs() const {
  return int(opened.size() + saved.size() + colors.size() + fonts.size() + prints.size() + pageSetups.size());
}

int32_t FakeCommonDialogs::getOpenFileName(OpenFileName& r) {
  opened << r;
  return answer(result, answerFile, r);
}

int32_t FakeCommonDialogs::getSaveFileName(OpenFileName& r) {
  saved << r;
  return answer(result, answerFile, r);
}

int16_t FakeCommonDialogs::getFileTitle(const QString& file, QString& buffer, uint16_t size) {
  titleAsked << file;
  if (titleResult == 0 && titleAnswer.size() < size) buffer.replace(0, titleAnswer.size() + 1, titleAnswer + QChar(0));
  return titleResult;
}

int32_t FakeCommonDialogs::chooseColor(ChooseColor& r) {
  colors << r;
  customColorsSeen << (r.customColors ? *r.customColors : std::array<uint32_t, 16>{});
  return answer(result, answerColor, r);
}

int32_t FakeCommonDialogs::chooseFont(ChooseFont& r) {
  fonts << r;
  logFonts << (r.logFont ? *r.logFont : LogFont{});
  return answer(result, answerFont, r);
}

int32_t FakeCommonDialogs::printDlg(PrintDlg& r) {
  prints << r;
  return answer(result, answerPrint, r);
}

int32_t FakeCommonDialogs::pageSetupDlg(PageSetupDlg& r) {
  pageSetups << r;
  return answer(result, answerPage, r);
}

uint32_t FakeCommonDialogs::systemColor(int index) {
  ++sysColorReads;
  return index >= 0 && index < 16 ? sysColors[index] : 0;
}
