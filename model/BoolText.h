// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

// Trimmed, upper-cased: "", blanks -> defaultValue; "TRUE", "1", "-1" -> true; anything else false.
bool TextToBool(const QString &text, bool defaultValue);
