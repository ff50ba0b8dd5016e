#include "platform/window/qt/sourceeditor.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QSyntaxHighlighter>
#include <QTextBlock>

#include <algorithm>

#include "platform/window/internal.h"
#include "platform/window/sourceedit.h"

namespace tvx::platform::qt {

namespace {

const QColor kStatementColor(0x00, 0x33, 0xAA);
const QColor kFunctionColor(0x00, 0x70, 0x80);
const QColor kStatusColor(0x80, 0x30, 0x90);
const QColor kCommentColor(0x50, 0x80, 0x50);
const QColor kStringColor(0xA0, 0x40, 0x10);
const QColor kMarginBackground(0xF0, 0xF0, 0xF0);
const QColor kMarginText(0x90, 0x90, 0x90);
const QColor kBreakpointColor(0xC8, 0x20, 0x20);
const QColor kCurrentLineColor(0xFF, 0xF3, 0xB0);
const QColor kArrowColor(0xE0, 0xA0, 0x00);

bool isNameChar(QChar c) { return c.isLetterOrNumber() || c == QLatin1Char('_'); }

// Words of the command table, ";" comments (outside quotes and square
// brackets) and quoted strings (a doubled quote stands for one).
class Highlighter : public QSyntaxHighlighter {
public:
    explicit Highlighter(QTextDocument* document) : QSyntaxHighlighter(document) {
        statement_.setForeground(kStatementColor);
        statement_.setFontWeight(QFont::Bold);
        function_.setForeground(kFunctionColor);
        status_.setForeground(kStatusColor);
        comment_.setForeground(kCommentColor);
        comment_.setFontItalic(true);
        string_.setForeground(kStringColor);
    }

protected:
    void highlightBlock(const QString& text) override {
        int brackets = 0;
        qsizetype i = 0, n = text.size();
        while (i < n) {
            QChar c = text[i];
            if (c == QLatin1Char('"')) {
                qsizetype start = i++;
                while (i < n) {
                    if (text[i] == QLatin1Char('"')) {
                        if (i + 1 < n && text[i + 1] == QLatin1Char('"')) {
                            i += 2;
                            continue;
                        }
                        ++i;
                        break;
                    }
                    ++i;
                }
                setFormat(static_cast<int>(start), static_cast<int>(i - start), string_);
                continue;
            }
            if (c == QLatin1Char('[')) ++brackets;
            if (c == QLatin1Char(']') && brackets > 0) --brackets;
            if (c == QLatin1Char(';') && brackets == 0) {
                setFormat(static_cast<int>(i), static_cast<int>(n - i), comment_);
                return;
            }
            bool bang = c == QLatin1Char('!') && i + 1 < n && isNameChar(text[i + 1]);
            if (bang || (isNameChar(c) && (i == 0 || !isNameChar(text[i - 1])))) {
                qsizetype start = i;
                i += bang ? 1 : 0;
                while (i < n && isNameChar(text[i])) ++i;
                if (c.isDigit()) continue;  // a number
                QByteArray word = text.mid(start, i - start).toLatin1();
                int kind =
                    sourceWordKind(std::string_view(word.constData(), static_cast<size_t>(word.size())));
                const QTextCharFormat* format = kind == 1   ? &statement_
                                                : kind == 2 ? &function_
                                                : kind == 3 ? &status_
                                                            : nullptr;
                if (format) setFormat(static_cast<int>(start), static_cast<int>(i - start), *format);
                continue;
            }
            ++i;
        }
    }

private:
    QTextCharFormat statement_, function_, status_, comment_, string_;
};

}  // namespace

class Margin : public QWidget {
public:
    explicit Margin(SourceEditor* editor) : QWidget(editor), editor_(editor) {
        setObjectName(QStringLiteral("margin"));
        setCursor(Qt::PointingHandCursor);
    }
    QSize sizeHint() const override { return {editor_->marginWidth(), 0}; }

protected:
    void paintEvent(QPaintEvent* event) override { editor_->paintMargin(event); }
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton) editor_->marginClicked(event->position().toPoint().y());
    }

private:
    SourceEditor* editor_;
};

SourceEditor::SourceEditor(Hwnd handle, QWidget* parent)
    : QPlainTextEdit(parent), handle_(handle), margin_(new Margin(this)) {
    new Highlighter(document());
    connect(this, &QPlainTextEdit::blockCountChanged, this,
            [this](int) { setViewportMargins(marginWidth(), 0, 0, 0); });
    connect(this, &QPlainTextEdit::updateRequest, this,
            [this](const QRect& rect, int dy) { updateMargin(rect, dy); });
    setViewportMargins(marginWidth(), 0, 0, 0);
    setTabStopDistance(fontMetrics().horizontalAdvance(QLatin1Char(' ')) * 4);
    connect(document(), &QTextDocument::contentsChanged, this, [this]() { textEdited(); });
}

void SourceEditor::replaceText(const QString& text) {
    replacing_ = true;
    setPlainText(text);
    replacing_ = false;
    placeMarks();
}

void SourceEditor::placeMarks() {
    markCursors_.clear();
    detail::Window* w = detail::find(handle_);
    if (!w) return;
    for (int line : w->marks) {
        QTextBlock block = document()->findBlockByNumber(line - 1);
        if (block.isValid()) markCursors_.append(QTextCursor(block));
    }
}

void SourceEditor::textEdited() {
    if (replacing_ || markCursors_.isEmpty()) return;
    detail::Window* w = detail::find(handle_);
    if (!w) return;
    std::vector<int> lines;
    for (const QTextCursor& cursor : markCursors_) lines.push_back(cursor.blockNumber() + 1);
    std::sort(lines.begin(), lines.end());
    lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
    // Marks past the text's end (not placed) keep their numbers.
    for (int line : w->marks)
        if (!document()->findBlockByNumber(line - 1).isValid()) lines.push_back(line);
    if (lines == w->marks) return;
    w->marks = lines;
    placeMarks();
    margin_->update();
    detail::notifyParent(*w, SEN_MARKSMOVED);
}

int SourceEditor::marginWidth() const {
    int digits = 1;
    for (int max = std::max(1, blockCount()); max >= 10; max /= 10) ++digits;
    digits = std::max(digits, 3);
    // Room for the numbers, and left of them for a mark as high as a line.
    return fontMetrics().height() + 4 + fontMetrics().horizontalAdvance(QLatin1Char('9')) * digits + 6;
}

int SourceEditor::lineAt(int y) const {
    QTextBlock block = cursorForPosition(QPoint(0, y)).block();
    if (!block.isValid()) return 0;
    QRectF box = blockBoundingGeometry(block).translated(contentOffset());
    if (y > box.bottom()) return 0;
    return block.blockNumber() + 1;
}

void SourceEditor::marksChanged() {
    placeMarks();
    QList<QTextEdit::ExtraSelection> extras;
    detail::Window* w = detail::find(handle_);
    int current = w ? w->markedLine : 0;
    if (current > 0) {
        QTextBlock block = document()->findBlockByNumber(current - 1);
        if (block.isValid()) {
            QTextEdit::ExtraSelection line;
            line.format.setBackground(kCurrentLineColor);
            line.format.setProperty(QTextFormat::FullWidthSelection, true);
            line.cursor = QTextCursor(block);
            extras.append(line);
        }
    }
    setExtraSelections(extras);
    // The font may have changed too: the margin follows its width.
    setViewportMargins(marginWidth(), 0, 0, 0);
    QRect r = contentsRect();
    margin_->setGeometry(QRect(r.left(), r.top(), marginWidth(), r.height()));
    setTabStopDistance(fontMetrics().horizontalAdvance(QLatin1Char(' ')) * 4);
    margin_->update();
}

void SourceEditor::resizeEvent(QResizeEvent* event) {
    QPlainTextEdit::resizeEvent(event);
    QRect r = contentsRect();
    margin_->setGeometry(QRect(r.left(), r.top(), marginWidth(), r.height()));
}

void SourceEditor::keyPressEvent(QKeyEvent* event) {
    int key = event->key();
    Qt::KeyboardModifiers mods = event->modifiers();
    int vk = 0;
    if (key >= Qt::Key_F1 && key <= Qt::Key_F12)
        vk = win::VK_F1 + (key - Qt::Key_F1);
    else if ((mods & Qt::ControlModifier) && !(mods & Qt::AltModifier) && key >= Qt::Key_A &&
             key <= Qt::Key_Z && (key == Qt::Key_S || key == Qt::Key_O || key == Qt::Key_N))
        vk = key;  // the virtual keys of letters are their capitals
    if (!vk) {
        QPlainTextEdit::keyPressEvent(event);
        return;
    }
    int64_t held = ((mods & Qt::ShiftModifier) ? kSourceKeyShift : 0) |
                   ((mods & Qt::ControlModifier) ? kSourceKeyControl : 0);
    detail::postInput(handle_, win::WM_KEYDOWN, static_cast<WParam>(vk), 1 | held);
    event->accept();
}

void SourceEditor::updateMargin(const QRect& rect, int dy) {
    if (dy)
        margin_->scroll(0, dy);
    else
        margin_->update(0, rect.y(), margin_->width(), rect.height());
}

void SourceEditor::marginClicked(int y) {
    int line = lineAt(y);
    if (line > 0) clickSourceMargin(handle_, line);
}

void SourceEditor::paintMargin(QPaintEvent* event) {
    QPainter p(margin_);
    p.fillRect(event->rect(), kMarginBackground);
    p.setPen(QColor(0xD8, 0xD8, 0xD8));
    p.drawLine(margin_->width() - 1, event->rect().top(), margin_->width() - 1, event->rect().bottom());
    detail::Window* w = detail::find(handle_);
    std::vector<int> marks = w ? w->marks : std::vector<int>();
    int current = w ? w->markedLine : 0;
    p.setRenderHint(QPainter::Antialiasing);
    QTextBlock block = firstVisibleBlock();
    int top = static_cast<int>(blockBoundingGeometry(block).translated(contentOffset()).top());
    int lineHeight = fontMetrics().height();
    int markSize = std::max(6, lineHeight - 4);
    while (block.isValid() && top <= event->rect().bottom()) {
        int height = static_cast<int>(blockBoundingRect(block).height());
        int line = block.blockNumber() + 1;
        if (block.isVisible() && top + height >= event->rect().top()) {
            int y = top + (lineHeight - markSize) / 2;
            if (std::binary_search(marks.begin(), marks.end(), line)) {
                p.setPen(Qt::NoPen);
                p.setBrush(kBreakpointColor);
                p.drawEllipse(QRectF(3, y, markSize, markSize));
            }
            if (line == current) {
                QPainterPath arrow;
                double x = 3, h = markSize, mid = y + h / 2.0;
                arrow.moveTo(x, mid - h / 4.0);
                arrow.lineTo(x + h / 2.0, mid - h / 4.0);
                arrow.lineTo(x + h / 2.0, y);
                arrow.lineTo(x + h, mid);
                arrow.lineTo(x + h / 2.0, y + h);
                arrow.lineTo(x + h / 2.0, mid + h / 4.0);
                arrow.lineTo(x, mid + h / 4.0);
                arrow.closeSubpath();
                p.setPen(QPen(QColor(0x90, 0x60, 0x00), 1));
                p.setBrush(kArrowColor);
                p.drawPath(arrow);
            }
            p.setPen(line == current ? QColor(0x30, 0x30, 0x30) : kMarginText);
            p.setFont(font());
            p.drawText(0, top, margin_->width() - 6, lineHeight, Qt::AlignRight | Qt::AlignVCenter,
                       QString::number(line));
        }
        block = block.next();
        top += height;
    }
}

}  // namespace tvx::platform::qt
