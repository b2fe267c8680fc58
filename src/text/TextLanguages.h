// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>

namespace glimra::text {

// The languages the recogniser has data for (Debian's tesseract-ocr-LANG packages, or
// $TESSDATA_PREFIX), as Tesseract names them ("eng", "deu", "chi_sim"), sorted; the script
// and orientation data is no language.
QStringList installedLanguages();

// The language setting as the reader takes it: the stored choice when its data is
// installed, else English.
QString chosenLanguage();

} // namespace glimra::text
