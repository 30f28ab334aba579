#pragma once
// The order window: hosts the shop's order pages for a design the shop has just accepted, warns
// when it is closed in the middle of an order, and brings the welcome window back when it closes.
#include "Form.h"

class WebBrowser;

class buy : public Form {
  Q_OBJECT
public:
  buy();

  QWidget* Picture1 = nullptr;  // sets the visible area of the browser
  WebBrowser* Web = nullptr;

  // Shows the order page buyURL.
  void toBuy();

protected:
  void Form_Load() override;
  void Form_Resize() override;
  void Form_Unload(int& cancel) override;
};

// The page name of a shown address when it lies in siteURL's "/main/" folder: the address
// lowercased, every siteURL + "/main/" removed, the part before the first "?".
QString orderPageName(const QString& location, const QString& siteURL);
// Whether closing on that page leaves an order unfinished.
bool isOrderPage(const QString& pageName);
