#include "ui/qt/SalvixDlg.h"

#include "session/DiskTree.h"
#include "session/Messages.h"
#include "ui/qt/AboutDlg.h"
#include "ui/qt/DialogUnits.h"
#include "ui/qt/ReportView.h"
#include "ui/common/Resource.h"

#include <QCheckBox>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QStyle>
#include <QTimer>
#include <QTableView>
#include <QTreeWidget>

#include <algorithm>

std::function<void(DWORD)> CSalvixDlg::s_fnErrorHook;
std::function<void(CAboutDlg&)> CSalvixDlg::s_fnAboutHook;
std::function<int(QMenu&, const QPoint&)> CSalvixDlg::s_fnMenuHook;
std::function<QString(const QString&, const QString&)> CSalvixDlg::s_fnFolderHook;
std::function<void(DWORD)> CSalvixDlg::s_fnBeforeRecordHook;
std::function<void()> CSalvixDlg::s_fnWorkerEndHook;
std::function<void()> CSalvixDlg::s_fnSaveStepHook;
std::function<bool(const QString&)> CSalvixDlg::s_fnAskHook;
std::function<void(const QString&)> CSalvixDlg::s_fnReportHook;
std::function<bool(const QString&)> CSalvixDlg::s_fnQuestionHook;

// The icon lives in the library's resources, which a static library must register.
static void LoadUiResources()
{
    static const bool bLoaded = [] {
        Q_INIT_RESOURCE(salvix);
        return true;
    }();
    (void)bLoaded;
}

CSalvixDlg::CSalvixDlg(QWidget* pParent)
    : QDialog(pParent),
      m_pExitButton(nullptr),
      m_pTree(nullptr),
      m_pList(nullptr),
      m_pScanButton(nullptr),
      m_pTotalLabel(nullptr),
      m_pDeletedLabel(nullptr),
      m_pTotalEdit(nullptr),
      m_pDeletedEdit(nullptr),
      m_pHintLabel(nullptr),
      m_pShownLabel(nullptr),
      m_pFilterEdit(nullptr),
      m_pDeletedOnlyCheck(nullptr),
      m_pRecoverableOnlyCheck(nullptr),
      m_pModel(nullptr),
      m_icon((LoadUiResources(), QIcon(QStringLiteral(":/icons/128.png")))),
      m_pTreeRoot(nullptr),
      m_scan(m_session),
      m_bInitialised(false),
      m_pFilterTimer(nullptr),
      m_pSaveProgress(nullptr)
{
    // An application window that can be resized and maximised.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    setFont(DialogFont());
    CreateControls();
    OpenScanEvents();
}

void CSalvixDlg::OpenScanEvents()
{
    // The worker's events are drawn on this thread, one queued call for all
    // that wait; a call still queued when the dialog goes is dropped with it.
    m_scan.OpenEvents([this] {
        return QMetaObject::invokeMethod(this, [this] { m_scan.DrainEvents(*this); }, Qt::QueuedConnection);
    });
}

CSalvixDlg::~CSalvixDlg()
{
    StopWorkerAndWait();
    OnDestroy();
}

void CSalvixDlg::Name(QWidget* pWidget, int nId)
{
    pWidget->setObjectName(QString::number(nId));
}

void CSalvixDlg::CreateControls()
{
    // Template order, which is also the tab order.
    m_pExitButton = new QPushButton(QStringLiteral("退出"), this);
    Name(m_pExitButton, IDCANCEL);
    connect(m_pExitButton, &QPushButton::clicked, this, &CSalvixDlg::OnCancel);

    m_pTree = new QTreeWidget(this);
    Name(m_pTree, IDC_TREE_DRIVES);
    m_pTree->setHeaderHidden(true);
    m_pTree->setRootIsDecorated(true);
    m_pTree->setSelectionMode(QAbstractItemView::SingleSelection);
    m_pTree->setContextMenuPolicy(Qt::PreventContextMenu);

    CreateList();

    m_pScanButton = new QPushButton(QStringLiteral("扫描文件"), this);
    Name(m_pScanButton, IDC_BUTTON_SCAN);
    connect(m_pScanButton, &QPushButton::clicked, this, &CSalvixDlg::OnScanButton);
    CreateCountersAndFilter();

    setTabOrder(m_pExitButton, m_pTree);
    setTabOrder(m_pTree, m_pFilterEdit);
    setTabOrder(m_pFilterEdit, m_pDeletedOnlyCheck);
    setTabOrder(m_pDeletedOnlyCheck, m_pRecoverableOnlyCheck);
    setTabOrder(m_pRecoverableOnlyCheck, m_pList);
    setTabOrder(m_pList, m_pScanButton);

    // Opens at the template's size; smaller only down to what keeps every
    // control within reach.
    const CLayoutMetrics metrics = LayoutMetrics();
    int nWidth = 0, nHeight = 0;
    MainWindowMinimumSize(metrics, nWidth, nHeight);
    setMinimumSize(nWidth, nHeight);
    MainWindowDefaultSize(metrics, nWidth, nHeight);
    resize(nWidth, nHeight);
    LayOutControls();
}

void CSalvixDlg::CreateList()
{
    // A table view keeps nothing per row, so hundreds of thousands of rows
    // arrive as cheaply as a few; dressed as a report list.
    m_pList = new CReportView(this);
    Name(m_pList, IDC_LIST_FILES);
    m_pModel = new CFileListModel(m_pList);
    m_pModel->SetTipSource([this](DWORD dwRecord) { return m_session.RowTip(dwRecord); });
    m_pList->setModel(m_pModel);
    m_pList->setShowGrid(false);
    m_pList->setWordWrap(false);
    m_pList->verticalHeader()->hide();
    m_pList->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_pList->verticalHeader()->setDefaultSectionSize(m_pList->fontMetrics().height() + 4);
    m_pList->horizontalHeader()->setHighlightSections(false);
    m_pList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_pList->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pList->setEditTriggers(QAbstractItemView::SelectedClicked |
                             QAbstractItemView::EditKeyPressed);
    // A click on a column's header sorts by it, a second click reverses; the
    // list starts in the scan's order.
    m_pList->horizontalHeader()->setSectionsClickable(true);
    m_pList->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    m_pList->horizontalHeader()->setSortIndicatorShown(true);
    m_pList->setSortingEnabled(true);
    m_pList->horizontalHeader()->setStretchLastSection(false);
    m_pList->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    m_pList->setContextMenuPolicy(Qt::CustomContextMenu);
    // The list's menu belongs to its rows; its column header offers nothing.
    m_pList->horizontalHeader()->setContextMenuPolicy(Qt::PreventContextMenu);
    connect(m_pList, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pt) { OnListRightClick(m_pList->viewport()->mapToGlobal(pt)); });
    // The line of shown and selected rows follows the rows, the filter and the selection.
    connect(m_pModel, &QAbstractItemModel::modelReset, this, &CSalvixDlg::UpdateShownRows);
    connect(m_pModel, &QAbstractItemModel::layoutChanged, this, &CSalvixDlg::UpdateShownRows);
    connect(m_pModel, &QAbstractItemModel::rowsInserted, this, &CSalvixDlg::UpdateShownRows);
    connect(m_pList->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &CSalvixDlg::UpdateShownRows);
}

void CSalvixDlg::CreateCountersAndFilter()
{
    m_pTotalLabel = new QLabel(QStringLiteral("文件或者文件夹总数 :"), this);
    Name(m_pTotalLabel, IDC_STATIC_TOTAL);
    m_pDeletedLabel = new QLabel(QStringLiteral("删除的文件或者文件夹 :"), this);
    Name(m_pDeletedLabel, IDC_STATIC_DELETED);

    auto makeCounter = [this](int nId) {
        QLineEdit* pEdit = new QLineEdit(this);
        Name(pEdit, nId);
        pEdit->setReadOnly(true);
        pEdit->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        pEdit->setValidator(
            new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), pEdit));
        pEdit->setFocusPolicy(Qt::ClickFocus);
        return pEdit;
    };
    m_pTotalEdit = makeCounter(IDC_EDIT_TOTAL);
    m_pDeletedEdit = makeCounter(IDC_EDIT_DELETED);
    m_pShownLabel = new QLabel(this);
    Name(m_pShownLabel, IDC_STATIC_SHOWN);

    m_pHintLabel = new QLabel(QString::fromUtf8(ReadyHint()), this);
    Name(m_pHintLabel, IDC_STATIC_HINT);
    m_pHintLabel->setWordWrap(true);

    for (QLabel* pLabel : {m_pTotalLabel, m_pDeletedLabel, m_pShownLabel, m_pHintLabel})
        pLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    // Finding one file among hundreds of thousands: above the list, beside
    // the hint, where no other control stands.
    m_pFilterEdit = new QLineEdit(this);
    Name(m_pFilterEdit, IDC_EDIT_FILTER);
    m_pFilterEdit->setPlaceholderText(QString::fromUtf8(kFilterCue));
    m_pFilterEdit->setClearButtonEnabled(true);
    m_pDeletedOnlyCheck = new QCheckBox(QStringLiteral("只显示已删除"), this);
    Name(m_pDeletedOnlyCheck, IDC_CHECK_DELETED_ONLY);
    // Deleted files none of whose clusters another file took since.
    m_pRecoverableOnlyCheck = new QCheckBox(QStringLiteral("只显示可恢复"), this);
    Name(m_pRecoverableOnlyCheck, IDC_CHECK_RECOVERABLE_ONLY);
    m_pFilterTimer = new QTimer(this);
    m_pFilterTimer->setSingleShot(true);
    m_pFilterTimer->setInterval(150);
    connect(m_pFilterEdit, &QLineEdit::textChanged, m_pFilterTimer, qOverload<>(&QTimer::start));
    connect(m_pFilterTimer, &QTimer::timeout, this, &CSalvixDlg::OnFilterChanged);
    connect(m_pDeletedOnlyCheck, &QCheckBox::toggled, this, &CSalvixDlg::OnFilterChanged);
    connect(m_pRecoverableOnlyCheck, &QCheckBox::toggled, this, &CSalvixDlg::OnFilterChanged);
}

void CSalvixDlg::setVisible(bool bVisible)
{
    // The window is initialised once, as it first appears.
    if (bVisible && !m_bInitialised)
    {
        m_bInitialised = true;
        OnInitDialog();
    }
    if (bVisible && !isVisible())
    {
        // Shown again after a close: the worker's events are drawn again,
        // and the next close asks again.
        m_close.Reopen();
        OpenScanEvents();
    }
    QDialog::setVisible(bVisible);
}

BOOL CSalvixDlg::OnInitDialog()
{
    m_bInitialised = true;
#ifdef _WIN32
    // Windows: the About entry goes into the window's own system menu.
    if (HMENU hSysMenu = GetSystemMenu(reinterpret_cast<HWND>(winId()), FALSE))
    {
        AppendMenuA(hSysMenu, MF_SEPARATOR, 0, nullptr);
        AppendMenuA(hSysMenu, MF_STRING, IDM_ABOUTBOX, "&About Salvix...");
    }
#endif
    setWindowIcon(m_icon);
    m_session.CloseDevice();

    // The columns, by the indices the scan and the save command use.
    QHeaderView* pHeader = m_pList->horizontalHeader();
    for (int nColumn = 0; nColumn < eColumnCount; ++nColumn)
    {
        // As wide as the list has them, or as the heading needs, if wider.
        const int nHeading = pHeader->fontMetrics().horizontalAdvance(QString::fromUtf8(ColumnHeading(nColumn))) +
                             2 * pHeader->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, pHeader);
        pHeader->resizeSection(nColumn, std::max(ColumnWidth(nColumn), nHeading));
    }
    // "#" leftmost, then the name, then the rest in index order.
    for (int nVisual = 0; nVisual < eColumnCount; ++nVisual)
        pHeader->moveSection(pHeader->visualIndex(kColumnOrder[nVisual]), nVisual);

    m_pTree->clear();
    m_vecTargets.clear();
    m_pTreeRoot = new QTreeWidgetItem(m_pTree, QStringList(QString::fromUtf8(kTreeRootText)));
    const DWORD dwCode = EnumeratePartitions();
    m_pTree->expandItem(m_pTreeRoot);
    if (dwCode != 0)
        ShowSystemError(dwCode);

    setWindowTitle(QString::fromUtf8(kMainWindowTitle));
    // The focus starts on the first control in tab order.
    m_pExitButton->setFocus(Qt::OtherFocusReason);
    return TRUE;
}

DWORD CSalvixDlg::EnumeratePartitions()
{
    const CDiskTree tree = BuildDiskTree();
    for (const CTreeDisk& disk : tree.m_vecDisks)
    {
        // One disk: its partitions under "Drives"; several: a node each.
        QTreeWidgetItem* pParent = m_pTreeRoot;
        if (!tree.SingleDisk())
        {
            pParent = new QTreeWidgetItem(m_pTreeRoot, QStringList(QString::fromStdString(disk.m_strText)));
            pParent->setToolTip(0, pParent->text(0));
        }
        for (const CTreePartition& partition : disk.m_vecPartitions)
            AddDriveItem(pParent, partition.m_strText.c_str(), partition.m_target);
        pParent->setExpanded(true);
    }
    return tree.m_dwError;
}

QTreeWidgetItem* CSalvixDlg::AddDriveItem(const char* pszText, const PartitionRecord& record)
{
    CScanTarget target;
    target.m_partition = record;
    return AddDriveItem(m_pTreeRoot, pszText, target);
}

void CSalvixDlg::ShowSystemError(DWORD dwCode)
{
    DisplayError(dwCode, std::string());
}

void CSalvixDlg::DisplayError(DWORD dwCode, const std::string& strText)
{
    if (s_fnErrorHook)
    {
        s_fnErrorHook(dwCode);
        return;
    }
    const QString strShown = QString::fromStdString(strText.empty() ? SystemErrorText(dwCode) : strText);
    QMessageBox box(QMessageBox::Critical, QString::fromUtf8(kErrorBoxCaption), strShown, QMessageBox::Ok,
                    this);
    box.exec();
}

void CSalvixDlg::OnSysCommand(UINT nID, quintptr /*lParam*/)
{
    if ((nID & 0xFFF0) == IDM_ABOUTBOX)
    {
        CAboutDlg about(this);
        if (s_fnAboutHook)
            s_fnAboutHook(about);
        else
            about.exec();
        return;
    }
    // The standard commands, as the window's default processing carries them out.
    switch (nID & 0xFFF0)
    {
    case SC_MINIMIZE:
        showMinimized();
        break;
    case SC_RESTORE:
        showNormal();
        break;
    case SC_CLOSE:
        close();
        break;
    default:
        break;
    }
}

void CSalvixDlg::OnDestroy()
{
    m_session.CloseDevice();
}

void CSalvixDlg::OnFilterChanged()
{
    m_pFilterTimer->stop();
    m_pModel->SetFilter(m_pFilterEdit->text(), m_pDeletedOnlyCheck->isChecked(),
                        m_pRecoverableOnlyCheck->isChecked());
}

void CSalvixDlg::OnOK()
{
    done(IDOK);
}

void CSalvixDlg::OnCancel()
{
    done(IDCANCEL);
}

void CSalvixDlg::reject()
{
    OnCancel();
}

void CSalvixDlg::done(int nResult)
{
    // The user is asked first; a save keeps the window alive between its
    // steps, and the window closes once the step in hand is over.
    if (!m_close.MayClose(nResult, m_pModel->Store().Size(),
                          [this](const char* pszQuestion) { return AskToClose(pszQuestion); }, m_saveGuard))
        return;
    // The worker uses the drive object and the device handle: it is stopped
    // and waited for before they go.
    StopWorkerAndWait();
    QDialog::done(nResult);
    OnDestroy();
}

void CSalvixDlg::StopWorkerAndWait()
{
    // A worker waiting for an error box is released: no box shows any more.
    m_scan.StopAndWait();
}

bool CSalvixDlg::AskToClose(const char* pszQuestion)
{
    const QString strQuestion = QString::fromUtf8(pszQuestion);
    if (s_fnAskHook)
        return s_fnAskHook(strQuestion);
    return QMessageBox::question(this, windowTitle(), strQuestion, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

void CSalvixDlg::contextMenuEvent(QContextMenuEvent* pEvent)
{
#ifdef _WIN32
    // The real system menu carries the entry there.
    QDialog::contextMenuEvent(pEvent);
#else
    // Where the window manager owns the system menu, the dialog's background
    // offers the entry the system menu would carry.
    QMenu menu(this);
    QAction* pAbout = menu.addAction(QStringLiteral("&About Salvix..."));
    pAbout->setData(IDM_ABOUTBOX);
    int nCommand = 0;
    if (s_fnMenuHook)
        nCommand = s_fnMenuHook(menu, pEvent->globalPos());
    else if (QAction* pChosen = menu.exec(pEvent->globalPos()))
        nCommand = pChosen->data().toInt();
    if (nCommand)
        OnSysCommand(static_cast<UINT>(nCommand));
#endif
}

#ifdef _WIN32
bool CSalvixDlg::nativeEvent(const QByteArray& eventType, void* pMessage, qintptr* pResult)
{
    const MSG* pMsg = static_cast<const MSG*>(pMessage);
    if (eventType == "windows_generic_MSG" && pMsg->message == WM_SYSCOMMAND &&
        (pMsg->wParam & 0xFFF0) == IDM_ABOUTBOX)
    {
        OnSysCommand(static_cast<UINT>(pMsg->wParam), static_cast<quintptr>(pMsg->lParam));
        *pResult = 0;
        return true;
    }
    return QDialog::nativeEvent(eventType, pMessage, pResult);
}
#endif

void CSalvixDlg::paintEvent(QPaintEvent* pEvent)
{
    if (isMinimized())
    {
        QPainter painter(this);
        const QSize sizeIcon(32, 32);
        const QPoint pt =
            MinimizedIconPosition(width(), height(), sizeIcon.width(), sizeIcon.height());
        m_icon.paint(&painter, QRect(pt, sizeIcon));
        return;
    }
    QDialog::paintEvent(pEvent);
}
