// The widget of the source editor class: a plain-text edit with a margin of
// line numbers and marks, and colouring of words, comments and strings.
#pragma once

#include <QPlainTextEdit>

#include "platform/window/window.h"

namespace tvx::platform::qt {

class SourceEditor : public QPlainTextEdit {
public:
    SourceEditor(Hwnd handle, QWidget* parent);
    // The marks or the current line of the record changed: repaint the margin
    // and the current line's background.
    void marksChanged();
    int marginWidth() const;
    // The 1-based line at a y coordinate of the viewport (0: below the text).
    int lineAt(int y) const;
    // A new text replaces the old one: the marks stay at their numbers.
    void replaceText(const QString& text);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    friend class Margin;
    void paintMargin(QPaintEvent* event);
    void marginClicked(int y);
    void updateMargin(const QRect& rect, int dy);
    void placeMarks();
    void textEdited();

    Hwnd handle_;
    QWidget* margin_;
    // A cursor at the start of each marked line: the text's edits move them.
    QList<QTextCursor> markCursors_;
    bool replacing_ = false;
};

}  // namespace tvx::platform::qt
