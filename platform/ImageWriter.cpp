#include "platform/ImageWriter.h"

#include "platform/TextFile.h"

#include <QBuffer>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>

// jpeglib.h needs FILE and size_t declared before it.
#include <jpeglib.h>

namespace {

// libjpeg's own error handler ends the process; this one jumps back to the encoder with the
// library's message instead.
struct JpegErrors {
    jpeg_error_mgr pub;
    std::jmp_buf back;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void jpegErrorExit(j_common_ptr cinfo) {
    auto* errors = reinterpret_cast<JpegErrors*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, errors->message);
    std::longjmp(errors->back, 1);
}

// Warnings (corrupt-data notes) would go to stderr; the encoder has none worth showing.
void jpegQuiet(j_common_ptr) {}

// Only plain data lives in this frame, so the jump back from the error handler skips no
// destructor. `rgb` is Format_RGB888.
// The file's bytes go into a buffer libjpeg allocates (*out, *size), which the caller frees
// whatever the outcome.
bool encodeJpeg(unsigned char** out, unsigned long* size, const QImage& rgb, char* message) {
    jpeg_compress_struct cinfo;
    JpegErrors errors;
    cinfo.err = jpeg_std_error(&errors.pub);
    errors.pub.error_exit = jpegErrorExit;
    errors.pub.output_message = jpegQuiet;
    errors.message[0] = '\0';
    if (setjmp(errors.back)) {
        std::snprintf(message, JMSG_LENGTH_MAX, "%s", errors.message);
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, out, size);
    cinfo.image_width = JDIMENSION(rgb.width());
    cinfo.image_height = JDIMENSION(rgb.height());
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 100, TRUE);
    cinfo.dct_method = JDCT_ISLOW;
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPLE*>(rgb.constScanLine(int(cinfo.next_scanline)));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

void setError(QString* error, const QString& text) {
    if (error)
        *error = text;
}

} // namespace

namespace ImageWriter {

bool writeBmp(const QString& path, const QImage& image, QString* error) {
    if (image.isNull()) {
        setError(error, QStringLiteral("Cannot write %1: the picture is empty").arg(path));
        return false;
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    // Qt writes images without an indexed palette as 24-bit BMP.
    if (!image.convertToFormat(QImage::Format_RGB888).save(&buffer, "BMP")) {
        setError(error, QStringLiteral("Cannot write %1: the BMP could not be made").arg(path));
        return false;
    }
    return TextFile::writeBytes(path, bytes, error);
}

bool writeJpeg(const QString& path, const QImage& image, QString* error) {
    if (image.isNull()) {
        setError(error, QStringLiteral("Cannot write %1: the picture is empty").arg(path));
        return false;
    }
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    char message[JMSG_LENGTH_MAX] = {};
    const bool encoded = encodeJpeg(&buffer, &size, rgb, message);
    QByteArray bytes;
    if (encoded)
        bytes = QByteArray(reinterpret_cast<const char*>(buffer), qsizetype(size));
    std::free(buffer);
    if (!encoded) {
        setError(error, QStringLiteral("Cannot write %1: %2").arg(path, QString::fromLocal8Bit(message)));
        return false;
    }
    // Written as every other file is: a temporary file of the common pattern, which a save cut
    // off leaves for the next save of the picture to remove.
    return TextFile::writeBytes(path, bytes, error);
}

} // namespace ImageWriter
