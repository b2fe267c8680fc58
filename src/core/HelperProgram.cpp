#include "core/HelperProgram.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace glimra {

QString helperProgram(const QString& name)
{
    const QString folder = QCoreApplication::applicationDirPath();
    const QString beside = folder + QLatin1Char('/') + name;
    if (QFileInfo(beside).isExecutable())
        return beside;
    const QString installed = folder + QStringLiteral("/../libexec/glimra/") + name;
    if (QFileInfo(installed).isExecutable())
        return QFileInfo(installed).canonicalFilePath();
    return beside;
}

} // namespace glimra
