#pragma once
// Dragging a frameless window by the picture that stands for its caption: while the left button
// alone is held down over it, and the window is not minimised, the window moves with the mouse.
#include <QObject>
#include <QPoint>

class QWidget;

class TitleDrag : public QObject {
public:
  // Watches handle; the window it lies in is the one that moves.
  explicit TitleDrag(QWidget* handle);

protected:
  bool eventFilter(QObject* watched, QEvent* e) override;

private:
  QWidget* handle_;
  QPoint offset_;       // where the handle was grabbed, relative to the window
  bool manual_ = false;  // this drag moves the window itself
};
