#pragma once
// Texts taken from a file and quoted in a message box: cut to a length a box shows at a
// glance, so that a damaged file can never make a box that takes seconds to lay out.
#include <QString>

namespace BoxText {

inline constexpr int kQuotedLength = 40;

// The text with control characters (a file cut off by a power loss ends in zero bytes)
// shown as U+FFFD, and cut to maxChars characters, the last of them "…", when it is longer.
QString quoted(const QString& text, int maxChars = kQuotedLength);

} // namespace BoxText
