// SPDX-License-Identifier: MIT
#include "components/ComponentsLog.h"

Q_LOGGING_CATEGORY(lcComponents, "listra.components")
