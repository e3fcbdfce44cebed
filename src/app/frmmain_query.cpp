#include "app/frmmain.h"

#include "search/frmquery.h"

void frmMain::mnuQuery_Click() {
    // One window at a time; a second opening takes a new snapshot and brings it to the front.
    if (!m_frmQuery)
        m_frmQuery = new frmQuery(this, m_lTreeTextMaxLength);
    m_frmQuery->SetDomObject(m_objDocument);
    m_frmQuery->show();
    m_frmQuery->raise();
    m_frmQuery->activateWindow();
}
