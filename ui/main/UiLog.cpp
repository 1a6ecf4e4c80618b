// SPDX-License-Identifier: MIT
#include "ui/main/UiLog.h"

Q_LOGGING_CATEGORY(lcUi, "listra.ui")
