#include "CaptureOptions.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace glimra::capture {

ParsedArguments parseArguments(const QStringList& arguments)
{
    ParsedArguments result;
    QList<CaptureMode> chosen;
    bool optionsEnded = false;
    QStringList paths;

    for (const QString& argument : arguments) {
        if (optionsEnded || !argument.startsWith(QLatin1Char('-')) || argument.size() == 1) {
            paths.append(argument);
            continue;
        }
        if (argument == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        if (argument == QLatin1String("--help")) {
            result.options.showHelp = true;
            continue;
        }
        for (qsizetype i = 1; i < argument.size(); ++i) {
            const QChar letter = argument.at(i);
            if (letter == u'x')
                continue; // This tool never makes a sound, so silence needs no work.
            if (letter == u'h') {
                result.options.showHelp = true;
                continue;
            }
            const auto mode = std::find_if(
                std::begin(kCaptureModes), std::end(kCaptureModes),
                [letter](CaptureMode m) { return captureModeFlag(m) == letter.toLatin1(); });
            if (mode == std::end(kCaptureModes)) {
                result.error = QStringLiteral("unknown option '-%1'").arg(letter);
                return result;
            }
            if (!chosen.contains(*mode))
                chosen.append(*mode);
        }
    }

    if (result.options.showHelp)
        return result;
    if (chosen.size() > 1) {
        result.error = QStringLiteral("-s and -w cannot be combined");
        return result;
    }
    if (paths.isEmpty()) {
        result.error = QStringLiteral("missing the output path");
        return result;
    }
    if (paths.size() > 1) {
        result.error = QStringLiteral("expected one output path, got %1").arg(paths.size());
        return result;
    }
    if (paths.first().isEmpty()) {
        result.error = QStringLiteral("the output path is empty");
        return result;
    }
    result.options.path = paths.first();
    result.options.mode = chosen.value(0, CaptureMode::FullScreen);
    return result;
}

ParsedArguments parseArguments(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    return parseArguments(arguments);
}

QString usageLine()
{
    return QStringLiteral("glimra-capture [-x] [-s | -w] PATH");
}

QString usageText()
{
    return u"Usage: "_s + usageLine() +
           QStringLiteral(
               "\n"
               "Saves a screenshot at PATH (JPEG for .jpg/.jpeg, PNG otherwise).\n"
               "  -s  drag a rectangle on the frozen screen\n"
               "  -w  click a window to capture its frame\n"
               "  -x  no sound (accepted; the tool is always silent)\n"
               "Exit status: 0 saved; 1 cancelled (Escape or a right click), nothing written;\n"
               "2 failed, nothing written, and one line on standard error says why.\n");
}

} // namespace glimra::capture
