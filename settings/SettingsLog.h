// SPDX-License-Identifier: MIT
#pragma once

// Settings values that could not be read or written.
#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcSettings)
