// Our picture set: SVG files compiled in as ":/pictures/<name>.svg" (open, save, play,
// record, help, ok, cancel, mwave, about, wavestack, ...). Where the desktop's icon theme has
// a standard freedesktop name for a picture, the theme's icon is preferred and ours is the
// fallback.
#pragma once

#include <QIcon>
#include <QImage>
#include <QSize>
#include <QString>

// The picture rendered at `logicalSize` (device pixels = logical x ratio; the image carries
// the ratio). A theme icon when the theme has one, else ours; a null image for an unknown
// name. UI thread (theme icons are pixmaps).
QImage PictureImage(const QString& name, QSize logicalSize, qreal devicePixelRatio = 1.0);
// Our own SVG picture only, never the theme's. Any thread.
QImage OwnPictureImage(const QString& name, QSize logicalSize, qreal devicePixelRatio = 1.0);
// An icon for windows, menus and actions: the theme's when it has one, else ours (sharp at
// every size). A null icon for an unknown name.
QIcon PictureIcon(const QString& name);
// The freedesktop name preferred for a picture, or empty when there is none.
QString ThemeNameOf(const QString& name);
