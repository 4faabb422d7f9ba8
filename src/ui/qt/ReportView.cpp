#include "ui/qt/ReportView.h"

#include <QStyledItemDelegate>

namespace
{

class CRowDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* pOption, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(pOption, index);
        pOption->state &= ~QStyle::State_HasFocus;
    }
};

}  // namespace

CReportView::CReportView(QWidget* pParent) : QTableView(pParent)
{
    setItemDelegate(new CRowDelegate(this));
}

QModelIndex CReportView::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers)
{
    if (action == MoveHome || action == MoveEnd)
        modifiers |= Qt::ControlModifier;
    return QTableView::moveCursor(action, modifiers);
}
