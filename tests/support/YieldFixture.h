#pragma once
// Acting from inside the program's yields: a step that runs each time events run (DoEvents, a
// wait, a modal loop), as a timer or a click of the user would.
#include <QApplication>
#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>

class QWidget;

// Runs step at every round of events until it returns true, or until context is gone.
void eachYield(QObject* context, std::function<bool()> step);

// Closes window as its close button does, at the first round of events where `when` holds.
void closeWhen(QWidget* window, std::function<bool()> when);

// Runs call; true when object was still there at every round of events inside it and after it.
bool staysThrough(QObject* object, const std::function<void()>& call);

// Runs act on the next modal dialog of type T as soon as it shows; gives up after 5 seconds.
template <typename T>
void whenShown(std::function<void(T*)> act) {
  auto tries = std::make_shared<int>(0);
  auto poll = std::make_shared<std::function<void()>>();
  *poll = [=] {
    if (auto* d = qobject_cast<T*>(QApplication::activeModalWidget())) {
      act(d);
    } else if (++*tries < 500) {
      QTimer::singleShot(10, *poll);
    }
  };
  QTimer::singleShot(0, *poll);
}
