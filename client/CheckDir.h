#pragma once
#include <QString>

// Module `CheckDir`: true when a folder exists at path (letter case aside); false for a file or nothing.
bool DirExists(const QString& path);
