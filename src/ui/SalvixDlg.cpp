#include "ui/SalvixDlg.h"

#include "session/DiskTree.h"
#include "session/Messages.h"
#include "ui/AboutDlg.h"
#include "ui/DialogUnits.h"
#include "ui/ReportView.h"
#include "ui/Resource.h"

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
#include <QThread>
#include <QTimer>
#include <QTableView>
#include <QTreeWidget>

std::function<void(DWORD)> CSalvixDlg::s_fnErrorHook;
std::function<void(CAboutDlg&)> CSalvixDlg::s_fnAboutHook;
std::function<int(QMenu&, const QPoint&)> CSalvixDlg::s_fnMenuHook;
std::function<QString(const QString&, const QString&)> CSalvixDlg::s_fnFolderHook;
std::function<void(DWORD)> CSalvixDlg::s_fnBeforeRecordHook;
std::function<void()> CSalvixDlg::s_fnWorkerEndHook;
std::function<void()> CSalvixDlg::s_fnSaveStepHook;
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

namespace
{

// Template 102, in dialog units, 104 wider than it first was so that the
// list shows the folder column beside the others without scrolling; the
// controls on the right moved with it.
const int kWiden = 104;
const int kDialogWidth = 416 + kWiden;
const int kDialogHeight = 223;

}  // namespace

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
      m_pFilterEdit(nullptr),
      m_pDeletedOnlyCheck(nullptr),
      m_pModel(nullptr),
      m_icon((LoadUiResources(), QIcon(QStringLiteral(":/icons/128.png")))),
      m_pTreeRoot(nullptr),
      m_scan(m_session),
      m_bInitialised(false),
      m_bDestroyed(false),
      m_bClosing(false),
      m_pSaveProgress(nullptr)
{
    // A fixed-size application window: caption, close and minimise, no maximise.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFont(DialogFont());
    CreateControls();
}

CSalvixDlg::~CSalvixDlg()
{
    StopWorkerAndWait();
    OnDestroy();
}

void CSalvixDlg::Place(QWidget* pWidget, int nId, int nX, int nY, int nWidth, int nHeight)
{
    pWidget->setObjectName(QString::number(nId));
    pWidget->setGeometry(MapDialogRect(DialogBaseUnitsOf(font()), nX, nY, nWidth, nHeight));
}

void CSalvixDlg::CreateControls()
{
    setFixedSize(MapDialogRect(DialogBaseUnitsOf(font()), 0, 0, kDialogWidth, kDialogHeight).size());

    // Template order, which is also the tab order.
    m_pExitButton = new QPushButton(QStringLiteral("退出"), this);
    Place(m_pExitButton, IDCANCEL, 323 + kWiden, 189, 86, 25);
    connect(m_pExitButton, &QPushButton::clicked, this, &CSalvixDlg::OnCancel);

    m_pTree = new QTreeWidget(this);
    Place(m_pTree, IDC_TREE_DRIVES, 7, 23, 86, 153);
    m_pTree->setHeaderHidden(true);
    m_pTree->setRootIsDecorated(true);
    m_pTree->setSelectionMode(QAbstractItemView::SingleSelection);
    m_pTree->setContextMenuPolicy(Qt::PreventContextMenu);

    CreateList();

    m_pScanButton = new QPushButton(QStringLiteral("扫描文件"), this);
    Place(m_pScanButton, IDC_BUTTON_SCAN, 7, 189, 86, 25);
    connect(m_pScanButton, &QPushButton::clicked, this, &CSalvixDlg::OnScanButton);
    CreateCountersAndFilter();

    setTabOrder(m_pExitButton, m_pTree);
    setTabOrder(m_pTree, m_pFilterEdit);
    setTabOrder(m_pFilterEdit, m_pDeletedOnlyCheck);
    setTabOrder(m_pDeletedOnlyCheck, m_pList);
    setTabOrder(m_pList, m_pScanButton);
}

void CSalvixDlg::CreateList()
{
    // A table view keeps nothing per row, so hundreds of thousands of rows
    // arrive as cheaply as a few; dressed as a report list.
    m_pList = new CReportView(this);
    Place(m_pList, IDC_LIST_FILES, 96, 25, 313 + kWiden, 154);
    m_pModel = new CFileListModel(m_pList);
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
}

void CSalvixDlg::CreateCountersAndFilter()
{
    m_pTotalLabel = new QLabel(QStringLiteral("文件或者文件夹总数 :"), this);
    Place(m_pTotalLabel, IDC_STATIC_TOTAL, 115, 190, 69, 8);
    m_pDeletedLabel = new QLabel(QStringLiteral("删除的文件或者文件夹 :"), this);
    Place(m_pDeletedLabel, IDC_STATIC_DELETED, 115, 203, 69, 9);

    auto makeCounter = [this](int nId, int nY) {
        QLineEdit* pEdit = new QLineEdit(this);
        Place(pEdit, nId, 188, nY, 70, 12);
        pEdit->setReadOnly(true);
        pEdit->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        pEdit->setValidator(
            new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), pEdit));
        pEdit->setFocusPolicy(Qt::ClickFocus);
        return pEdit;
    };
    m_pTotalEdit = makeCounter(IDC_EDIT_TOTAL, 188);
    m_pDeletedEdit = makeCounter(IDC_EDIT_DELETED, 202);

    m_pHintLabel = new QLabel(QString::fromStdString(ScanHintText(0, 0)), this);
    Place(m_pHintLabel, IDC_STATIC_HINT, 219, 7, 115, 15);
    m_pHintLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    for (QLabel* pLabel : {m_pTotalLabel, m_pDeletedLabel})
        pLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    // Finding one file among hundreds of thousands: above the list, beside
    // the hint, where no other control stands.
    m_pFilterEdit = new QLineEdit(this);
    Place(m_pFilterEdit, IDC_EDIT_FILTER, 96, 7, 118, 13);
    m_pFilterEdit->setPlaceholderText(QStringLiteral("查找文件名或路径"));
    m_pFilterEdit->setClearButtonEnabled(true);
    m_pDeletedOnlyCheck = new QCheckBox(QStringLiteral("只显示已删除"), this);
    Place(m_pDeletedOnlyCheck, IDC_CHECK_DELETED_ONLY, 338 + kWiden, 7, 71, 12);
    auto* pFilterTimer = new QTimer(this);
    pFilterTimer->setSingleShot(true);
    pFilterTimer->setInterval(150);
    connect(m_pFilterEdit, &QLineEdit::textChanged, pFilterTimer, qOverload<>(&QTimer::start));
    connect(pFilterTimer, &QTimer::timeout, this, &CSalvixDlg::OnFilterChanged);
    connect(m_pDeletedOnlyCheck, &QCheckBox::toggled, this, &CSalvixDlg::OnFilterChanged);
}

void CSalvixDlg::setVisible(bool bVisible)
{
    // The window is initialised once, as it first appears.
    if (bVisible && !m_bInitialised)
    {
        m_bInitialised = true;
        OnInitDialog();
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
        pHeader->resizeSection(nColumn, ColumnWidth(nColumn));
    // "#" leftmost, then the name, then the rest in index order.
    for (int nVisual = 0; nVisual < eColumnCount; ++nVisual)
        pHeader->moveSection(pHeader->visualIndex(kColumnOrder[nVisual]), nVisual);

    m_pTree->clear();
    m_vecTargets.clear();
    m_pTreeRoot = new QTreeWidgetItem(m_pTree, QStringList(QStringLiteral("Drives")));
    const DWORD dwCode = EnumeratePartitions();
    m_pTree->expandItem(m_pTreeRoot);
    if (dwCode != 0)
        ShowSystemError(dwCode);

    setWindowTitle(QStringLiteral("Orvane v2.1"));
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

QTreeWidgetItem* CSalvixDlg::AddDriveItem(QTreeWidgetItem* pParent, const char* pszText,
                                          const CScanTarget& target)
{
    // The item points at its own copy of the partition and its disk, kept as
    // long as the dialog.
    m_vecTargets.push_back(std::make_unique<CScanTarget>(target));
    QTreeWidgetItem* pItem = new QTreeWidgetItem(pParent, QStringList(QString::fromUtf8(pszText)));
    pItem->setData(0, Qt::UserRole,
                   QVariant::fromValue(reinterpret_cast<quintptr>(m_vecTargets.back().get())));
    return pItem;
}

struct CSalvixDlg::CErrorRequest
{
    bool m_bDone = false;
};

void CSalvixDlg::ShowSystemError(DWORD dwCode)
{
    if (QThread::currentThread() == thread())
    {
        DisplayError(dwCode);
        return;
    }
    // From the worker: the box runs on the user interface thread and the
    // worker waits for it. Closing the dialog releases the wait, so a closing
    // dialog that waits for the worker never waits on itself.
    auto pRequest = std::make_shared<CErrorRequest>();
    std::unique_lock<std::mutex> lock(m_lockErrors);
    if (m_bClosing)
        return;
    QMetaObject::invokeMethod(
        this,
        [this, pRequest, dwCode]() {
            bool bClosing;
            {
                std::lock_guard<std::mutex> lockShown(m_lockErrors);
                bClosing = m_bClosing;
            }
            if (!bClosing)
                DisplayError(dwCode);
            {
                std::lock_guard<std::mutex> lockShown(m_lockErrors);
                pRequest->m_bDone = true;
            }
            m_cvErrors.notify_all();
        },
        Qt::QueuedConnection);
    m_cvErrors.wait(lock, [&] { return pRequest->m_bDone || m_bClosing; });
}

void CSalvixDlg::DisplayError(DWORD dwCode)
{
    if (s_fnErrorHook)
    {
        s_fnErrorHook(dwCode);
        return;
    }
    const QString strText = QString::fromStdString(SystemErrorText(dwCode));
    QMessageBox box(QMessageBox::Critical, QStringLiteral("GetLastError"), strText, QMessageBox::Ok,
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
    m_pModel->SetFilter(m_pFilterEdit->text(), m_pDeletedOnlyCheck->isChecked());
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
    // A save keeps the window alive between its steps; the window closes
    // once the step in hand is over.
    if (!m_saveGuard.MayClose(nResult))
        return;
    // The worker uses the drive object and the device handle: it is stopped
    // and waited for before they go.
    StopWorkerAndWait();
    QDialog::done(nResult);
    OnDestroy();
}

void CSalvixDlg::StopWorkerAndWait()
{
    {
        std::lock_guard<std::mutex> lock(m_lockErrors);
        m_bClosing = true;
    }
    // A worker waiting for an error box is released: no box shows any more.
    m_cvErrors.notify_all();
    m_scan.StopAndWait();
}

void CSalvixDlg::keyPressEvent(QKeyEvent* pEvent)
{
    switch (pEvent->key())
    {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // A focused push button presses itself; from anywhere else Enter ends the dialog.
        if (QPushButton* pButton = qobject_cast<QPushButton*>(focusWidget()))
            pButton->click();
        else
            OnOK();
        return;
    case Qt::Key_Escape:
        OnCancel();
        return;
    default:
        QDialog::keyPressEvent(pEvent);
    }
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
