#pragma once
#include <QString>

// Module `Cdir`: creates every missing level of a folder path; every failure is ignored.
void MakeDirs(const QString& path);
