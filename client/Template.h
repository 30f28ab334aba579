#pragma once
// The template browser: the shop's template page in a web browser whose design links start the
// template download, the downloader movie that streams a template's files to the client, and
// the new-design movie that names the design made from it.
#include "Form.h"
#include "base64.h"

#include <QString>
#include <memory>

class FlashPlayer;
class QSaveFile;
class QTimer;
class WebBrowser;

class Template : public Form {
  Q_OBJECT
public:
  Template();
  ~Template() override;

  QWidget* Picture1 = nullptr;  // frame of the web page
  WebBrowser* Web = nullptr;
  FlashPlayer* download = nullptr;
  FlashPlayer* newDesign = nullptr;
  QTimer* Timer1 = nullptr;  // closes the window after a cancelled download

  // "0" while the user is in the browser, "1" once the window has handed over to another.
  QString exitMode;

  // Asked for again while still loaded (the 1.5 s after a cancelled download, or the seconds
  // before a new design's workspace closes it): back to the web page of templateURL as if newly
  // loaded, with no closing timer and the welcome window to come back to.
  void showAsNew();
  // Starts the download of templateNO in the downloader movie.
  void startDownload();
  void openWeb();
  void showDownload();
  void showNewDesign();

  void Timer1_Timer();
  void Web_BeforeNavigate2(const QString& url, bool* cancel);
  void download_FlashCall(const QString& request);
  void newDesign_FlashCall(const QString& request);

  // The requests of both movies, by name and first argument.
  void flashCmd(const QString& name, const QString& argument);
  // Creates the design named name from the template templateNO and opens the workspace on it.
  void createDesign(const QString& name);

  // Whether a file received from the movie is open now.
  bool isReceiving() const { return bool(downloadOut_); }

protected:
  void Form_Load() override;
  void Form_Resize() override;
  void Form_Unload(int& cancel) override;

private:
  void saveFile(const QString& name);
  void sendData(const QString& piece);
  void sendEnd();
  void cancelDown();
  // The downloader movie at its own size, or, once its template is complete, as a strip in the
  // margin below the web page, so it covers neither the page nor the new-design movie.
  void placeDownload();

  // The file being received, written beside its final name and put in place at its end.
  std::unique_ptr<QSaveFile> downloadOut_;
  Base64Stream downloadStream_;
  bool downloadDone_ = false;  // "DownComplate" since the last start of a download
};

// Whether an address the browser is about to follow is a design link ("Design", letter case as
// written, anywhere in it).
bool isDesignLink(const QString& url);
// The template number of a design link: the text between the first and the second "." of the
// address's last segment (to its end when there is one "."); empty when that segment has no ".".
QString templateNumberOf(const QString& url);

// Where a file named by the downloader is stored: templatePath for a template package (the part
// of the lower-cased name between its first and second "." is "dpt", or the name has no "."),
// pagesPath for any other file. Empty for a name that is not a bare file name.
QString downloadTarget(const QString& name);

// The design name the user typed, with the characters a design name cannot hold (control
// characters among them) removed and the blanks at its ends trimmed.
QString cleanDesignName(const QString& name);

// The line "addToList" records: the entry without control characters, in lower case, without
// any ".dpt".
QString downListLine(const QString& entry);
