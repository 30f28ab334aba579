#include "rightClick.h"

#include "FlashPlayer.h"
#include "MoviePlayer.h"

#include <QCursor>
#include <QMouseEvent>

namespace rightClick {
QPointer<QWidget> prevProc[7];

namespace {
class FlashNoMenu : public QObject {
public:
  FlashNoMenu(int member, QObject* parent) : QObject(parent), member_(member) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    return FlashNoMenuProc(member_, watched, event);
  }

private:
  int member_;
};
}  // namespace

bool FlashNoMenuProc(int member, QObject* window, QEvent* event) {
  Q_UNUSED(member);
  Q_UNUSED(window);
  if (event->type() == QEvent::MouseButtonPress &&
      static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) {
    (void)QCursor::pos();  // read, as the original filter does; the value is not used
    return true;
  }
  return false;
}

QWidget* installFilter(int member, QWidget* form, QWidget* after) {
  QWidget* found = FindPlayerWindow(form, after);
  auto* player = qobject_cast<FlashPlayer*>(found);
  if (!player) return nullptr;  // the slot stays as it was; the member is never called
  player->installInputFilter(new FlashNoMenu(member, player));
  if (member >= 1 && member <= 6) prevProc[member] = player;
  return player;
}
}  // namespace rightClick
