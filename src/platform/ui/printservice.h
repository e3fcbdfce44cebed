#pragma once

#include <QString>

// Printing goes through here, so that tests run without a print dialog or a printer. Tests
// install a scripted implementation.

enum class PrintResult { Printed, Cancelled, Failed };

class PrintService {
public:
    virtual ~PrintService() = default;
    // Shows the print dialog and prints `xml` with its highlighting when the user goes on;
    // `documentName` is the name the print job carries.
    virtual PrintResult printXml(const QString& xml, const QString& documentName) = 0;
};

// The service in use; the Qt implementation unless a test installed its own.
PrintService& Printing();
// Installs `service` (nullptr restores the Qt implementation).
void SetPrintService(PrintService* service);
