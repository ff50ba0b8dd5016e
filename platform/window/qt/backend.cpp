// The toolkit module: one Qt widget per window, user input turned into the
// window layer's terms, painting, and the standard dialogs. Loaded by the window
// layer when the first window is made, so that programs that show no window
// never load Qt.
#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QBoxLayout>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QCursor>
#include <QDialog>
#include <QFileDialog>
#include <QFont>
#include <QFontMetrics>
#include <QGroupBox>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <QUtf8StringView>
#include <QWheelEvent>
#include <QWindow>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <set>
#include <unordered_map>

#include "platform/window/internal.h"
#include "platform/window/qt/access.h"
#include "platform/window/qt/sourceeditor.h"

namespace tvx::platform {

using namespace win;
using detail::Kind;
using detail::Window;

namespace qt {

QString toQString(std::string_view bytes) {
    std::u16string wide = ansiToUtf16(bytes);
    return QString::fromUtf16(wide.data(), static_cast<qsizetype>(wide.size()));
}

namespace {

// Positions in a multi-line edit: bytes of the record's CR LF text, UTF-16
// units of the widget's LF text (the text decoded as toQString does).
struct TextWalk {
    std::string_view text;
    bool utf8;
    explicit TextWalk(std::string_view t) : text(t), utf8(QUtf8StringView(t).isValidUtf8()) {}
    // The bytes and units of the character at byte i.
    void step(size_t i, size_t& bytes, int& units) const {
        unsigned char c = static_cast<unsigned char>(text[i]);
        bytes = 1;
        units = 1;
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            bytes = 2;
        } else if (utf8 && c >= 0xF0) {
            bytes = 4;
            units = 2;
        } else if (utf8 && c >= 0xE0) {
            bytes = 3;
        } else if (utf8 && c >= 0xC0) {
            bytes = 2;
        }
    }
    int widgetPosition(size_t byteOffset) const {
        int position = 0;
        size_t bytes = 0;
        int units = 0;
        for (size_t i = 0; i < byteOffset && i < text.size(); i += bytes) {
            step(i, bytes, units);
            position += units;
        }
        return position;
    }
    size_t byteOffset(int widgetPosition) const {
        int position = 0;
        size_t i = 0, bytes = 0;
        int units = 0;
        for (; i < text.size() && position < widgetPosition; i += bytes) {
            step(i, bytes, units);
            position += units;
        }
        return std::min(i, text.size());
    }
};

}  // namespace

namespace {

std::string fromQString(const QString& text) {
    std::u16string wide(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<size_t>(text.size()));
    return utf16ToAnsi(wide);
}

const char* const kHandleProperty = "tvxHwnd";

QColor colorOf(ColorRef c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

QFont fontOf(Hgdiobj handle) {
    QFont font = QApplication::font();
    LogFont lf;
    if (!fontDescription(handle, lf)) return font;
    if (lf.faceName[0] && std::string_view(lf.faceName) != "System")
        font.setFamily(QString::fromLatin1(lf.faceName));
    if (std::string_view(lf.faceName).find("Mono") != std::string_view::npos ||
        std::string_view(lf.faceName).find("Courier") != std::string_view::npos)
        font.setStyleHint(QFont::Monospace);
    if (lf.height)
        font.setPixelSize(
            std::max(1, std::abs(lf.height) * (lf.height < 0 ? 1 : 3) / (lf.height < 0 ? 1 : 4)));
    font.setWeight(lf.weight >= 600 ? QFont::Bold : QFont::Normal);
    font.setItalic(lf.italic);
    font.setUnderline(lf.underline);
    font.setStrikeOut(lf.strikeOut);
    return font;
}

int virtualKeyOf(int key) {
    if (key >= Qt::Key_A && key <= Qt::Key_Z) return 'A' + (key - Qt::Key_A);
    if (key >= Qt::Key_0 && key <= Qt::Key_9) return '0' + (key - Qt::Key_0);
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24) return VK_F1 + (key - Qt::Key_F1);
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter: return VK_RETURN;
    case Qt::Key_Escape: return VK_ESCAPE;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return VK_TAB;
    case Qt::Key_Backspace: return VK_BACK;
    case Qt::Key_Space: return VK_SPACE;
    case Qt::Key_Shift: return VK_SHIFT;
    case Qt::Key_Control: return VK_CONTROL;
    case Qt::Key_Alt: return VK_MENU;
    case Qt::Key_Left: return VK_LEFT;
    case Qt::Key_Right: return VK_RIGHT;
    case Qt::Key_Up: return VK_UP;
    case Qt::Key_Down: return VK_DOWN;
    case Qt::Key_PageUp: return VK_PRIOR;
    case Qt::Key_PageDown: return VK_NEXT;
    case Qt::Key_Home: return VK_HOME;
    case Qt::Key_End: return VK_END;
    case Qt::Key_Delete: return VK_DELETE;
    default: return 0;
    }
}

// The toolkit's key for a virtual key (synthetic input); 0 for none.
int qtKeyOf(int vk) {
    if (vk >= 'A' && vk <= 'Z') return Qt::Key_A + (vk - 'A');
    if (vk >= '0' && vk <= '9') return Qt::Key_0 + (vk - '0');
    if (vk >= VK_F1 && vk <= VK_F1 + 23) return Qt::Key_F1 + (vk - VK_F1);
    static const struct {
        int vk;
        int key;
    } kKeys[] = {{VK_RETURN, Qt::Key_Return},   {VK_ESCAPE, Qt::Key_Escape}, {VK_TAB, Qt::Key_Tab},
                 {VK_BACK, Qt::Key_Backspace},  {VK_SPACE, Qt::Key_Space},   {VK_SHIFT, Qt::Key_Shift},
                 {VK_CONTROL, Qt::Key_Control}, {VK_MENU, Qt::Key_Alt},      {VK_LEFT, Qt::Key_Left},
                 {VK_RIGHT, Qt::Key_Right},     {VK_UP, Qt::Key_Up},         {VK_DOWN, Qt::Key_Down},
                 {VK_PRIOR, Qt::Key_PageUp},    {VK_NEXT, Qt::Key_PageDown}, {VK_HOME, Qt::Key_Home},
                 {VK_END, Qt::Key_End},         {VK_DELETE, Qt::Key_Delete}, {0x2D, Qt::Key_Insert},
                 {0x13, Qt::Key_Pause},         {0x14, Qt::Key_CapsLock},    {0x2C, Qt::Key_Print},
                 {0x90, Qt::Key_NumLock},       {0x91, Qt::Key_ScrollLock},  {0x5D, Qt::Key_Menu}};
    for (const auto& k : kKeys)
        if (k.vk == vk) return k.key;
    return 0;
}

unsigned mouseKeys(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers) {
    unsigned keys = 0;
    if (buttons & Qt::LeftButton) keys |= MK_LBUTTON;
    if (buttons & Qt::RightButton) keys |= MK_RBUTTON;
    if (buttons & Qt::MiddleButton) keys |= MK_MBUTTON;
    if (modifiers & Qt::ShiftModifier) keys |= MK_SHIFT;
    if (modifiers & Qt::ControlModifier) keys |= MK_CONTROL;
    return keys;
}

class Backend;
Backend* theBackend = nullptr;

QtMessageHandler previousHandler = nullptr;
void quietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtWarningMsg && message.contains(QLatin1String("does not support"))) return;
    if (previousHandler) previousHandler(type, context, message);
}

// ---- Views

// Top-level and generic windows: the client area with a backing image that
// WM_PAINT draws into, and the window's own scroll bars.
class ClientView : public QWidget {
public:
    ClientView(Hwnd hwnd, QWidget* parent, Qt::WindowFlags flags) : QWidget(parent, flags), hwnd_(hwnd) {
        setMouseTracking(true);
        setFocusPolicy(Qt::StrongFocus);
        horizontal_ = new QScrollBar(Qt::Horizontal, this);
        vertical_ = new QScrollBar(Qt::Vertical, this);
        horizontal_->hide();
        vertical_->hide();
        connectBar(horizontal_, SB_HORZ);
        connectBar(vertical_, SB_VERT);
    }
    Hwnd hwnd() const { return hwnd_; }
    bool needsPaint = true;
    bool painting = false;
    bool programmatic = false;  // geometry set by the window layer, not the user
    bool hasBacking = true;
    QImage backing;

    QImage& ensureBacking() {
        Window* w = detail::find(hwnd_);
        Rect c = w ? detail::clientArea(*w) : Rect{};
        QSize size(std::max(1, c.width()), std::max(1, c.height()));
        if (backing.size() != size) {
            QImage next(size, QImage::Format_RGB32);
            next.fill(Qt::white);
            if (!backing.isNull()) {
                QPainter p(&next);
                p.drawImage(0, 0, backing);
            }
            backing = next;
            needsPaint = true;
        }
        return backing;
    }

    void layoutBars() {
        Window* w = detail::find(hwnd_);
        if (!w) return;
        Rect c = detail::clientArea(*w);
        int cw = c.width(), ch = c.height();
        syncBar(horizontal_, w->horizontal);
        syncBar(vertical_, w->vertical);
        horizontal_->setGeometry(0, ch, cw, detail::kScrollBarSize);
        vertical_->setGeometry(cw, 0, detail::kScrollBarSize, ch);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        Window* w = detail::find(hwnd_);
        if (!w) return;
        if (w->kind == Kind::Dialog || !hasBacking) {
            if (!painting) {
                painting = true;
                detail::paint(hwnd_, {});
                painting = false;
            }
            return;
        }
        ensureBacking();
        if (needsPaint && !painting) {
            needsPaint = false;
            painting = true;
            detail::paint(hwnd_, {});
            painting = false;
        }
        QPainter p(this);
        p.drawImage(0, 0, backing);
    }
    void closeEvent(QCloseEvent* event) override {
        event->ignore();
        detail::userClosed(hwnd_);
    }
    void moveEvent(QMoveEvent*) override { reportGeometry(); }
    void resizeEvent(QResizeEvent*) override {
        needsPaint = true;
        reportGeometry();
        layoutBars();
    }
    void changeEvent(QEvent* event) override {
        if (event->type() == QEvent::ActivationChange && isWindow())
            detail::userActivated(hwnd_, isActiveWindow());
        if (event->type() == QEvent::WindowStateChange && isWindow() && !programmatic)
            detail::userChangedState(hwnd_, isMinimized(), isMaximized());
        QWidget::changeEvent(event);
    }
    void contextMenuEvent(QContextMenuEvent* e) override {
        // The menu key asks for the window's menu; a right click has already
        // gone to the window as its button messages.
        if (e->reason() != QContextMenuEvent::Mouse) detail::postInput(hwnd_, WM_SYSCOMMAND, SC_KEYMENU, ' ');
        e->accept();
    }
    void mousePressEvent(QMouseEvent* e) override { mouse(e, e->type() == QEvent::MouseButtonDblClick); }
    void mouseDoubleClickEvent(QMouseEvent* e) override { mouse(e, true); }
    void mouseReleaseEvent(QMouseEvent* e) override {
        unsigned m = e->button() == Qt::RightButton    ? WM_RBUTTONUP
                     : e->button() == Qt::MiddleButton ? WM_MBUTTONUP
                                                       : WM_LBUTTONUP;
        post(m, e);
    }
    void mouseMoveEvent(QMouseEvent* e) override { post(WM_MOUSEMOVE, e); }
    void wheelEvent(QWheelEvent* e) override {
        QPoint global = e->globalPosition().toPoint();
        int delta = e->angleDelta().y();
        WParam wp = makeWParam(mouseKeys(e->buttons(), e->modifiers()),
                               static_cast<unsigned>(static_cast<int16_t>(delta)));
        detail::postInput(hwnd_, WM_MOUSEWHEEL, wp, makeLParam(global.x(), global.y()));
    }
    void keyPressEvent(QKeyEvent* e) override { key(e, true); }
    void keyReleaseEvent(QKeyEvent* e) override { key(e, false); }

private:
    void mouse(QMouseEvent* e, bool dbl) {
        unsigned m;
        if (e->button() == Qt::RightButton)
            m = dbl ? WM_RBUTTONDBLCLK : WM_RBUTTONDOWN;
        else if (e->button() == Qt::MiddleButton)
            m = dbl ? WM_MBUTTONDBLCLK : WM_MBUTTONDOWN;
        else
            m = dbl ? WM_LBUTTONDBLCLK : WM_LBUTTONDOWN;
        post(m, e);
    }
    void post(unsigned message, QMouseEvent* e) {
        QPoint p = e->position().toPoint();
        detail::postInput(hwnd_, message, mouseKeys(e->buttons(), e->modifiers()), makeLParam(p.x(), p.y()));
    }
    void key(QKeyEvent* e, bool down) {
        if (e->key() == Qt::Key_Space && (e->modifiers() & Qt::AltModifier)) {
            if (down) detail::postInput(hwnd_, WM_SYSCOMMAND, SC_KEYMENU, ' ');
            return;
        }
        int vk = virtualKeyOf(e->key());
        if (vk) detail::postInput(hwnd_, down ? WM_KEYDOWN : WM_KEYUP, static_cast<WParam>(vk), 1);
        if (down && !e->text().isEmpty()) {
            std::string bytes = fromQString(e->text());
            for (unsigned char c : bytes) detail::postInput(hwnd_, WM_CHAR, c, 1);
        }
    }
    void reportGeometry() {
        if (programmatic || !isWindow()) return;
        // The state first, so that a maximised rectangle is not taken as the normal one.
        detail::userChangedState(hwnd_, isMinimized(), isMaximized());
        Window* w = detail::find(hwnd_);
        if (!w) return;
        Rect m = detail::frameMargins(w->style, w->exStyle);
        QRect g = geometry();
        Rect r{g.x() - m.left, g.y() - m.top, g.x() + g.width() + m.right, g.y() + g.height() + m.bottom};
        if (w->vertical.shown) r.right += 0;
        detail::userMovedWindow(hwnd_, r);
    }
    void connectBar(QScrollBar* bar, int which);
    static void syncBar(QScrollBar* bar, const detail::ScrollState& s) {
        QSignalBlocker block(bar);
        bar->setVisible(s.shown);
        bar->setRange(s.minimum, std::max(s.minimum, s.maximum - std::max(0, static_cast<int>(s.page) - 1)));
        bar->setPageStep(std::max(1, static_cast<int>(s.page)));
        bar->setSliderPosition(s.position);
        bar->setValue(s.position);
    }
    Hwnd hwnd_;
    QScrollBar* horizontal_;
    QScrollBar* vertical_;
};

unsigned scrollCode(int action) {
    switch (action) {
    case QAbstractSlider::SliderSingleStepAdd: return SB_LINEDOWN;
    case QAbstractSlider::SliderSingleStepSub: return SB_LINEUP;
    case QAbstractSlider::SliderPageStepAdd: return SB_PAGEDOWN;
    case QAbstractSlider::SliderPageStepSub: return SB_PAGEUP;
    case QAbstractSlider::SliderToMinimum: return SB_TOP;
    case QAbstractSlider::SliderToMaximum: return SB_BOTTOM;
    case QAbstractSlider::SliderMove: return SB_THUMBTRACK;
    default: return SB_ENDSCROLL;
    }
}

// Scroll bars report what the person did and show the position their owner sets.
void connectScroll(QScrollBar* bar, Hwnd hwnd, int which) {
    QObject::connect(bar, &QAbstractSlider::actionTriggered, bar, [bar, hwnd, which](int action) {
        int position = bar->sliderPosition();
        detail::userScrolled(hwnd, which, scrollCode(action), position);
        if (Window* w = detail::find(hwnd)) {
            const detail::ScrollState& s = which == SB_CTL    ? w->scroll
                                           : which == SB_HORZ ? w->horizontal
                                                              : w->vertical;
            bar->setSliderPosition(s.position);
        }
    });
    QObject::connect(bar, &QAbstractSlider::sliderReleased, bar, [bar, hwnd, which]() {
        detail::userScrolled(hwnd, which, SB_THUMBPOSITION, bar->sliderPosition());
        detail::userScrolled(hwnd, which, SB_ENDSCROLL, 0);
    });
}

void ClientView::connectBar(QScrollBar* bar, int which) { connectScroll(bar, hwnd_, which); }

// Check boxes and radio buttons that the owner checks: a click only reports.
class CheckButton : public QCheckBox {
public:
    using QCheckBox::QCheckBox;

protected:
    void nextCheckState() override {}
};
class RadioButton : public QRadioButton {
public:
    using QRadioButton::QRadioButton;

protected:
    void nextCheckState() override {}
};

class Combo : public QComboBox {
public:
    Combo(Hwnd hwnd, QWidget* parent) : QComboBox(parent), hwnd_(hwnd) {}
    void showPopup() override {
        detail::userDropDown(hwnd_, true);
        QComboBox::showPopup();
    }
    void hidePopup() override {
        QComboBox::hidePopup();
        detail::userDropDown(hwnd_, false);
    }

private:
    Hwnd hwnd_;
};

struct View {
    QWidget* widget = nullptr;  // the window's widget
    Kind kind = Kind::Generic;
    bool syncing = false;
};

// ---- The backend

class Backend : public detail::Backend, public QObject {
public:
    explicit Backend(bool headless) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
            // A display that cannot be opened falls back to the off-screen platform
            // instead of ending the program.
            if (headless)
                qputenv("QT_QPA_PLATFORM", "offscreen");
            else if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
                qputenv("QT_QPA_PLATFORM", "wayland;xcb;offscreen");
            else
                qputenv("QT_QPA_PLATFORM", "xcb;offscreen");
        }
        offscreen_ = headless || qgetenv("QT_QPA_PLATFORM") == "offscreen";
        if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
            // Where Qt would go anyway, without its warning on every start.
            std::string runtime = "/tmp/runtime-" + std::to_string(getuid());
            if (mkdir(runtime.c_str(), 0700) == 0 || errno == EEXIST)
                qputenv("XDG_RUNTIME_DIR", runtime.c_str());
        }
        // The off-screen platform says what it cannot do (raise, size hints): no
        // news for a program that runs unseen.
        if (offscreen_) previousHandler = qInstallMessageHandler(quietHandler);
        if (!QApplication::instance()) {
            static int argc = 1;
            static char name[] = "tolvex";
            static char* argv[] = {name, nullptr};
            app_ = new QApplication(argc, argv);
        }
        offscreen_ = offscreen_ || QGuiApplication::platformName() == QLatin1String("offscreen") ||
                     QGuiApplication::platformName() == QLatin1String("minimal");
        // Qt takes the user's locale; numbers in macros are always written with a point.
        std::setlocale(LC_NUMERIC, "C");
        QApplication::setStyle("Fusion");
        QFont font("DejaVu Sans");
        font.setPixelSize(11);
        QApplication::setFont(font);
        qApp->installEventFilter(this);
        QObject::connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
            if (focusSyncing_ || !now) return;
            Hwnd h = handleOf(now);
            if (h) detail::userFocused(h);
        });
        theBackend = this;
    }

    bool visibleDisplay() const override { return !offscreen_; }

    void created(Window& w) override {
        auto* view = new View;
        view->kind = w.kind;
        w.view = view;
        QWidget* parent = nullptr;
        QWidget* ownerWidget = nullptr;
        if (Window* p = detail::find(w.parent))
            parent = static_cast<View*>(p->view)->widget;
        else if (Window* o = detail::find(w.owner))
            ownerWidget = static_cast<View*>(o->view)->widget;
        Qt::WindowFlags flags;
        if (!(w.style & WS_CHILD)) {
            flags = w.owner ? Qt::Dialog : Qt::Window;
            if ((w.style & WS_CAPTION) != WS_CAPTION) flags |= Qt::FramelessWindowHint;
            if ((w.style & WS_CAPTION) == WS_CAPTION) {
                flags |= Qt::WindowTitleHint | Qt::CustomizeWindowHint;
                if (w.style & WS_SYSMENU) flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
                if (w.style & WS_MINIMIZEBOX) flags |= Qt::WindowMinimizeButtonHint;
                if ((w.style & WS_MAXIMIZEBOX) && (w.style & WS_THICKFRAME))
                    flags |= Qt::WindowMaximizeButtonHint;
            }
        }
        QWidget* widget = nullptr;
        Hwnd h = w.handle;
        switch (w.kind) {
        case Kind::Generic:
        case Kind::Dialog: {
            auto* client = new ClientView(h, parent, flags);
            client->hasBacking = w.kind == Kind::Generic;
            widget = client;
            break;
        }
        case Kind::Button: widget = makeButton(w, parent); break;
        case Kind::Edit: widget = makeEdit(w, parent); break;
        case Kind::Static: widget = new QLabel(parent); break;
        case Kind::ListBox: widget = makeList(w, parent); break;
        case Kind::ComboBox: widget = makeCombo(w, parent); break;
        case Kind::ScrollBar: {
            auto* bar = new QScrollBar((w.style & SBS_VERT) ? Qt::Vertical : Qt::Horizontal, parent);
            connectScroll(bar, h, SB_CTL);
            bar->installEventFilter(this);
            widget = bar;
            break;
        }
        }
        // An owned window (a dialog, a box) is no Qt child of its owner: Qt would
        // pass the owner's disabled state on to it, and a modal dialog disables
        // its owner as Win32 does. It stays above the owner as a transient window.
        if (ownerWidget && widget->isWindow()) {
            widget->winId();
            ownerWidget->window()->winId();
            if (QWindow* handle = widget->windowHandle())
                handle->setTransientParent(ownerWidget->window()->windowHandle());
        }
        widget->setProperty(kHandleProperty, static_cast<qulonglong>(h));
        if (w.kind != Kind::Generic && w.kind != Kind::Dialog) widget->setFocusPolicy(Qt::StrongFocus);
        if (w.kind == Kind::Static) widget->setFocusPolicy(Qt::NoFocus);
        view->widget = widget;
        byHandle_[h] = widget;
        sync(w, detail::kSyncText | detail::kSyncGeometry | detail::kSyncEnabled | detail::kSyncStyle |
                    detail::kSyncItems | detail::kSyncSelection | detail::kSyncCheck | detail::kSyncScroll |
                    detail::kSyncFont);
        widget->setVisible(false);
    }

    void destroyed(Window& w) override {
        auto* view = static_cast<View*>(w.view);
        if (!view) return;
        byHandle_.erase(w.handle);
        if (view->widget) {
            view->widget->hide();
            view->widget->setProperty(kHandleProperty, QVariant());
            // Children's widgets went with their own records first; Qt deletes what is left.
            view->widget->deleteLater();
        }
        delete view;
        w.view = nullptr;
    }

    void sync(Window& w, unsigned bits) override {
        auto* view = static_cast<View*>(w.view);
        if (!view || !view->widget) return;
        QWidget* widget = view->widget;
        bool wasSyncing = view->syncing;
        view->syncing = true;
        if (bits & detail::kSyncGeometry) placeWidget(w, widget);
        if (bits & (detail::kSyncText | detail::kSyncStyle)) syncText(w, widget);
        if ((bits & detail::kSyncStyle) && w.kind == Kind::Button) {
            // The default push button is drawn as such (Enter is the window layer's).
            if (auto* push = dynamic_cast<QPushButton*>(widget))
                push->setDefault((w.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON);
        }
        if (bits & detail::kSyncFont) widget->setFont(w.font ? fontOf(w.font) : QApplication::font());
        if (bits & detail::kSyncEnabled) widget->setEnabled(!(w.style & WS_DISABLED));
        if (bits & (detail::kSyncItems | detail::kSyncSelection))
            syncItems(w, widget, (bits & detail::kSyncItems) != 0);
        if ((bits & detail::kSyncSelection) && w.kind == Kind::Edit) syncEditSelection(w, widget);
        if (bits & detail::kSyncCheck) syncCheck(w, widget);
        if ((bits & (detail::kSyncMarks | detail::kSyncText | detail::kSyncFont)) && w.source)
            if (auto* editor = dynamic_cast<SourceEditor*>(widget)) editor->marksChanged();
        if (bits & detail::kSyncScroll) syncScroll(w, widget);
        if (bits & detail::kSyncColors) syncColors(w, widget);
        if (bits & detail::kSyncVisible) {
            bool show = (w.style & WS_VISIBLE) != 0;
            if (show && !w.parent) {
                if (w.maximized)
                    widget->showMaximized();
                else if (w.minimized)
                    widget->showMinimized();
                else
                    widget->show();
                if (w.kind == Kind::Dialog || w.kind == Kind::Generic) syncColors(w, widget);
            } else {
                widget->setVisible(show);
            }
        }
        if ((bits & detail::kSyncState) && !w.parent && widget->isVisible()) {
            if (w.maximized)
                widget->showMaximized();
            else if (w.minimized)
                widget->showMinimized();
            else
                widget->showNormal();
        }
        if ((bits & detail::kSyncState) && w.kind == Kind::ComboBox) {
            auto* combo = static_cast<QComboBox*>(widget);
            if (w.dropped && combo->isVisible())
                combo->showPopup();
            else if (!w.dropped)
                combo->hidePopup();
        }
        if (bits & detail::kSyncActivate) {
            if (widget->isVisible()) {
                if (!offscreen_) widget->raise();
                widget->activateWindow();
            }
        }
        if (bits & detail::kSyncFocus) {
            focusSyncing_ = true;
            widget->setFocus(Qt::OtherFocusReason);
            focusSyncing_ = false;
        }
        if (bits & (detail::kSyncRepaint | detail::kSyncPaintNow)) {
            if (auto* client = dynamic_cast<ClientView*>(widget)) client->needsPaint = true;
            if (bits & detail::kSyncPaintNow)
                widget->repaint();
            else
                widget->update();
        }
        if (bits & detail::kSyncCapture) {
            if (captureWindow() == w.handle)
                widget->grabMouse();
            else
                widget->releaseMouse();
        }
        view->syncing = wasSyncing;
    }

    void processEvents() override { QCoreApplication::processEvents(QEventLoop::AllEvents); }

    void waitEvents(int timeoutMs) override {
        QTimer timer;
        timer.setSingleShot(true);
        if (timeoutMs >= 0) timer.start(timeoutMs);
        QAbstractEventDispatcher* d = QAbstractEventDispatcher::instance();
        if (d) d->processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents);
    }

    void wake() override {
        if (QAbstractEventDispatcher* d = QAbstractEventDispatcher::instance(qApp->thread())) d->wakeUp();
    }

    bool keyDown(int vk) override {
        Qt::KeyboardModifiers mods = QGuiApplication::queryKeyboardModifiers();
        switch (vk) {
        case VK_SHIFT: return mods & Qt::ShiftModifier;
        case VK_CONTROL: return mods & Qt::ControlModifier;
        case VK_MENU: return mods & Qt::AltModifier;
        case VK_LBUTTON: return QGuiApplication::mouseButtons() & Qt::LeftButton;
        case VK_RBUTTON: return QGuiApplication::mouseButtons() & Qt::RightButton;
        case VK_MBUTTON: return QGuiApplication::mouseButtons() & Qt::MiddleButton;
        default: return keysDown_.count(vk) > 0;
        }
    }

    Point cursorPos() override {
        QPoint p = QCursor::pos();
        return {p.x(), p.y()};
    }
    bool setCursorPos(int x, int y) override {
        QCursor::setPos(x, y);
        return visibleDisplay();
    }
    void setCursorVisible(bool visible) override {
        if (!visible && !cursorHidden_) QGuiApplication::setOverrideCursor(Qt::BlankCursor);
        if (visible && cursorHidden_) QGuiApplication::restoreOverrideCursor();
        cursorHidden_ = !visible;
    }
    void beep() override { QApplication::beep(); }

    // Synthetic keys go to the widget of the layer's focus window (else the
    // toolkit's focus widget) through the application, so every filter sees
    // them as it sees typed keys.
    bool injectKey(int vk, bool down, unsigned modifiers, std::string_view text) override {
        QWidget* target = nullptr;
        auto it = byHandle_.find(focusWindow());
        if (it != byHandle_.end()) target = it->second.data();
        if (!target) target = QApplication::focusWidget();
        if (!target) target = QApplication::activeWindow();
        if (!target) return false;
        Qt::KeyboardModifiers mods;
        if (modifiers & 1) mods |= Qt::ShiftModifier;
        if (modifiers & 2) mods |= Qt::ControlModifier;
        if (modifiers & 4) mods |= Qt::AltModifier;
        int key = qtKeyOf(vk);
        QString typed = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
        if (!key && !typed.isEmpty()) key = typed.at(0).toUpper().unicode();
        QKeyEvent event(down ? QEvent::KeyPress : QEvent::KeyRelease, key, mods, down ? typed : QString());
        QApplication::sendEvent(target, &event);
        return true;
    }

    // A synthetic click at the cursor: press and release go to the widget
    // under it (or the one that has the mouse grabbed).
    bool injectMouseButton(int button, bool down) override {
        QPoint global = QCursor::pos();
        QWidget* target = QWidget::mouseGrabber();
        if (!target) target = QApplication::widgetAt(global);
        if (!target) return false;
        Qt::MouseButton which = button == 2   ? Qt::RightButton
                                : button == 4 ? Qt::MiddleButton
                                              : Qt::LeftButton;
        if (down)
            injectedButtons_ |= which;
        else
            injectedButtons_ &= ~Qt::MouseButtons(which);
        QPointF local = target->mapFromGlobal(global);
        QMouseEvent event(down ? QEvent::MouseButtonPress : QEvent::MouseButtonRelease, local, local,
                          QPointF(global), which, injectedButtons_, QGuiApplication::keyboardModifiers());
        QApplication::sendEvent(target, &event);
        return true;
    }
    Rect screenRect() override {
        QScreen* s = QGuiApplication::primaryScreen();
        if (!s) return {0, 0, 1024, 768};
        QRect g = s->geometry();
        return {g.x(), g.y(), g.x() + g.width(), g.y() + g.height()};
    }

    detail::Surface windowSurface(Hwnd hwnd) override {
        auto it = byHandle_.find(hwnd);
        if (it == byHandle_.end()) return {};
        auto* client = dynamic_cast<ClientView*>(it->second.data());
        if (!client || !client->hasBacking) return {};
        QImage& image = client->ensureBacking();
        return {reinterpret_cast<uint32_t*>(image.bits()), image.width(), image.height(),
                static_cast<int>(image.bytesPerLine() / 4)};
    }

    void surfaceChanged(Hwnd hwnd) override {
        auto it = byHandle_.find(hwnd);
        if (it == byHandle_.end()) return;
        auto* client = dynamic_cast<ClientView*>(it->second.data());
        if (client && !client->painting) client->update();
    }

    bool drawText(const detail::DeviceContext& dc, detail::Surface s, int x, int y,
                  std::string_view text) override {
        QImage image(reinterpret_cast<uchar*>(s.pixels), s.width, s.height, s.stride * 4,
                     QImage::Format_RGB32);
        QPainter p(&image);
        clip(p, dc);
        QFont font = fontOf(dc.font);
        p.setFont(font);
        QString q = toQString(text);
        QFontMetrics metrics(font);
        QPoint at(x + dc.origin.x, y + dc.origin.y);
        if (dc.bkMode == 2 && dc.bkColor != kClrInvalid)
            p.fillRect(QRect(at, QSize(metrics.horizontalAdvance(q), metrics.height())), colorOf(dc.bkColor));
        p.setPen(colorOf(dc.textColor == kClrInvalid ? 0 : dc.textColor));
        p.drawText(at.x(), at.y() + metrics.ascent(), q);
        return true;
    }

    bool textExtent(const detail::DeviceContext& dc, std::string_view text, int& width,
                    int& height) override {
        QFontMetrics metrics(fontOf(dc.font));
        width = metrics.horizontalAdvance(toQString(text));
        height = metrics.height();
        return true;
    }

    bool drawShape(const detail::DeviceContext& dc, detail::Surface s, int shape, const Rect& r) override {
        QImage image(reinterpret_cast<uchar*>(s.pixels), s.width, s.height, s.stride * 4,
                     QImage::Format_RGB32);
        QPainter p(&image);
        clip(p, dc);
        p.translate(dc.origin.x, dc.origin.y);
        const detail::GdiObject* pen = detail::gdiObject(dc.pen);
        const detail::GdiObject* brush = detail::gdiObject(dc.brush);
        if (pen && pen->penStyle != 5) {
            QPen qpen(colorOf(pen->color));
            qpen.setWidth(pen->penWidth);
            if (pen->penStyle == 1) qpen.setStyle(Qt::DashLine);
            if (pen->penStyle == 2) qpen.setStyle(Qt::DotLine);
            p.setPen(qpen);
        } else {
            p.setPen(Qt::NoPen);
        }
        if (brush && brush->color != kClrInvalid)
            p.setBrush(colorOf(brush->color));
        else
            p.setBrush(Qt::NoBrush);
        QRect rect(QPoint(r.left, r.top), QPoint(r.right - 1, r.bottom - 1));
        if (shape == 0)
            p.drawLine(r.left, r.top, r.right, r.bottom);
        else if (shape == 1)
            p.drawRect(rect);
        else
            p.drawEllipse(rect);
        return true;
    }

    StandardAnswer messageBox(Hwnd owner, std::string_view text, std::string_view caption,
                              unsigned style) override;
    FileChooserResult fileChooser(const FileChooserRequest& request) override;
    int popupMenu(Hmenu menu, Point screen, Hwnd owner) override;

    std::vector<MonitorInfo> monitors() override {
        std::vector<MonitorInfo> list;
        QScreen* primary = QGuiApplication::primaryScreen();
        auto rectOf = [](const QRect& g) {
            return Rect{g.x(), g.y(), g.x() + g.width(), g.y() + g.height()};
        };
        for (QScreen* screen : QGuiApplication::screens()) {
            MonitorInfo info;
            info.monitor = rectOf(screen->geometry());
            info.work = rectOf(screen->availableGeometry());
            info.primary = screen == primary;
            if (info.primary)
                list.insert(list.begin(), info);
            else
                list.push_back(info);
        }
        return list;
    }

    bool setClipboardText(std::string_view text) override {
        QClipboard* clipboard = QGuiApplication::clipboard();
        if (!clipboard) return false;
        clipboard->setText(toQString(text));
        return true;
    }
    std::string clipboardText() override {
        QClipboard* clipboard = QGuiApplication::clipboard();
        return clipboard ? fromQString(clipboard->text()) : std::string();
    }

    QWidget* widgetFor(Hwnd h) {
        auto it = byHandle_.find(h);
        return it == byHandle_.end() ? nullptr : it->second.data();
    }

protected:
    bool eventFilter(QObject* object, QEvent* event) override {
        QEvent::Type type = event->type();
        if (type == QEvent::KeyPress || type == QEvent::KeyRelease) {
            auto* e = static_cast<QKeyEvent*>(event);
            int vk = virtualKeyOf(e->key());
            if (vk) {
                if (type == QEvent::KeyPress)
                    keysDown_.insert(vk);
                else
                    keysDown_.erase(vk);
            }
            if (type == QEvent::KeyPress && object->isWidgetType())
                return dialogKey(static_cast<QWidget*>(object), e, vk);
        }
        if ((type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease ||
             type == QEvent::MouseMove) &&
            object->isWidgetType()) {
            auto* widget = static_cast<QWidget*>(object);
            Hwnd h = directHandle(widget);
            Window* w = detail::find(h);
            if (w && w->kind != Kind::Generic && w->kind != Kind::Dialog) {
                auto* e = static_cast<QMouseEvent*>(event);
                QPoint p = e->position().toPoint();
                unsigned m = type == QEvent::MouseMove          ? WM_MOUSEMOVE
                             : type == QEvent::MouseButtonPress ? WM_LBUTTONDOWN
                                                                : WM_LBUTTONUP;
                if (e->button() == Qt::RightButton)
                    m = type == QEvent::MouseButtonPress ? WM_RBUTTONDOWN : WM_RBUTTONUP;
                if (detail::offerInput(h, m, mouseKeys(e->buttons(), e->modifiers()),
                                       makeLParam(p.x(), p.y())))
                    return true;
                if (type == QEvent::MouseButtonRelease && w->kind == Kind::ScrollBar)
                    detail::userScrolled(h, SB_CTL, SB_ENDSCROLL, 0);
            }
        }
        return QObject::eventFilter(object, event);
    }

private:
    // The window a widget shows itself (not through an ancestor).
    static Hwnd directHandle(const QWidget* widget) {
        QVariant v = widget->property(kHandleProperty);
        return v.isValid() ? static_cast<Hwnd>(v.toULongLong()) : 0;
    }

    // Enter, Escape and Tab in a dialog go to the queue, where the dialog manager
    // serves them (or, for a dialog it does not serve, nobody does).
    bool dialogKey(QWidget* widget, QKeyEvent* e, int vk) {
        if (vk != VK_RETURN && vk != VK_ESCAPE && vk != VK_TAB) return false;
        if (e->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) return false;
        // A box or chooser of the toolkit's own, owned by one of our dialogs,
        // serves its keys itself.
        if (!directHandle(widget->window())) return false;
        Hwnd h = handleOf(widget);
        Window* w = detail::find(h);
        if (!w) return false;
        Hwnd top = topLevelOf(h);
        Window* t = detail::find(top);
        if (!t || t->kind != Kind::Dialog) return false;
        if (w->kind == Kind::Edit && (w->style & ES_MULTILINE) && vk == VK_RETURN &&
            (w->style & ES_WANTRETURN))
            return false;
        if (w->kind == Kind::ComboBox &&
            static_cast<QComboBox*>(static_cast<View*>(w->view)->widget)->view()->isVisible())
            return false;
        Hwnd target =
            focusWindow() && (focusWindow() == top || isChild(top, focusWindow())) ? focusWindow() : h;
        LParam lp = (e->key() == Qt::Key_Backtab || (e->modifiers() & Qt::ShiftModifier)) ? 1 : 0;
        postMessage(target, WM_KEYDOWN, static_cast<WParam>(vk), lp);
        return true;
    }

    QWidget* makeButton(Window& w, QWidget* parent) {
        Hwnd h = w.handle;
        unsigned type = w.style & BS_TYPEMASK;
        QAbstractButton* button;
        if (type == BS_GROUPBOX) return new QGroupBox(parent);
        if (type == BS_CHECKBOX || type == BS_3STATE)
            button = new CheckButton(parent);
        else if (type == BS_AUTOCHECKBOX || type == BS_AUTO3STATE)
            button = new CheckButton(parent);
        else if (type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON) {
            auto* radio = new RadioButton(parent);
            radio->setAutoExclusive(false);
            button = radio;
        } else {
            auto* push = new QPushButton(parent);
            push->setAutoDefault(false);
            button = push;
        }
        // A button takes the focus when it is pressed, before it reports the click,
        // whether or not its window is active yet.
        QObject::connect(button, &QAbstractButton::pressed, button, [h]() { detail::userFocused(h); });
        QObject::connect(button, &QAbstractButton::clicked, button, [h]() { detail::userClicked(h); });
        return button;
    }

    // Shows the record's selection (bytes of the CR LF text) in a multi-line
    // edit, scrolled into view.
    static void syncEditSelection(const Window& w, QWidget* widget) {
        auto* edit = qobject_cast<QPlainTextEdit*>(widget);
        if (!edit) return;
        TextWalk walk(w.text);
        QTextCursor cursor = edit->textCursor();
        int length = std::max(0, static_cast<int>(edit->document()->characterCount()) - 1);
        cursor.setPosition(
            std::clamp(walk.widgetPosition(static_cast<size_t>(std::max(w.selStart, 0))), 0, length));
        cursor.setPosition(
            std::clamp(walk.widgetPosition(static_cast<size_t>(std::max(w.selEnd, 0))), 0, length),
            QTextCursor::KeepAnchor);
        edit->setTextCursor(cursor);
        edit->ensureCursorVisible();
    }

    QWidget* makeEdit(Window& w, QWidget* parent) {
        Hwnd h = w.handle;
        if (w.style & ES_MULTILINE) {
            QPlainTextEdit* edit = w.source ? new SourceEditor(h, parent) : new QPlainTextEdit(parent);
            edit->setLineWrapMode((w.style & ES_AUTOHSCROLL) ? QPlainTextEdit::NoWrap
                                                             : QPlainTextEdit::WidgetWidth);
            // Where the person puts the caret or selects is the edit's selection
            // (EM_GETSEL, EM_LINEFROMCHAR), in bytes of its CR LF text.
            QObject::connect(edit, &QPlainTextEdit::cursorPositionChanged, edit, [h, edit]() {
                Window* rec = detail::find(h);
                if (!rec || static_cast<View*>(rec->view)->syncing) return;
                QTextCursor cursor = edit->textCursor();
                TextWalk walk(rec->text);
                detail::userSelectedText(h, static_cast<int>(walk.byteOffset(cursor.anchor())),
                                         static_cast<int>(walk.byteOffset(cursor.position())));
            });
            QObject::connect(edit, &QPlainTextEdit::textChanged, edit, [this, h, edit]() {
                Window* rec = detail::find(h);
                if (!rec || static_cast<View*>(rec->view)->syncing) return;
                QString text = edit->toPlainText();
                text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
                detail::userEditedText(h, fromQString(text));
            });
            return edit;
        }
        auto* edit = new QLineEdit(parent);
        QObject::connect(edit, &QLineEdit::textEdited, edit,
                         [h](const QString& text) { detail::userEditedText(h, fromQString(text)); });
        return edit;
    }

    QWidget* makeList(Window& w, QWidget* parent) {
        Hwnd h = w.handle;
        auto* list = new QListWidget(parent);
        if (w.style & LBS_EXTENDEDSEL)
            list->setSelectionMode(QAbstractItemView::ExtendedSelection);
        else if (w.style & LBS_MULTIPLESEL)
            list->setSelectionMode(QAbstractItemView::MultiSelection);
        else
            list->setSelectionMode(QAbstractItemView::SingleSelection);
        if (w.style & LBS_MULTICOLUMN) {
            list->setFlow(QListView::TopToBottom);
            list->setWrapping(true);
        }
        bool multiple = (w.style & (LBS_EXTENDEDSEL | LBS_MULTIPLESEL)) != 0;
        QObject::connect(list, &QListWidget::itemSelectionChanged, list, [h, list, multiple]() {
            Window* rec = detail::find(h);
            if (!rec || static_cast<View*>(rec->view)->syncing) return;
            if (multiple) {
                std::vector<int> rows;
                for (int i = 0; i < list->count(); ++i)
                    if (list->item(i)->isSelected()) rows.push_back(i);
                detail::userSelectionSet(h, rows);
            } else {
                detail::userSelected(h, list->currentRow(), false);
            }
        });
        QObject::connect(list, &QListWidget::itemDoubleClicked, list, [h, list](QListWidgetItem* item) {
            detail::userSelected(h, list->row(item), true);
        });
        return list;
    }

    QWidget* makeCombo(Window& w, QWidget* parent) {
        Hwnd h = w.handle;
        auto* combo = new Combo(h, parent);
        unsigned type = w.style & CBS_TYPEMASK;
        combo->setEditable(type != CBS_DROPDOWNLIST);
        combo->setInsertPolicy(QComboBox::NoInsert);
        combo->setMaxVisibleItems(12);
        QObject::connect(combo, QOverload<int>::of(&QComboBox::activated), combo,
                         [h](int index) { detail::userSelected(h, index, false); });
        if (QLineEdit* edit = combo->lineEdit()) {
            QObject::connect(edit, &QLineEdit::textEdited, edit,
                             [h](const QString& text) { detail::userEditedText(h, fromQString(text)); });
        }
        return combo;
    }

    void placeWidget(Window& w, QWidget* widget) {
        auto* client = dynamic_cast<ClientView*>(widget);
        if (client) client->programmatic = true;
        if (w.parent) {
            int height = w.rect.height();
            if (w.kind == Kind::ComboBox && (w.style & CBS_TYPEMASK) != CBS_SIMPLE)
                height = std::min(height, 22);  // the template's height includes the list
            widget->setGeometry(w.rect.left, w.rect.top, std::max(0, w.rect.width()), std::max(0, height));
        } else {
            Rect c = detail::clientArea(w);
            int width = c.width() + (w.vertical.shown ? detail::kScrollBarSize : 0);
            int height = c.height() + (w.horizontal.shown ? detail::kScrollBarSize : 0);
            applyTrackingLimits(w, widget);
            widget->setGeometry(w.rect.left + c.left, w.rect.top + c.top, std::max(1, width),
                                std::max(1, height));
        }
        if (client) {
            client->layoutBars();
            client->programmatic = false;
        }
    }

    // The person sizes a window within the tracking sizes its procedure gives
    // (taken as window rectangles: the widget is the client area and its bars).
    static void applyTrackingLimits(Window& w, QWidget* widget) {
        Point minimum, maximum;
        Hwnd h = w.handle;
        if (!detail::trackingLimits(h, minimum, maximum)) return;
        Window* again = detail::find(h);
        if (!again) return;
        Rect m = detail::frameMargins(again->style, again->exStyle);
        int dx = m.left + m.right, dy = m.top + m.bottom;
        QSize low(std::clamp(minimum.x - dx, 0, QWIDGETSIZE_MAX),
                  std::clamp(minimum.y - dy, 0, QWIDGETSIZE_MAX));
        QSize high(std::clamp(maximum.x - dx, 1, QWIDGETSIZE_MAX),
                   std::clamp(maximum.y - dy, 1, QWIDGETSIZE_MAX));
        widget->setMinimumSize(low.boundedTo(high));
        widget->setMaximumSize(high.expandedTo(low));
    }

    void syncText(Window& w, QWidget* widget) {
        QString text = toQString(w.text);
        switch (w.kind) {
        case Kind::Generic:
        case Kind::Dialog: widget->setWindowTitle(text); break;
        case Kind::Button:
            if (auto* group = dynamic_cast<QGroupBox*>(widget))
                group->setTitle(text);
            else if (auto* button = dynamic_cast<QAbstractButton*>(widget)) {
                button->setText(text);
                if (auto* push = dynamic_cast<QPushButton*>(widget))
                    push->setDefault((w.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON);
            }
            break;
        case Kind::Edit:
            if (auto* line = dynamic_cast<QLineEdit*>(widget)) {
                if (line->text() != text) line->setText(text);
                line->setReadOnly(w.style & ES_READONLY);
                line->setEchoMode((w.style & ES_PASSWORD) ? QLineEdit::Password : QLineEdit::Normal);
                Qt::Alignment align = (w.style & ES_RIGHT)    ? Qt::AlignRight
                                      : (w.style & ES_CENTER) ? Qt::AlignHCenter
                                                              : Qt::AlignLeft;
                line->setAlignment(align | Qt::AlignVCenter);
            } else if (auto* multi = dynamic_cast<QPlainTextEdit*>(widget)) {
                QString plain = text;
                plain.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
                plain.replace(QLatin1Char('\r'), QLatin1Char('\n'));
                if (multi->toPlainText() != plain) {
                    if (auto* source = dynamic_cast<SourceEditor*>(multi))
                        source->replaceText(plain);
                    else
                        multi->setPlainText(plain);
                }
                multi->setReadOnly(w.style & ES_READONLY);
            }
            break;
        case Kind::Static: {
            auto* label = static_cast<QLabel*>(widget);
            unsigned type = w.style & SS_TYPEMASK;
            label->setText(text);
            label->setWordWrap(type <= SS_RIGHT);
            Qt::Alignment align = type == SS_CENTER  ? Qt::AlignHCenter
                                  : type == SS_RIGHT ? Qt::AlignRight
                                                     : Qt::AlignLeft;
            label->setAlignment(align | Qt::AlignTop);
            if (w.style & SS_SUNKEN) label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
            break;
        }
        case Kind::ComboBox: {
            auto* combo = static_cast<QComboBox*>(widget);
            if (combo->isEditable() && combo->currentText() != text) combo->setEditText(text);
            break;
        }
        default: break;
        }
    }

    void syncItems(Window& w, QWidget* widget, bool rebuild) {
        if (w.kind == Kind::ListBox) {
            auto* list = static_cast<QListWidget*>(widget);
            QSignalBlocker block(list);
            if (rebuild || list->count() != static_cast<int>(w.items.size())) {
                list->clear();
                for (const auto& item : w.items) list->addItem(toQString(item.text));
            }
            bool multiple = (w.style & (LBS_EXTENDEDSEL | LBS_MULTIPLESEL)) != 0;
            for (int i = 0; i < list->count(); ++i)
                list->item(i)->setSelected(multiple ? w.items[static_cast<size_t>(i)].selected
                                                    : i == w.current);
            if (w.current >= 0 && w.current < list->count())
                list->setCurrentRow(w.current, QItemSelectionModel::NoUpdate);
            if (w.topIndex > 0 && w.topIndex < list->count())
                list->scrollToItem(list->item(w.topIndex), QAbstractItemView::PositionAtTop);
        } else if (w.kind == Kind::ComboBox) {
            auto* combo = static_cast<QComboBox*>(widget);
            QSignalBlocker block(combo);
            if (rebuild || combo->count() != static_cast<int>(w.items.size())) {
                combo->clear();
                for (const auto& item : w.items) combo->addItem(toQString(item.text));
            }
            combo->setCurrentIndex(w.current);
            if (combo->isEditable()) combo->setEditText(toQString(w.text));
        }
    }

    void syncCheck(Window& w, QWidget* widget) {
        if (w.kind != Kind::Button) return;
        auto* button = dynamic_cast<QAbstractButton*>(widget);
        if (!button || !button->isCheckable()) {
            if (auto* check = dynamic_cast<QCheckBox*>(widget))
                button = check;
            else
                return;
        }
        QSignalBlocker block(button);
        if (auto* check = dynamic_cast<QCheckBox*>(widget)) {
            unsigned type = w.style & BS_TYPEMASK;
            check->setTristate(type == BS_3STATE || type == BS_AUTO3STATE);
            check->setCheckState(w.check == BST_INDETERMINATE ? Qt::PartiallyChecked
                                 : w.check                    ? Qt::Checked
                                                              : Qt::Unchecked);
        } else {
            button->setChecked(w.check != 0);
        }
    }

    void syncScroll(Window& w, QWidget* widget) {
        if (w.kind == Kind::ScrollBar) {
            auto* bar = static_cast<QScrollBar*>(widget);
            QSignalBlocker block(bar);
            const detail::ScrollState& s = w.scroll;
            bar->setRange(s.minimum,
                          std::max(s.minimum, s.maximum - std::max(0, static_cast<int>(s.page) - 1)));
            bar->setPageStep(std::max(1, static_cast<int>(s.page)));
            bar->setSliderPosition(s.position);
            bar->setValue(s.position);
        } else if (auto* client = dynamic_cast<ClientView*>(widget)) {
            client->layoutBars();
        }
    }

    void syncColors(Window& w, QWidget* widget) {
        if (!w.parent && w.kind != Kind::Dialog) return;
        detail::ControlColors colors = detail::controlColors(w.handle);
        QPalette palette = widget->palette();
        QPalette base = QApplication::palette(widget);
        QPalette::ColorRole back =
            (w.kind == Kind::Edit || w.kind == Kind::ListBox || w.kind == Kind::ComboBox) ? QPalette::Base
                                                                                          : QPalette::Window;
        palette.setColor(back, colors.hasBackground ? colorOf(colors.background) : base.color(back));
        if (w.kind == Kind::Dialog && !colors.hasBackground)
            palette.setColor(QPalette::Window, colorOf(sysColor(COLOR_BTNFACE)));
        QColor text = colors.hasText ? colorOf(colors.text) : base.color(QPalette::WindowText);
        palette.setColor(QPalette::WindowText, text);
        palette.setColor(QPalette::Text, colors.hasText ? text : base.color(QPalette::Text));
        palette.setColor(QPalette::ButtonText, colors.hasText ? text : base.color(QPalette::ButtonText));
        if (w.kind == Kind::Button && (w.style & BS_TYPEMASK) <= BS_DEFPUSHBUTTON && colors.hasBackground)
            palette.setColor(QPalette::Button, colorOf(colors.background));
        widget->setPalette(palette);
        widget->setAutoFillBackground(w.kind == Kind::Dialog || colors.hasBackground);
    }

    void clip(QPainter& p, const detail::DeviceContext& dc) {
        if (dc.hasClip)
            p.setClipRect(
                QRect(QPoint(dc.clip.left, dc.clip.top), QPoint(dc.clip.right - 1, dc.clip.bottom - 1)));
    }

    QApplication* app_ = nullptr;
    bool offscreen_ = false;
    bool focusSyncing_ = false;
    bool cursorHidden_ = false;
    std::set<int> keysDown_;
    std::unordered_map<Hwnd, QPointer<QWidget>> byHandle_;
    Qt::MouseButtons injectedButtons_;
};

// ---- Standard dialogs

struct NestedDone {
    bool done = false;
};
bool nestedDone(void* context) { return static_cast<NestedDone*>(context)->done; }

QWidget* ownerWidget(Hwnd owner) {
    if (!theBackend) return nullptr;
    Hwnd top = topLevelOf(owner);
    return top ? theBackend->widgetFor(top) : nullptr;
}

class MessageBoxWidget : public QDialog {
public:
    MessageBoxWidget(QWidget* parent, const QString& text, const QString& caption, unsigned style)
        : QDialog(parent) {
        setObjectName("tvxMessageBox");
        setWindowTitle(caption);
        // A title and a close button, no minimise or maximise buttons.
        setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                       Qt::WindowCloseButtonHint);
        auto* outer = new QVBoxLayout(this);
        auto* row = new QHBoxLayout;
        QStyle::StandardPixmap icon = QStyle::SP_CustomBase;
        switch (style & 0xF0) {
        case 0x10: icon = QStyle::SP_MessageBoxCritical; break;
        case 0x20: icon = QStyle::SP_MessageBoxQuestion; break;
        case 0x30: icon = QStyle::SP_MessageBoxWarning; break;
        case 0x40: icon = QStyle::SP_MessageBoxInformation; break;
        default: break;
        }
        if (icon != QStyle::SP_CustomBase) {
            auto* iconLabel = new QLabel;
            iconLabel->setPixmap(this->style()->standardIcon(icon).pixmap(32, 32));
            iconLabel->setAlignment(Qt::AlignTop);
            row->addWidget(iconLabel);
        }
        auto* label = new QLabel(text);
        label->setObjectName("text");
        label->setTextFormat(Qt::PlainText);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        // As wide as the longest line allows, so that paths are not broken up.
        int longest = 0;
        QFontMetrics metrics(label->font());
        for (const QString& line : text.split(QLatin1Char('\n')))
            longest = std::max(longest, metrics.horizontalAdvance(line));
        label->setMinimumWidth(std::clamp(longest + 8, 160, 560));
        label->setMaximumWidth(560);
        label->setWordWrap(true);
        row->addWidget(label, 1);
        outer->addLayout(row);
        auto* buttons = new QHBoxLayout;
        buttons->addStretch(1);
        static const struct {
            int id;
            const char* text;
        } kNames[] = {{IDOK, "OK"},          {IDCANCEL, "Cancel"}, {IDABORT, "&Abort"}, {IDRETRY, "&Retry"},
                      {IDIGNORE, "&Ignore"}, {IDYES, "&Yes"},      {IDNO, "&No"}};
        static const std::vector<int> kSets[] = {
            {IDOK},        {IDOK, IDCANCEL},   {IDABORT, IDRETRY, IDIGNORE}, {IDYES, IDNO, IDCANCEL},
            {IDYES, IDNO}, {IDRETRY, IDCANCEL}};
        unsigned set = style & 0xF;
        ids_ = set <= 5 ? kSets[set] : kSets[0];
        size_t defaultIndex = (style & 0x200) ? 2 : (style & 0x100) ? 1 : 0;
        if (defaultIndex >= ids_.size()) defaultIndex = 0;
        for (size_t i = 0; i < ids_.size(); ++i) {
            int id = ids_[i];
            const char* name = "OK";
            for (const auto& n : kNames)
                if (n.id == id) name = n.text;
            auto* button = new QPushButton(QString::fromLatin1(name));
            button->setObjectName(QStringLiteral("button%1").arg(id));
            button->setMinimumWidth(75);
            button->setAutoDefault(true);
            if (i == defaultIndex) {
                button->setDefault(true);
                defaultButton_ = button;
            }
            connect(button, &QPushButton::clicked, this, [this, id]() { finish(id); });
            buttons->addWidget(button);
        }
        buttons->addStretch(1);
        outer->addLayout(buttons);
        if (std::find(ids_.begin(), ids_.end(), IDCANCEL) != ids_.end())
            escape_ = IDCANCEL;
        else if (ids_.size() == 1 && ids_[0] == IDOK)
            escape_ = IDOK;
    }
    int answer() const { return answer_; }
    unsigned modifiers() const { return modifiers_; }
    bool finished() const { return answer_ != 0; }

    void showEvent(QShowEvent* event) override {
        QDialog::showEvent(event);
        if (defaultButton_) defaultButton_->setFocus(Qt::OtherFocusReason);
    }

    void reject() override {
        // Escape and the close button answer Cancel (or OK alone); a box without
        // either cannot be closed that way.
        if (escape_) finish(escape_);
    }

private:
    void finish(int id) {
        Qt::KeyboardModifiers mods = QGuiApplication::queryKeyboardModifiers();
        modifiers_ = ((mods & Qt::ShiftModifier) ? 1u : 0u) | ((mods & Qt::ControlModifier) ? 2u : 0u) |
                     ((mods & Qt::AltModifier) ? 4u : 0u);
        answer_ = id;
        hide();
    }
    std::vector<int> ids_;
    QPushButton* defaultButton_ = nullptr;
    int escape_ = 0;
    int answer_ = 0;
    unsigned modifiers_ = 0;
};

bool boxDone(void* context) {
    auto* box = static_cast<QPointer<MessageBoxWidget>*>(context);
    return box->isNull() || (*box)->finished() || !(*box)->isVisible();
}

StandardAnswer Backend::messageBox(Hwnd owner, std::string_view text, std::string_view caption,
                                   unsigned style) {
    QString body = toQString(text);
    body.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    body.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    auto* box = new MessageBoxWidget(ownerWidget(owner), body, toQString(caption), style);
    box->setWindowModality(Qt::ApplicationModal);
    box->show();
    box->activateWindow();
    QPointer<MessageBoxWidget> guard(box);
    detail::runNestedLoop(boxDone, &guard);
    StandardAnswer answer;
    if (guard) {
        answer.button = guard->answer();
        answer.modifiers = guard->modifiers();
        guard->deleteLater();
    }
    return answer;
}

QString filterPatterns(const std::string& patterns) {
    QStringList list;
    for (const QString& p : toQString(patterns).split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        QString t = p.trimmed();
        list << (t == QStringLiteral("*.*") ? QStringLiteral("*") : t);
    }
    return list.join(QLatin1Char(' '));
}

FileChooserResult Backend::fileChooser(const FileChooserRequest& request) {
    auto* dialog = new QFileDialog(ownerWidget(request.owner));
    dialog->setObjectName("tvxFileChooser");
    dialog->setOption(QFileDialog::DontUseNativeDialog, true);
    dialog->setWindowTitle(!request.title.empty() ? toQString(request.title)
                           : request.save         ? QStringLiteral("Save As")
                                                  : QStringLiteral("Open"));
    dialog->setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    if (request.folder) {
        dialog->setFileMode(QFileDialog::Directory);
    } else if (request.save) {
        dialog->setFileMode(QFileDialog::AnyFile);
    } else {
        dialog->setFileMode(request.multiple        ? QFileDialog::ExistingFiles
                            : request.fileMustExist ? QFileDialog::ExistingFile
                                                    : QFileDialog::AnyFile);
    }
    dialog->setOption(QFileDialog::DontConfirmOverwrite, !request.overwritePrompt);
    QStringList filters;
    for (const auto& [description, patterns] : request.filters) {
        QString d = toQString(description).trimmed();
        int open = static_cast<int>(d.lastIndexOf(QLatin1Char('(')));
        if (open > 0 && d.endsWith(QLatin1Char(')'))) d = d.left(open).trimmed();
        filters << QStringLiteral("%1 (%2)").arg(d, filterPatterns(patterns));
    }
    if (!filters.isEmpty() && !request.folder) {
        dialog->setNameFilters(filters);
        int index = std::clamp(request.filterIndex, 1, static_cast<int>(filters.size())) - 1;
        dialog->selectNameFilter(filters[index]);
    }
    if (!request.directory.empty()) dialog->setDirectory(QString::fromUtf8(request.directory.c_str()));
    // A name with wildcards only narrows what is listed (as it would when typed).
    bool wildcard = request.fileName.find_first_of("*?") != std::string::npos;
    if (!request.fileName.empty() && !request.folder && !wildcard)
        dialog->selectFile(toQString(request.fileName));
    dialog->setWindowModality(Qt::ApplicationModal);
    NestedDone done;
    int result = 0;
    QObject::connect(dialog, &QDialog::finished, dialog, [&done, &result](int r) {
        result = r;
        done.done = true;
    });
    dialog->show();
    detail::runNestedLoop(nestedDone, &done);
    FileChooserResult out;
    out.ok = result == QDialog::Accepted;
    if (out.ok) {
        for (const QString& path : dialog->selectedFiles()) out.paths.push_back(path.toUtf8().toStdString());
        int index = static_cast<int>(filters.indexOf(dialog->selectedNameFilter()));
        out.filterIndex = index >= 0 ? index + 1 : request.filterIndex;
    }
    dialog->deleteLater();
    return out;
}

// ---- Menus

void fillMenu(QMenu* menu, Hmenu handle, int depth) {
    const detail::MenuRecord* record = detail::menuRecord(handle);
    if (!record || depth > 16) return;
    for (const detail::MenuItem& item : record->items) {
        if (item.flags & MF_SEPARATOR) {
            menu->addSeparator();
            continue;
        }
        QString text = toQString(item.text);
        if (item.flags & MF_POPUP) {
            QMenu* sub = menu->addMenu(text);
            sub->menuAction()->setEnabled(!(item.flags & (MF_GRAYED | MF_DISABLED)));
            fillMenu(sub, item.popup, depth + 1);
            continue;
        }
        QAction* action = menu->addAction(text);
        action->setData(static_cast<qulonglong>(item.id));
        action->setEnabled(!(item.flags & (MF_GRAYED | MF_DISABLED)));
        if (item.flags & MF_CHECKED) {
            action->setCheckable(true);
            action->setChecked(true);
        }
    }
}

struct MenuChoice {
    bool done = false;
    int id = 0;
};
bool menuDone(void* context) { return static_cast<MenuChoice*>(context)->done; }

int Backend::popupMenu(Hmenu handle, Point screen, Hwnd owner) {
    auto* menu = new QMenu(ownerWidget(owner));
    menu->setObjectName("tvxPopupMenu");
    fillMenu(menu, handle, 0);
    MenuChoice choice;
    QObject::connect(menu, &QMenu::triggered, menu, [&choice](QAction* action) {
        choice.id = static_cast<int>(action->data().toULongLong());
        choice.done = true;
    });
    QObject::connect(menu, &QMenu::aboutToHide, menu, [&choice]() { choice.done = true; });
    menu->popup(QPoint(screen.x, screen.y));
    detail::runNestedLoop(menuDone, &choice);
    menu->hide();
    menu->deleteLater();
    return choice.id;
}

}  // namespace

QWidget* widgetOf(Hwnd hwnd) { return theBackend ? theBackend->widgetFor(hwnd) : nullptr; }

Hwnd handleOf(const QWidget* widget) {
    for (const QWidget* w = widget; w; w = w->parentWidget()) {
        QVariant v = w->property(kHandleProperty);
        if (v.isValid()) return static_cast<Hwnd>(v.toULongLong());
    }
    return 0;
}

}  // namespace qt
}  // namespace tvx::platform

extern "C" __attribute__((visibility("default"))) tvx::platform::detail::Backend* tvxCreateWindowBackend(
    bool headless) {
    static tvx::platform::qt::Backend* backend = new tvx::platform::qt::Backend(headless);
    return backend;
}
