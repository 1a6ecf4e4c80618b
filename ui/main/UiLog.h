// SPDX-License-Identifier: MIT
#pragma once

// Failures in the main window that the user is not shown (a save at session end, a backup).
#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcUi)
