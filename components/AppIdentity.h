// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

namespace AppIdentity {
// Names the activation channel, the instance lock and the start-up registration.
inline const QString kGuid = QStringLiteral("{5D0A3C71-9E42-4F6B-8C1D-2B7E6A94F0C3}");
inline const QString kOrganization = QStringLiteral("Graywick");
inline const QString kApplication = QStringLiteral("Listra");
inline const QString kAppTitle = QStringLiteral("Velmora - Listra");
} // namespace AppIdentity
