// SPDX-License-Identifier: GPL-3.0-or-later
#include "PortalCapture.h"

#include "CaptureThumbnail.h"
#include "ImageFile.h"
#include "PortalFile.h"
#include "PortalScreenshot.h"
#include "SelectionOverlay.h"
#include "SwayWindows.h"

#include "core/AtomicWrite.h"
#include "core/ImageFormatName.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QImage>
#include <QScreen>

#include <cmath>
#include <cstdio>
#include <memory>
#include <png.h>

namespace glimra::capture {

namespace {

void complain(const QString& message)
{
    std::fprintf(stderr, "glimra-capture: %s\n", message.toLocal8Bit().constData());
}

// libpng straight into the image's rows: Qt's PNG reader took three times as long for a
// screen, which a capture waits for before its thumbnail.
QImage decode(const QByteArray& bytes)
{
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&png, bytes.constData(), std::size_t(bytes.size())))
        return QImage::fromData(bytes).convertToFormat(QImage::Format_RGB32);
    png.format = PNG_FORMAT_BGRA; // QImage's 32-bit layout on little-endian machines
    QImage image(int(png.width), int(png.height), QImage::Format_ARGB32);
    if (image.isNull() || !png_image_finish_read(&png, nullptr, image.bits(),
                                                 png_int_32(image.bytesPerLine()), nullptr)) {
        png_image_free(&png);
        return {};
    }
    // Parts of the layout no output covers come transparent; they are black in the picture.
    image.convertTo(QImage::Format_RGB32);
    return image;
}

// A portal's answer turned into the picture's bytes, or an exit status.
struct Taken {
    int status = kExitError;
    QByteArray bytes;
    QImage image;
};

Taken takePicture(bool interactive)
{
    Taken taken;
    const PortalAnswer answer = requestPortalScreenshot(interactive, portalTimeoutMs(interactive));
    if (answer.outcome == PortalAnswer::Outcome::Cancelled) {
        taken.status = kExitCancelled;
        return taken;
    }
    if (answer.outcome == PortalAnswer::Outcome::Failed) {
        complain(answer.reason);
        return taken;
    }
    PortalPicture picture = takePortalPicture(answer.uri, answer.began);
    if (!picture.error.isEmpty()) {
        complain(picture.error);
        return taken;
    }
    taken.image = decode(picture.bytes);
    if (taken.image.isNull()) {
        complain(QStringLiteral("the portal's picture cannot be decoded"));
        return taken;
    }
    taken.bytes = std::move(picture.bytes);
    taken.status = kExitSaved;
    return taken;
}

PixelView viewOf(const QImage& image)
{
    return {image.constBits(), image.width(), image.height(), image.bytesPerLine()};
}

// A PNG from the portal is kept byte for byte when the library wants PNG; anything else is
// encoded from the pixels.
int savePicture(const Taken& taken, const std::string& path)
{
    const bool png = taken.bytes.startsWith("\x89PNG\r\n\x1a\n");
    if (!png || imageFormatOfExtension(fileExtension(path)) == ImageFormat::Jpeg)
        return saveCaptureImage(taken.image, path);
    const std::span<const unsigned char> whole(
        reinterpret_cast<const unsigned char*>(taken.bytes.constData()),
        std::size_t(taken.bytes.size()));
    const std::string error = glimra::posix::writeFileAtomically(path, {&whole, 1});
    if (!error.empty()) {
        complain(QString::fromStdString(error));
        return kExitError;
    }
    writeCaptureThumbnail(viewOf(taken.image), path);
    return kExitSaved;
}

} // namespace

int runPortalCapture(const CaptureOptions& options, int& argc, char** argv)
{
    if (options.mode == CaptureMode::FullScreen) {
        // No window is shown, so no connection to the display is made.
        QCoreApplication app(argc, argv);
        const Taken taken = takePicture(false);
        return taken.status == kExitSaved ? savePicture(taken, options.path) : taken.status;
    }
    QGuiApplication app(argc, argv);
    const bool onSway = !qEnvironmentVariableIsEmpty("SWAYSOCK");
    if (options.mode == CaptureMode::Window && !onSway) {
        // Only the desktop knows where its windows are: it asks the user itself.
        const Taken taken = takePicture(true);
        return taken.status == kExitSaved ? savePicture(taken, options.path) : taken.status;
    }
    const Taken taken = takePicture(false);
    if (taken.status != kExitSaved)
        return taken.status;

    // The portal pictures the whole layout at its highest scale, so one factor maps every
    // screen's logical rectangle onto the picture.
    const QRect layout = QGuiApplication::primaryScreen()->virtualGeometry();
    if (layout.isEmpty()) {
        complain(QStringLiteral("no screens to show the selection on"));
        return kExitError;
    }
    const qreal scale = qreal(taken.image.width()) / layout.width();
    // A picture of less than the whole layout (one screen of several, say) would put every
    // selection in the wrong place: refused rather than saved wrong.
    if (std::abs(taken.image.height() - layout.height() * scale) > scale + 1) {
        complain(QStringLiteral("the portal's picture (%1x%2) is not of the whole desktop (%3x%4)")
                     .arg(taken.image.width())
                     .arg(taken.image.height())
                     .arg(layout.width())
                     .arg(layout.height()));
        return kExitError;
    }
    const QRect desktop(
        QPoint(int(std::lround(layout.x() * scale)), int(std::lround(layout.y() * scale))),
        taken.image.size());
    std::vector<WindowFrame> frames;
    if (options.mode == CaptureMode::Window)
        frames = swayWindowFrames(swayTree(), scale);

    SelectionSession session(options.mode, taken.image, desktop, std::move(frames), scale);
    return runSelection(session, taken.image, desktop, options.path);
}

} // namespace glimra::capture
