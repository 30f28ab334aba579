#include "PictureBox.h"

#include <QMouseEvent>

PictureBox::PictureBox(const QString& image, QWidget* parent) : QLabel(parent) {
  setPixmap(QPixmap(image));
  setScaledContents(true);
  setFrameShape(QFrame::NoFrame);
}

void PictureBox::mousePressEvent(QMouseEvent* e) {
  if (e->button() == Qt::LeftButton) pressed_ = true;
  QLabel::mousePressEvent(e);
}

void PictureBox::mouseReleaseEvent(QMouseEvent* e) {
  const bool click = pressed_ && e->button() == Qt::LeftButton && rect().contains(e->position().toPoint());
  pressed_ = false;
  QLabel::mouseReleaseEvent(e);
  if (click) Q_EMIT Click();
}
