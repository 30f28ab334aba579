#pragma once
// The login dialog: asks for the shop account's user name and password, posts the order "Login"
// and, when the shop accepts it, records the user in the global state and closes. Shown modally
// by the upload preparation, which goes on only when g.isLogin is true afterwards.
#include "Form.h"

class QLabel;
class QLineEdit;
class QPushButton;
class OrderCancel;

class LogIN : public Form {
  Q_OBJECT
public:
  LogIN();

  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  QLineEdit* Text1 = nullptr;  // user name
  QLineEdit* Text2 = nullptr;  // password, shown as "*"
  QPushButton* Command1 = nullptr;
  QPushButton* Command2 = nullptr;
  QLabel* Label3 = nullptr;  // the registration link

  void Command1_Click();
  void Command2_Click();
  void Label3_Click();
  void Text2_KeyPress(int keyAscii);

  // True while a login waits for the shop's answer.
  bool isWaiting() const { return pending_ != nullptr; }

protected:
  void Form_Load() override;
  void Form_Unload(int& cancel) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  OrderCancel* pending_ = nullptr;
};

// The login's body: both texts without blanks (character 32) at their ends, other white space kept.
QString loginBody(const QString& user, const QString& password);
