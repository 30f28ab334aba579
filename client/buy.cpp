#include "buy.h"

#include "Forms.h"
#include "MsgBox.h"
#include "Platform.h"
#include "Twips.h"
#include "WebBrowser.h"
#include "WelCome.h"
#include "mainModule.h"

buy::buy() {
  setObjectName("buy");
  Picture1 = new QWidget(this);
  Picture1->setObjectName("Picture1");
  Web = platform().newWebBrowser(Picture1);
  Web->setObjectName("Web");
  setClientSizeTwips(13695, 10845);
}

void buy::toBuy() {
  load();
  Web->Navigate(g.buyURL);
  Web->setVisible(true);
}

void buy::Form_Load() {
  setWindowIcon(Forms::programIcon());
  setWindowTitle(g.appTitle);
  Form_Resize();
}

void buy::Form_Resize() {
  const int left = 100, top = 200;
  const int w = scaleWidth() - 2 * left, h = scaleHeight() - 2 * top;
  // Too small for the margins (minimised): keep the previous sizes.
  if (w <= 0 || h <= 0) return;
  Picture1->setGeometry(Twips::toPixelsX(left), Twips::toPixelsY(top), Twips::toPixelsX(w),
                        Twips::toPixelsY(h));
  // 25 twips of the browser on every side lie outside the container, hiding its border.
  Web->setGeometry(Twips::toPixelsX(-25), Twips::toPixelsY(-25), Twips::toPixelsX(w + 50),
                   Twips::toPixelsY(h + 50));
}

void buy::Form_Unload(int& cancel) {
  const QString page = orderPageName(Web->LocationURL(), g.siteURL);
  if (isOrderPage(page)) {
    const QString text =
        QStringLiteral("您的订单还没有完成，如果您现在关闭窗口您将无法完成该订单！您确定要现在关闭吗？") +
        "\r\n" +
        QStringLiteral("如因意外原因关闭了该窗口您可以登录网站的会员中心在‘查看设计作品’列表中找到该设计继续下订单。");
    if (MsgBox(text, Msg::OKCancel, QStringLiteral("客户端"), this) == Msg::Cancel) {
      cancel = 1;
      return;
    }
  }
  Forms::welcome().showForm();
}

QString orderPageName(const QString& location, const QString& siteURL) {
  QString rest = location.toLower();
  rest.remove(siteURL + "/main/");
  return rest.section('?', 0, 0);
}

bool isOrderPage(const QString& pageName) {
  return pageName == "buy.aspx" || pageName == "shoppingbag.aspx" || pageName == "creatorder.aspx";
}
