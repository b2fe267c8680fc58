// SPDX-License-Identifier: GPL-3.0-or-later
// The reference the library benchmark holds preview loading to: one thread decoding every
// PNG of a folder with Qt's reader, nothing else. Prints the seconds taken and the count.
#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImageReader>

#include <cstdio>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    const QStringList names = folder.entryList({QStringLiteral("*.png")}, QDir::Files);
    QElapsedTimer timer;
    timer.start();
    int decoded = 0;
    for (const QString& name : names) {
        QImageReader reader(folder.filePath(name), "png");
        decoded += reader.read().isNull() ? 0 : 1;
    }
    std::printf("%.3f %d\n", timer.nsecsElapsed() / 1e9, decoded);
    return 0;
}
