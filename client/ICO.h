#pragma once
#include "Form.h"

#include <QIcon>

// A window without behaviour that only carries the program icon; every window of the client
// takes its icon from here when it loads.
class ICO : public Form {
  Q_OBJECT
public:
  ICO();
  QIcon programIcon() const { return windowIcon(); }
};
