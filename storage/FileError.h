// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

// Why a file operation failed, for the user: Russian words for the common causes, then the
// system's own text in brackets ("Недостаточно места на диске (No space left on device)").
// systemError is errno as it stood right after the failing call, 0 when the system gave none;
// then fallback (what Qt said) stands alone.
QString fileErrorText(int systemError, const QString &fallback = {});

// errno right now, for fileErrorText; clear it with clearSystemError before the call it explains.
int lastSystemError();
void clearSystemError();
