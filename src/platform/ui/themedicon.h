#pragma once

#include <QIcon>
#include <QString>

// An icon drawn from its SVG file with the colours of the application's palette at the time it is
// painted: as designed on a light scheme; on a dark one, its parts too dark to stand out from the
// window's background are lightened until they do (3:1, what the accessibility guidelines ask of
// graphics). It follows a change of the scheme while the program runs.
QIcon ThemedIcon(const QString& svgPath);
