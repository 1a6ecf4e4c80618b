// SPDX-License-Identifier: MIT
#include "storage/StorageLog.h"

Q_LOGGING_CATEGORY(lcStorage, "listra.storage")
Q_LOGGING_CATEGORY(lcPieces, "listra.storage.pieces", QtInfoMsg)
