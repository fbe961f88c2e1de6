#include "ui/widgets/Pictures.h"

#include <QFile>
#include <QHash>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

#include <cmath>

namespace {

QString ResourcePath(const QString& name) {
    return QStringLiteral(":/pictures/%1.svg").arg(name);
}

const QHash<QString, QString>& ThemeNames() {
    static const QHash<QString, QString> names = {
        {QStringLiteral("open"), QStringLiteral("document-open")},
        {QStringLiteral("save"), QStringLiteral("document-save")},
        {QStringLiteral("saveas"), QStringLiteral("document-save-as")},
        {QStringLiteral("rewind"), QStringLiteral("media-skip-backward")},
        {QStringLiteral("stop"), QStringLiteral("media-playback-stop")},
        {QStringLiteral("play"), QStringLiteral("media-playback-start")},
        {QStringLiteral("fastforward"), QStringLiteral("media-skip-forward")},
        {QStringLiteral("record"), QStringLiteral("media-record")},
        {QStringLiteral("mute"), QStringLiteral("audio-volume-muted")},
        {QStringLiteral("unmute"), QStringLiteral("audio-volume-high")},
        {QStringLiteral("back"), QStringLiteral("go-previous")},
        {QStringLiteral("forward"), QStringLiteral("go-next")},
        {QStringLiteral("up"), QStringLiteral("go-up")},
        {QStringLiteral("down"), QStringLiteral("go-down")},
        {QStringLiteral("help"), QStringLiteral("help-contents")},
        {QStringLiteral("undo"), QStringLiteral("edit-undo")},
        {QStringLiteral("delete"), QStringLiteral("edit-delete")},
        {QStringLiteral("about"), QStringLiteral("help-about")},
    };
    return names;
}

QSize DeviceSize(QSize logicalSize, qreal ratio) {
    return QSize(static_cast<int>(std::lround(logicalSize.width() * ratio)),
                 static_cast<int>(std::lround(logicalSize.height() * ratio)));
}

} // namespace

QString ThemeNameOf(const QString& name) {
    return ThemeNames().value(name);
}

QImage OwnPictureImage(const QString& name, QSize logicalSize, qreal devicePixelRatio) {
    if (name.isEmpty() || logicalSize.isEmpty() || devicePixelRatio <= 0) return {};
    QSvgRenderer renderer(ResourcePath(name));
    if (!renderer.isValid()) return {};
    QImage image(DeviceSize(logicalSize, devicePixelRatio), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(image.size())));
    }
    image.setDevicePixelRatio(devicePixelRatio);
    return image;
}

QImage PictureImage(const QString& name, QSize logicalSize, qreal devicePixelRatio) {
    const QString themeName = ThemeNameOf(name);
    if (!themeName.isEmpty() && QIcon::hasThemeIcon(themeName) && !logicalSize.isEmpty() &&
        devicePixelRatio > 0) {
        const QSize device = DeviceSize(logicalSize, devicePixelRatio);
        QImage image = QIcon::fromTheme(themeName).pixmap(logicalSize, devicePixelRatio).toImage();
        if (!image.isNull()) {
            if (image.size() != device) { // a theme without this size: centre what it has
                QImage framed(device, QImage::Format_ARGB32_Premultiplied);
                framed.fill(Qt::transparent);
                QPainter painter(&framed);
                painter.drawImage((device.width() - image.width()) / 2,
                                  (device.height() - image.height()) / 2, image);
                painter.end();
                image = framed;
            }
            image.setDevicePixelRatio(devicePixelRatio);
            return image;
        }
    }
    return OwnPictureImage(name, logicalSize, devicePixelRatio);
}

QIcon PictureIcon(const QString& name) {
    const QString path = ResourcePath(name);
    const bool ours = QFile::exists(path);
    const QIcon fallback = ours ? QIcon(path) : QIcon();
    const QString themeName = ThemeNameOf(name);
    if (!themeName.isEmpty()) return QIcon::fromTheme(themeName, fallback);
    return fallback;
}
