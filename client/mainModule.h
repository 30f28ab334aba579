#pragma once
// Module `main`: the client's global state block, through which its windows hand work to one
// another, and InitGlobals, which fills it. Paths are held in native form ("/").
#include <QString>
#include <cstdint>

struct Globals {
  QString designState;   // "editing" means unsaved changes
  QString siteURL;       // "http://" + the shop's web host
  QString serverURL;     // siteURL + "/Client/Server.aspx"
  QString registerURL;   // siteURL + "/main/Register.aspx"
  QString downloadFile;  // file being checked or received from the download movie
  QString movieTemp;     // transient file of the editor movie
  QString buyURL;        // order page of the last accepted design
  QString mainArgs;      // start data of the editor movie, emptied right after use
  QString downloadData;  // Base64 text received so far
  int16_t fileNum = 0;   // number of the file being written
  QString templatePath;  // program folder + "/Template"
  QString myDesignPath;  // program folder + "/MyDesign"
  QString pagesPath;     // program folder + "/Template/Pages"
  QString designPath;    // folder of the open design: myDesignPath + "/" + designName
  QString templateNO;    // template to download or to copy
  QString designName;    // name of the open design, also its folder name
  QString userID;
  QString userName;
  bool isLogin = false;
  QString templateURL;   // address the template browser opens
  QString appTitle;      // window captions
};

extern Globals g;

// The shop's web host (host with an optional ":port"), compiled in.
QString shopHost();
// Points the client at another shop host (tests: one of their own, never the compiled-in one).
void setShopHost(const QString& host);

// Sets the fixed values of the global state block and creates the three working folders.
void InitGlobals();

// Whether path is a folder directly under myDesignPath, named by a bare name: the only place a
// design may be opened from or saved to.
bool isDesignFolder(const QString& path);

// The program's command line after the program name, its arguments joined by blanks.
QString Command();
void setCommand(const QString& commandLine);

// The client's version text: major.minor.revision without padding (3.5.15).
QString versionText();
