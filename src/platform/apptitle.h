#pragma once

#include <QString>

// The program's name, as its window caption and every message box show it.
inline const QString kAppTitle = QStringLiteral("Orvel XML Editor");
