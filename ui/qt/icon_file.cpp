// Writes the program icon, as the Qt window draws it, into an .ico file for
// the Windows build's resources (ui/win32/keldor.ico), or as the PNG files
// of the desktop's icon theme (packaging/linux/icons/):
//   keldor_icon_file OUTPUT.ico
//   keldor_icon_file --png FOLDER NAME   (FOLDER/<N>x<N>/NAME.png)
// Each size of the .ico is stored as a PNG image, which Windows reads since
// Vista.

#include "ui/qt/program_icon.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QGuiApplication>

#include <cstdio>
#include <vector>

namespace {

void putLe16(QByteArray& out, unsigned value) {
    out.append(static_cast<char>(value & 0xFF));
    out.append(static_cast<char>((value >> 8) & 0xFF));
}

void putLe32(QByteArray& out, unsigned value) {
    putLe16(out, value & 0xFFFF);
    putLe16(out, value >> 16);
}

} // namespace

int main(int argc, char* argv[]) {
    QGuiApplication app(argc, argv);
    if (argc == 4 && QString::fromLocal8Bit(argv[1]) == QStringLiteral("--png")) {
        for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
            const QString folder =
                QString::fromLocal8Bit(argv[2]) + QStringLiteral("/%1x%1").arg(size);
            const QString file = folder + QLatin1Char('/') + QString::fromLocal8Bit(argv[3]) +
                                 QStringLiteral(".png");
            if (!QDir().mkpath(folder) || !keldor::ui::programPixmap(size).save(file, "PNG")) {
                std::fprintf(stderr, "could not write %s\n", file.toLocal8Bit().constData());
                return 1;
            }
        }
        return 0;
    }
    if (argc != 2) {
        std::fprintf(stderr, "usage: keldor_icon_file OUTPUT.ico\n");
        return 2;
    }
    const std::vector<int> sizes = {16, 24, 32, 48, 64, 256};
    std::vector<QByteArray> images;
    for (const int size : sizes) {
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        keldor::ui::programPixmap(size).save(&buffer, "PNG");
        images.push_back(png);
    }

    QByteArray ico;
    putLe16(ico, 0); // reserved
    putLe16(ico, 1); // an icon
    putLe16(ico, static_cast<unsigned>(sizes.size()));
    unsigned offset = 6 + 16 * static_cast<unsigned>(sizes.size());
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const unsigned side = sizes[i] >= 256 ? 0 : static_cast<unsigned>(sizes[i]); // 0 means 256
        ico.append(static_cast<char>(side));
        ico.append(static_cast<char>(side));
        ico.append('\0'); // no palette
        ico.append('\0');
        putLe16(ico, 1);  // colour planes
        putLe16(ico, 32); // bits per pixel
        putLe32(ico, static_cast<unsigned>(images[i].size()));
        putLe32(ico, offset);
        offset += static_cast<unsigned>(images[i].size());
    }
    for (const QByteArray& image : images) {
        ico.append(image);
    }

    QFile file(QString::fromLocal8Bit(argv[1]));
    if (!file.open(QIODevice::WriteOnly) || file.write(ico) != ico.size()) {
        std::fprintf(stderr, "could not write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
