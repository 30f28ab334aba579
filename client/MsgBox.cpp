#include "MsgBox.h"

int MsgBox(const QString& text, int style, const QString& title, QWidget* parent) {
  return platform().msgBox->show(parent, text, title.isEmpty() ? QString::fromUtf8("客户端") : title, style);
}
