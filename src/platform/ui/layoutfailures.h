#pragma once

#include <QtGlobal>

// A window that cannot lay out its controls at the size it was given counts the failure in
// `failures`; every hundred-and-first one in a row complains to the user.
void CountLayoutFailure(qint16& failures);
