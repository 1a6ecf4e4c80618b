// SPDX-License-Identifier: MIT
#pragma once

// Encoding detection and the checks on bytes before they reach the parser (private to the
// storage layer).

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

enum class Recoding { AsIs, Recoded, Broken };

// Wide encodings and declared legacy code pages ("windows-1251", "koi8-r") become UTF-8 in
// utf8, so the parser only ever sees UTF-8; bytes that do not decode refuse the file instead of
// turning into replacement characters. AsIs for UTF-8, and for an encoding nobody knows, which
// is read as UTF-8 like before.
Recoding recodeToUtf8(QByteArrayView bytes, QByteArray *utf8, QString *error);
// Whether a file starting with these bytes (a few hundred will do) is read AsIs.
bool readsAsUtf8(QByteArrayView first);

// The parser writes a referenced code point as it is: "&#0;" would cut a text short, and a
// surrogate or a number beyond Unicode would become bytes that are no UTF-8. XML allows
// neither. The offset of the first such reference, or -1.
qsizetype firstBadReference(QByteArrayView bytes);
