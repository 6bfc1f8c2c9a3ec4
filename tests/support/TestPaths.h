#pragma once
// Where the tests find the shipped program folder and build outputs.
#include <QString>

inline QString sourceDir() {
    return QStringLiteral(KVR_SOURCE_DIR);
}
inline QString shippedDataDir() {
    return QStringLiteral(KVR_SOURCE_DIR "/data");
}
inline QString binaryDir() {
    return QStringLiteral(KVR_BINARY_DIR);
}
