// The program's version for the about box.
#pragma once

#include <QString>

// Sets Text to the program's version "major.minor.release.build", or to the empty text
// when the program carries no version.
void GetAppVersion(QString& Text);
