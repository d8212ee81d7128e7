// The window's optional looks: the hand pointer image from a Windows cursor file and the skin, a
// Qt style sheet kept in the program folder.
#pragma once

#include <QCursor>
#include <QString>

class QWidget;

namespace quarrytab {

// Loads a Windows cursor file (.cur) with its hot spot. Throws Failure when the file cannot be
// read or holds no cursor image.
QCursor LoadCursorFile(const QString& path);

// The family the window's text is set in: Arial where the system has it, otherwise Liberation
// Sans, which has Arial's metrics and ships with the program, so the captions fit the window's
// fixed layout on any machine.
QString WindowFontFamily();

// Reads the skin file as UTF-8 text. Throws Failure when it cannot be read.
QString ReadSkinFile(const QString& path);

// Applies `styleSheet` to `window` and its controls. Throws Failure, leaving the window without a
// style sheet and every control with the font it had, when Qt cannot parse it.
void ApplyStyleSheet(QWidget& window, const QString& styleSheet);

}  // namespace quarrytab
