// Dialog templates are laid out in dialog units; these turn them into pixels
// the way the platform does for a dialog font, and place the minimised icon.
#pragma once

#include <QFont>
#include <QPoint>
#include <QRect>

struct CDialogBaseUnits
{
    int m_nBaseX = 0;  // average character width of the dialog font, in pixels
    int m_nBaseY = 0;  // character height of the dialog font, in pixels
};

// Base units of a font: the average width of the 52 Latin letters, rounded
// as the platform rounds it, and the font's height.
CDialogBaseUnits DialogBaseUnitsOf(const QFont& font);

// x * baseX / 4 and y * baseY / 8, for position and size alike.
QRect MapDialogRect(const CDialogBaseUnits& units, int nX, int nY, int nWidth, int nHeight);

// Where the icon of a minimised window is drawn in its client area: centred,
// rounding up, in signed integer arithmetic with division toward zero.
QPoint MinimizedIconPosition(int nClientWidth, int nClientHeight, int nIconWidth, int nIconHeight);

// The font every dialog of the program is laid out with.
QFont DialogFont();
