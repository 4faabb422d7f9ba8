// The About box: icon, program name and version, and an OK button.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

class CAboutDlg : public QDialog
{
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* pParent = nullptr);
    ~CAboutDlg() override;

    QLabel* m_pIcon;
    QLabel* m_pVersion;
    QLabel* m_pSecondLine;
    QPushButton* m_pOkButton;
};
