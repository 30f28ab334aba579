#pragma once
// Module `rightClick`: swallows the right button press on every movie player of the client, so
// the player's own menu never opens from it. Six members, alike but for their slot.
#include <QPointer>
#include <QWidget>

class QEvent;

namespace rightClick {
// The window each member was installed on (1 to 6); set each time its window loads.
extern QPointer<QWidget> prevProc[7];

// The filter of member n: true swallows the event (the right button press), false passes it on.
bool FlashNoMenuProc(int member, QObject* window, QEvent* event);

// Finds the next movie player among form's direct child widgets after `after` (the first one
// when after is null) and installs member n on it. Returns the window found, or null.
QWidget* installFilter(int member, QWidget* form, QWidget* after);
}  // namespace rightClick
