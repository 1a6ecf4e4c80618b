// SPDX-License-Identifier: MIT
#include "storage/StorageLog.h"

Q_LOGGING_CATEGORY(lcStorage, "listra.storage")
