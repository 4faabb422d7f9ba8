// The main window's controls at any size (as the session's layout places
// them), and the line of shown and selected rows under the counters.
#include "ui/SalvixDlg.h"

#include "ui/DialogUnits.h"

#include <QCheckBox>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTreeWidget>

#include <algorithm>
#include <utility>

namespace
{

void Put(QWidget* pWidget, const CWindowRect& rect)
{
    pWidget->setGeometry(rect.m_nX, rect.m_nY, rect.m_nWidth, rect.m_nHeight);
}

}  // namespace

CLayoutMetrics CSalvixDlg::LayoutMetrics() const
{
    const CDialogBaseUnits units = DialogBaseUnitsOf(font());
    CLayoutMetrics metrics;
    metrics.m_nBaseX = units.m_nBaseX;
    metrics.m_nBaseY = units.m_nBaseY;
    // The captions are as wide as their texts, so that none is cut.
    for (const QLabel* pLabel : {m_pTotalLabel, m_pDeletedLabel})
        metrics.m_nCaptionWidth =
            std::max(metrics.m_nCaptionWidth, pLabel->fontMetrics().horizontalAdvance(pLabel->text()) + 2);
    return metrics;
}

void CSalvixDlg::LayOutControls()
{
    const CMainWindowLayout layout = LayOutMainWindow(LayoutMetrics(), width(), height());
    Put(m_pExitButton, layout.m_rcExit);
    Put(m_pTree, layout.m_rcTree);
    Put(m_pFilterEdit, layout.m_rcFilter);
    Put(m_pDeletedOnlyCheck, layout.m_rcDeletedOnly);
    Put(m_pList, layout.m_rcList);
    Put(m_pScanButton, layout.m_rcScan);
    Put(m_pTotalLabel, layout.m_rcTotalCaption);
    Put(m_pDeletedLabel, layout.m_rcDeletedCaption);
    Put(m_pTotalEdit, layout.m_rcTotal);
    Put(m_pDeletedEdit, layout.m_rcDeleted);
    Put(m_pShownLabel, layout.m_rcShown);
    Put(m_pHintLabel, layout.m_rcHint);
}

void CSalvixDlg::resizeEvent(QResizeEvent* pEvent)
{
    QDialog::resizeEvent(pEvent);
    LayOutControls();
}

void CSalvixDlg::UpdateShownRows()
{
    if (m_pModel->Store().Size() == 0)
    {
        m_pShownLabel->clear();
        return;
    }
    // Whole rows are selected; the selection's ranges may overlap, so each
    // row counts once.
    std::vector<std::pair<int, int>> vecRanges;
    for (const QItemSelectionRange& range : m_pList->selectionModel()->selection())
        vecRanges.emplace_back(range.top(), range.bottom());
    std::sort(vecRanges.begin(), vecRanges.end());
    size_t nSelected = 0;
    int nNext = 0;  // the first row not yet counted
    for (const auto& [nTop, nBottom] : vecRanges)
    {
        const int nFrom = std::max(nTop, nNext);
        if (nBottom >= nFrom)
            nSelected += static_cast<size_t>(nBottom - nFrom + 1);
        nNext = std::max(nNext, nBottom + 1);
    }
    m_pShownLabel->setText(QString::fromStdString(
        ShownRowsText(static_cast<size_t>(m_pModel->rowCount()), nSelected)));
}
