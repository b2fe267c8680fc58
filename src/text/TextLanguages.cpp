// SPDX-License-Identifier: GPL-3.0-or-later
#include "text/TextLanguages.h"

#include "core/Settings.h"

#include <QDir>
#include <QFileInfo>

namespace glimra::text {

QStringList installedLanguages()
{
    QStringList folders;
    const QString prefix = qEnvironmentVariable("TESSDATA_PREFIX");
    if (!prefix.isEmpty())
        folders << prefix << prefix + QStringLiteral("/tessdata");
    for (const QFileInfo& version : QDir(QStringLiteral("/usr/share/tesseract-ocr"))
                                        .entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot))
        folders << version.filePath() + QStringLiteral("/tessdata");
    QStringList languages;
    for (const QString& folder : folders) {
        for (const QFileInfo& data :
             QDir(folder).entryInfoList({QStringLiteral("*.traineddata")}, QDir::Files)) {
            const QString name = data.completeBaseName();
            if (name != QLatin1String("osd") && name != QLatin1String("equ") &&
                !languages.contains(name))
                languages.append(name);
        }
    }
    languages.sort();
    return languages;
}

QString chosenLanguage()
{
    const QString stored =
        openSettings()->value(settings::kTextLanguage, QStringLiteral("eng")).toString();
    return installedLanguages().contains(stored) ? stored : QStringLiteral("eng");
}

} // namespace glimra::text
