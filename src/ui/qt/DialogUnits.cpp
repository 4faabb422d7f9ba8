#include "ui/qt/DialogUnits.h"

#include <QFontMetrics>
#include <QStringList>

CDialogBaseUnits DialogBaseUnitsOf(const QFont& font)
{
    const QFontMetrics metrics(font);
    const int nLetters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    CDialogBaseUnits units;
    units.m_nBaseX = (nLetters / 26 + 1) / 2;
    units.m_nBaseY = metrics.height();
    return units;
}

QRect MapDialogRect(const CDialogBaseUnits& units, int nX, int nY, int nWidth, int nHeight)
{
    return QRect(nX * units.m_nBaseX / 4, nY * units.m_nBaseY / 8, nWidth * units.m_nBaseX / 4,
                 nHeight * units.m_nBaseY / 8);
}

QPoint MinimizedIconPosition(int nClientWidth, int nClientHeight, int nIconWidth, int nIconHeight)
{
    // C++ integer division truncates toward zero, as the placement requires
    // (a 20-pixel area and a 32-pixel icon give -5, not -6).
    return QPoint((nClientWidth - nIconWidth + 1) / 2, (nClientHeight - nIconHeight + 1) / 2);
}

QFont DialogFont()
{
    // The templates ask for an 8-point sans serif; the CJK font is listed so
    // that the Chinese texts render where the Windows fonts are absent.
    QFont font;
    font.setFamilies(
        QStringList{QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                    QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC"),
                    QStringLiteral("DejaVu Sans")});
    font.setPointSize(8);
    return font;
}
