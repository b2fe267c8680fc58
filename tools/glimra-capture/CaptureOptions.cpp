#include "CaptureOptions.h"

namespace glimra::capture {

ParsedArguments parseArguments(const QStringList& arguments)
{
    ParsedArguments result;
    bool area = false;
    bool window = false;
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
            switch (argument.at(i).unicode()) {
            case 'x':
                break; // This tool never makes a sound, so silence needs no work.
            case 's':
                area = true;
                break;
            case 'w':
                window = true;
                break;
            case 'h':
                result.options.showHelp = true;
                break;
            default:
                result.error = QStringLiteral("unknown option '-%1'").arg(argument.at(i));
                return result;
            }
        }
    }

    if (result.options.showHelp)
        return result;
    if (area && window) {
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
    result.options.mode = area     ? CaptureMode::Area
                          : window ? CaptureMode::Window
                                   : CaptureMode::FullScreen;
    return result;
}

ParsedArguments parseArguments(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    return parseArguments(arguments);
}

QString usageText()
{
    return QStringLiteral(
        "Usage: glimra-capture [-x] [-s | -w] PATH\n"
        "Saves a screenshot at PATH (JPEG for .jpg/.jpeg, PNG otherwise).\n"
        "  -s  drag a rectangle on the frozen screen\n"
        "  -w  click a window to capture its frame\n"
        "  -x  no sound (accepted; the tool is always silent)\n"
        "Escape or a right click cancels; the exit status is then 1 and nothing is written.\n");
}

} // namespace glimra::capture
