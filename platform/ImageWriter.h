#pragma once
// Pictures written to files: BMP through QImage, JPEG through libjpeg. Both go through a
// temporary file and a rename, so a failure leaves an existing file as it was. Failures
// come back as false with a reason; nothing here ends the program.
#include <QByteArray>
#include <QImage>
#include <QString>

namespace ImageWriter {

// A 24-bit BMP of the image.
bool writeBmp(const QString& path, const QImage& image, QString* error = nullptr);

// A colour baseline JPEG of the image at quality 100 with the slow, exact DCT, written
// scan line by scan line into memory, then to the file.
bool writeJpeg(const QString& path, const QImage& image, QString* error = nullptr);

} // namespace ImageWriter
