#pragma once

#include <QString>

// What a failed load leaves behind. All empty/zero after a successful load.
struct XmlParseError {
    QString reason;
    QString srcText; // the offending source line (cut around the error when very long)
    int line = 0;
    int linepos = 0;
};
