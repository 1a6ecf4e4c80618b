// SPDX-License-Identifier: MIT
#pragma once

// Failures of reading and writing the task file that the user is not shown.
#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcStorage)
// How a large file was parsed: in pieces, or whole after they failed (debug, off unless asked).
Q_DECLARE_LOGGING_CATEGORY(lcPieces)
