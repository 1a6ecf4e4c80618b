// SPDX-License-Identifier: MIT
#pragma once

// Failures of the platform pieces (opener, autostart, tray, signals) that the user is not shown.
#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcComponents)
