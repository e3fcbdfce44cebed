#include "platform/ui/layoutfailures.h"

#include "platform/apptitle.h"
#include "platform/ui/uiservices.h"

void CountLayoutFailure(qint16& failures) {
    ++failures;
    if (failures <= 100)
        return;
    failures = 0;
    MsgBox(QStringLiteral("Oh, com'on man! Stop screwing around with the window."),
           MsgButtons::OKOnly, MsgIcon::Critical, kAppTitle);
}
