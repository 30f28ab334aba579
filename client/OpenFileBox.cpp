#include "OpenFileBox.h"

#include "Platform.h"

#include <QFileInfo>

namespace OpenFileBox {
QStringList SelectedFiles;
}

QString OpenFileDlg(QWidget* owner, const QString& title, const QString& pattern, int multi, int maxLen) {
  const QStringList files =
      platform().fileDialog->openFiles(owner, title, QString::fromUtf8("所有支持的类型"), pattern, multi == 1);
  if (files.isEmpty()) return QString();
  const QChar nul(0);
  QString buffer;
  if (files.size() == 1) {
    buffer = files.first() + nul;
  } else {
    buffer = QFileInfo(files.first()).absolutePath() + nul;
    for (const QString& f : files) buffer += QFileInfo(f).fileName() + nul;
  }
  buffer += nul;
  // Always leave the filler piece, however long the selection: a full buffer would otherwise
  // lose the last file in SplitSelection.
  buffer += QString(std::max<qsizetype>(1, maxLen - buffer.size()), QChar(' '));
  return buffer;
}

int16_t SplitSelection(const QString& buffer) {
  const QStringList pieces = buffer.split(QChar(0));
  const int h = int(pieces.size()) - 1;
  OpenFileBox::SelectedFiles.clear();
  if (h <= 2) {
    OpenFileBox::SelectedFiles << pieces.value(0);
    return 0;
  }
  const int n = h - 3;
  const QString folder = pieces[0];
  const bool ends = folder.endsWith('/') || folder.endsWith('\\');
  for (int i = 0; i <= n; ++i) OpenFileBox::SelectedFiles << (ends ? folder : folder + "/") + pieces[i + 1];
  return int16_t(n);
}
