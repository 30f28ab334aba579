#pragma once
// The common dialogs (open and save file, file title, colour, font, print, page setup) as one
// port: each call takes the dialog's record, fills its outputs and returns nonzero when the user
// confirmed, 0 when the user cancelled or the dialog failed (extendedError() then tells which).
// The records keep the fields and the flag numbering of the classic common-dialog interface, so
// callers that compute flags keep their arithmetic. Texts that the classic interface keeps in
// fixed byte fields are UTF-8 (the locale's encoding) in those fields.
#include <QString>

#include <array>
#include <cstdint>
#include <optional>

namespace CommonDialogs {

// A window handle or a device context, as the records carry them. 0 is none.
using Handle = qintptr;

// Flags of the file dialogs.
namespace Ofn {
enum : uint32_t {
  ReadOnly = 0x1, OverwritePrompt = 0x2, HideReadOnly = 0x4, EnableHook = 0x20, EnableTemplate = 0x40,
  ExtensionDifferent = 0x400, AllowMultiSelect = 0x200, PathMustExist = 0x800, FileMustExist = 0x1000,
  Explorer = 0x80000,
};
}
// Flags of the colour dialog.
namespace Cc {
enum : uint32_t { RgbInit = 0x1, FullOpen = 0x2, PreventFullOpen = 0x4, SolidColor = 0x80, AnyColor = 0x100 };
}
// Flags of the font dialog and the font types it returns.
namespace Cf {
enum : uint32_t {
  ScreenFonts = 0x1, PrinterFonts = 0x2, EnableHook = 0x8, EnableTemplate = 0x10, InitToLogFontStruct = 0x40,
  Effects = 0x100, Apply = 0x200, LimitSize = 0x2000,
  BoldFontType = 0x100, ItalicFontType = 0x200, RegularFontType = 0x400, ScreenFontType = 0x2000,
};
}
// Flags of the print dialog.
namespace Pd {
enum : uint32_t {
  Selection = 0x1, PageNums = 0x2, NoSelection = 0x4, NoPageNums = 0x8, Collate = 0x10, PrintToFile = 0x20,
  NoWarning = 0x80, ReturnDC = 0x100, EnablePrintHook = 0x1000, EnableSetupHook = 0x2000,
  EnablePrintTemplate = 0x4000, EnableSetupTemplate = 0x8000, UseDevModeCopiesAndCollate = 0x40000,
  DisablePrintToFile = 0x80000, HidePrintToFile = 0x100000,
};
}
// Flags of the page-setup dialog.
namespace Psd {
enum : uint32_t {
  MinMargins = 0x1, Margins = 0x2, InThousandthsOfInches = 0x4, InHundredthsOfMillimeters = 0x8,
  DisableMargins = 0x10, DisablePrinter = 0x20, DisableOrientation = 0x100, DisablePaper = 0x200,
};
}
// Extended error codes.
namespace Err {
enum : uint32_t { DialogFailure = 0xFFFF, NoDefaultPrinter = 0x1008, BufferTooSmall = 0x3003 };
}
// Fields of a device mode that hold a value.
namespace Dm {
enum : uint32_t { Orientation = 0x1, PaperSize = 0x2, Copies = 0x100, PrintQuality = 0x400, Collate = 0x8000 };
}

// A text in a fixed byte field: UTF-8, cut at a character boundary so that it fits, padded with NUL.
template <std::size_t N>
void setFixedText(std::array<char, N>& field, const QString& text) {
  QByteArray bytes = text.toUtf8();
  if (bytes.size() > qsizetype(N)) {
    qsizetype cut = N;
    while (cut > 0 && (uchar(bytes[cut]) & 0xC0) == 0x80) --cut;  // never split a character
    bytes.truncate(cut);
  }
  field.fill('\0');
  std::copy(bytes.begin(), bytes.end(), field.begin());
}
// The text of a fixed byte field: up to its first NUL, or the whole field.
template <std::size_t N>
QString fixedText(const std::array<char, N>& field) {
  std::size_t n = 0;
  while (n < N && field[n] != '\0') ++n;
  return QString::fromUtf8(field.data(), qsizetype(n));
}

// File dialog record (open and save).
struct OpenFileName {
  Handle owner = 0;
  QString filter;         // pairs of description and pattern, each ended by NUL, then one more NUL
  QString customFilter;
  int32_t filterIndex = 0;  // 1 for the first pair
  QString file;           // buffer: initial name, then NUL; the chosen name comes back here
  int32_t maxFile = 0;
  QString fileTitle;      // buffer for the chosen file's name without its folder
  int32_t maxFileTitle = 0;
  QString initialDir;
  QString title;
  uint32_t flags = 0;
  uint16_t fileOffset = 0;
  uint16_t fileExtension = 0;
  QString defExt;
};

// Colour dialog record. Colours are 0x00BBGGRR.
struct ChooseColor {
  Handle owner = 0;
  uint32_t result = 0;
  std::array<uint32_t, 16>* customColors = nullptr;  // read and written by the dialog
  uint32_t flags = 0;
};

// Logical font record.
struct LogFont {
  int32_t height = 0;  // negative: character height in pixels
  int32_t width = 0;
  int32_t escapement = 0;
  int32_t orientation = 0;
  int32_t weight = 0;  // 400 normal, 700 bold
  uint8_t italic = 0;
  uint8_t underline = 0;
  uint8_t strikeOut = 0;
  uint8_t charSet = 0;
  uint8_t outPrecision = 0;
  uint8_t clipPrecision = 0;
  uint8_t quality = 0;
  uint8_t pitchAndFamily = 0;
  std::array<char, 32> faceName{};
};

// Font dialog record.
struct ChooseFont {
  Handle owner = 0;
  Handle dc = 0;
  LogFont* logFont = nullptr;
  int32_t pointSize = 0;  // tenths of a point
  uint32_t flags = 0;
  uint32_t colors = 0;
  uint16_t fontType = 0;
  int32_t sizeMin = 0;
  int32_t sizeMax = 0;
};

// Device mode: a printer's settings.
struct DevMode {
  std::array<char, 32> deviceName{};
  uint16_t formatVersion = 0;
  uint16_t driverVersion = 0;
  uint16_t size = 0;
  uint16_t driverExtra = 0;
  uint32_t fields = 0;
  int16_t orientation = 0;  // 1 portrait, 2 landscape
  int16_t paperSize = 0;    // 9 A4, 1 letter, ...
  int16_t paperLength = 0;
  int16_t paperWidth = 0;
  int16_t scale = 0;
  int16_t copies = 0;
  int16_t defaultSource = 0;
  int16_t printQuality = 0;  // dots per inch, or a negative quality code
  int16_t color = 0;
  int16_t duplex = 0;
  int16_t yResolution = 0;
  int16_t ttOption = 0;
  int16_t collate = 0;  // 1 collate
  std::array<char, 32> formName{};
  uint16_t logPixels = 0;
  uint32_t bitsPerPel = 0;
  uint32_t pelsWidth = 0;
  uint32_t pelsHeight = 0;
  uint32_t displayFlags = 0;
  uint32_t displayFrequency = 0;
};

// Print dialog record.
struct PrintDlg {
  Handle owner = 0;
  std::optional<DevMode> devMode;  // the chosen printer's settings come back here
  Handle dc = 0;
  uint32_t flags = 0;
  uint16_t fromPage = 0;
  uint16_t toPage = 0;
  uint16_t minPage = 0;
  uint16_t maxPage = 0;
  uint16_t copies = 0;
};

struct Rect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
};

// Page-setup dialog record; lengths in the unit its flags name.
struct PageSetupDlg {
  Handle owner = 0;
  std::optional<DevMode> devMode;
  uint32_t flags = 0;
  int32_t paperWidth = 0;
  int32_t paperHeight = 0;
  Rect minMargin;
  Rect margin;
};

// The header of a dialog notification.
struct NotifyHeader {
  Handle from = 0;
  std::uintptr_t id = 0;
  int32_t code = 0;
};

class Port {
public:
  virtual ~Port() = default;
  virtual int32_t getOpenFileName(OpenFileName& r) = 0;
  virtual int32_t getSaveFileName(OpenFileName& r) = 0;
  // Writes the file's title and a NUL into the first characters of `buffer` (of `size`
  // characters); 0 on success, the size needed when the buffer is too small, negative for a
  // name without a file part.
  virtual int16_t getFileTitle(const QString& file, QString& buffer, uint16_t size) = 0;
  virtual int32_t chooseColor(ChooseColor& r) = 0;
  virtual int32_t chooseFont(ChooseFont& r) = 0;
  virtual int32_t printDlg(PrintDlg& r) = 0;
  virtual int32_t pageSetupDlg(PageSetupDlg& r) = 0;
  // Why the last dialog returned 0: 0 when the user cancelled.
  virtual uint32_t extendedError() = 0;
  // The system colour of a classic colour index (0 scroll bar ... 15 button face), 0x00BBGGRR.
  virtual uint32_t systemColor(int index) = 0;
  // The device context of the program's current printer (with the Qt dialogs: the address of the
  // QPrinter that the print and page-setup dialogs set up).
  virtual Handle printerDC() = 0;
  // The result a dialog gives for the notification it is handling.
  virtual void setMessageResult(Handle dialog, int32_t value) = 0;
};

// The Qt-backed dialogs a real program uses.
Port& qtCommonDialogs();

}  // namespace CommonDialogs
