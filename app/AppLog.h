// SPDX-License-Identifier: MIT
#pragma once

// Start-up failures that happen before there is a window to show them in.
#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcApp)
