// The main window's controls at any size (as the session's layout places
// them), the line of shown and selected rows under the counters, the keys,
// and the tips of the tree's partitions.
#include "ui/qt/SalvixDlg.h"

#include "session/PartitionTip.h"
#include "ui/common/ControlPlaces.h"
#include "ui/qt/DialogUnits.h"

#include <QCheckBox>
#include <QItemSelectionModel>
#include <QKeyEvent>
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

// A partition's item: its tip (size and volume label) is read from the disk
// the first time it is asked for, not for every partition as the tree fills.
class CPartitionItem : public QTreeWidgetItem
{
public:
    CPartitionItem(QTreeWidgetItem* pParent, const QString& strText, const CScanTarget* pTarget)
        : QTreeWidgetItem(pParent, QStringList(strText)), m_pTarget(pTarget)
    {
    }
    QVariant data(int nColumn, int nRole) const override
    {
        if (nRole == Qt::ToolTipRole && nColumn == 0)
        {
            if (m_strTip.isEmpty())
                m_strTip = QString::fromStdString(PartitionTip(*m_pTarget));
            return m_strTip;
        }
        return QTreeWidgetItem::data(nColumn, nRole);
    }

private:
    const CScanTarget* m_pTarget;
    mutable QString m_strTip;
};

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
    // Each control is named by its id (Name).
    for (const CControlPlace& place : ControlPlaces(LayOutMainWindow(LayoutMetrics(), width(), height())))
        if (QWidget* pWidget = findChild<QWidget*>(QString::number(place.m_nId), Qt::FindDirectChildrenOnly))
            Put(pWidget, place.m_rect);
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

QTreeWidgetItem* CSalvixDlg::AddDriveItem(QTreeWidgetItem* pParent, const char* pszText,
                                          const CScanTarget& target)
{
    // The item points at its own copy of the partition and its disk, kept as
    // long as the dialog.
    m_vecTargets.push_back(std::make_unique<CScanTarget>(target));
    QTreeWidgetItem* pItem = new CPartitionItem(pParent, QString::fromUtf8(pszText), m_vecTargets.back().get());
    pItem->setData(0, Qt::UserRole,
                   QVariant::fromValue(reinterpret_cast<quintptr>(m_vecTargets.back().get())));
    return pItem;
}

void CSalvixDlg::keyPressEvent(QKeyEvent* pEvent)
{
    QWidget* pFocus = focusWidget();
    switch (pEvent->key())
    {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // A focused push button presses itself; the search field applies its
        // text at once; a partition of the tree is scanned; from anywhere
        // else Enter closes the window.
        if (QPushButton* pButton = qobject_cast<QPushButton*>(pFocus))
            pButton->click();
        else if (pFocus == m_pFilterEdit)
            OnFilterChanged();
        else if (pFocus == m_pTree)
            OnTreeEnter();
        else
            OnOK();
        return;
    case Qt::Key_Escape:
        // In the search field Esc empties it; it never closes the window.
        if (pFocus == m_pFilterEdit)
        {
            m_pFilterEdit->clear();
            OnFilterChanged();
        }
        else
        {
            OnCancel();
        }
        return;
    default:
        QDialog::keyPressEvent(pEvent);
    }
}
