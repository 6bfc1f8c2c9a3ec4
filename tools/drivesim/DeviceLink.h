#pragma once
// The symbolic link through which programs find the simulated drive's terminal.
#include <QString>

// Points link at target. A stale link left by an earlier run is replaced; any other file at
// that path is refused. False with a reason on failure.
bool makeDeviceLink(const QString& link, const QString& target, QString* error = nullptr);
// Removes link if it still points at target (another run may have taken the name over).
void removeDeviceLink(const QString& link, const QString& target);
