#pragma once

#include <QString>

// Makes a rename inside folder durable: after a power cut the folder lists the new file, not
// the old one or none. False when the system refused (errno tells why); true where there is
// nothing to do.
bool syncFolder(const QString &folder);
