#pragma once
// Module `OpenFileBox`: the open-file dialog and the list of the files chosen in it.
#include <QStringList>
#include <cstdint>

class QWidget;

namespace OpenFileBox {
// The full paths chosen in the last dialog, rebuilt by every SplitSelection.
extern QStringList SelectedFiles;
}

// Shows the open-file dialog ("所有支持的类型" with the given patterns, separated by ";") and
// gives back the chosen files in the explorer-style buffer: one file as its full path, NUL, NUL;
// several as the folder, NUL, each name and NUL, then NUL; then blanks up to maxLen characters.
// The empty text when the dialog is cancelled.
QString OpenFileDlg(QWidget* owner, const QString& title, const QString& pattern, int multi, int maxLen);

// Splits a buffer of OpenFileDlg into full paths in OpenFileBox::SelectedFiles; returns the last index.
int16_t SplitSelection(const QString& buffer);
