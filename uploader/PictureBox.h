#pragma once
// A borderless picture that fills its box and reports clicks (the button's press and release
// over it).
#include <QLabel>

class PictureBox : public QLabel {
  Q_OBJECT
public:
  explicit PictureBox(const QString& image, QWidget* parent);

Q_SIGNALS:
  void Click();

protected:
  void mousePressEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;

private:
  bool pressed_ = false;
};
