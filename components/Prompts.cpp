#include "components/Prompts.h"

const QString Prompts::kAppTitle = QStringLiteral("Velmora - Listra");
