#include "ui/qt/AboutDlg.h"

#include "ui/qt/DialogUnits.h"
#include "ui/common/Resource.h"

#include <QIcon>
#include <QLabel>
#include <QPushButton>

CAboutDlg::CAboutDlg(QWidget* pParent) : QDialog(pParent)
{
    Q_INIT_RESOURCE(salvix);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setWindowTitle(QStringLiteral("About Salvix"));
    setFont(DialogFont());
    const CDialogBaseUnits units = DialogBaseUnitsOf(font());
    // Template 100, in dialog units.
    setFixedSize(MapDialogRect(units, 0, 0, 235, 55).size());

    m_pIcon = new QLabel(this);
    m_pIcon->setObjectName(QString::number(IDC_STATIC));
    m_pIcon->setGeometry(MapDialogRect(units, 11, 17, 20, 20));
    m_pIcon->setPixmap(QIcon(QStringLiteral(":/icons/128.png")).pixmap(32, 32));

    m_pVersion = new QLabel(QStringLiteral("NTFS Salvix Version 2.1"), this);
    m_pVersion->setTextFormat(Qt::PlainText);
    // The texts reach to the OK button, the second on two lines if need be,
    // so that neither is cut.
    m_pVersion->setGeometry(MapDialogRect(units, 40, 10, 134, 8));

    m_pSecondLine = new QLabel(QStringLiteral("Finds and saves files, deleted ones too."), this);
    m_pSecondLine->setTextFormat(Qt::PlainText);
    m_pSecondLine->setWordWrap(true);
    m_pSecondLine->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_pSecondLine->setGeometry(MapDialogRect(units, 40, 25, 134, 22));

    m_pOkButton = new QPushButton(QStringLiteral("OK"), this);
    m_pOkButton->setObjectName(QString::number(IDOK));
    m_pOkButton->setGeometry(MapDialogRect(units, 178, 7, 50, 14));
    m_pOkButton->setDefault(true);
    connect(m_pOkButton, &QPushButton::clicked, this, &QDialog::accept);
}

CAboutDlg::~CAboutDlg() = default;
