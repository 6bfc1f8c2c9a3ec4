#pragma once
// The drive family's access value. Written to the access parameter "FB91" (request kind
// "P") before the drive's identity is read and before whole-table transfers; the drive
// refuses maintenance access without it. One value for every writer, so the drive never
// sees two different keys from one program.
#include <QString>

inline constexpr int kDriveAccessValue = 100;
inline constexpr const char* kDriveAccessNumber = "FB91";

// The value as the exchange takes it (decimal text).
inline QString driveAccessValueText() {
    return QString::number(kDriveAccessValue);
}

static_assert(kDriveAccessValue >= 100 && kDriveAccessValue <= 999, "three decimal digits");
