#pragma once
// The client's message box: a fixed text, the style (buttons + icon, Msg::...) and a title;
// without a title the box shows the client's own title "客户端".
#include "Platform.h"

#include <QString>

class QWidget;

int MsgBox(const QString& text, int style = Msg::OKOnly, const QString& title = QString(), QWidget* parent = nullptr);
