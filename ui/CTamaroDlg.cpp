#include "ui/CTamaroDlg.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QShortcutEvent>
#include <QTableWidget>
#include <QTimer>
#include <QUrl>
#include <QWindow>
#include <algorithm>
#include <iterator>

#include "app/MainDialogCore.h"
#include "app/MainView.h"
#include "core/FsPath.h"
#include "core/Globals.h"
#include "core/LogSink.h"
#include "core/WindowServices.h"
#include "platform/CloseOnExec.h"
#include "ui/CAboutDlg.h"
#include "ui/DatePicker.h"
#include "ui/ProgressLogWidget.h"
#include "ui/QtCp1252.h"
#include "ui/ReportList.h"

namespace {

// The dialog as first laid out; the resize layout moves and sizes the
// anchored controls from here on.
constexpr int kWidth = 800;
constexpr int kHeight = 550;
// The date pickers of the filters.
constexpr ControlId kDatePickers[] = {IDC_SERVICE_FROM, IDC_SERVICE_TO, IDC_ADMISSION_FROM,
                                      IDC_ADMISSION_TO};
constexpr int kButtonHeight = 26;
constexpr int kRightX = 372;  // left edge of the filter group and the log
constexpr int kRowHeight = 22;
// The function keys' captions: the room a button's frame takes, and the
// smallest size a caption is set in to fit its button.
constexpr int kCaptionPadding = 10;
constexpr qreal kSmallestCaptionPoints = 7;

QString IdName(int id) {
    return QString::number(id);
}

// The program icon: a white "T" on a blue tile, drawn so that no image file
// has to travel with the program.
QIcon ProgramIcon() {
    QIcon icon;
    for (int size : {16, 32, 48}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setBrush(QColor(0, 0, 255));
        painter.setPen(Qt::NoPen);
        painter.drawRoundedRect(QRectF(0, 0, size, size), size / 6.0, size / 6.0);
        QFont font = painter.font();
        font.setBold(true);
        font.setPixelSize(size * 3 / 4);
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.drawText(QRect(0, 0, size, size), Qt::AlignCenter, QStringLiteral("T"));
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

}  // namespace

const char* const CTamaroDlg::ClosesAfterRunNote = "wird nach dem Vorgang beendet";
const char* const CTamaroDlg::ClosesAfterRunLine =
    "Tamaro wird beendet, sobald der laufende Vorgang abgeschlossen ist.";

CTamaroDlg::CTamaroDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("102"));
    setWindowTitle(QStringLiteral("Tamaro"));
    setWindowIcon(ProgramIcon());
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    resize(kWidth, kHeight);

    velunda_ = AddButton(IDC_VIEW_VELUNDA, QStringLiteral("Velunda"), QRect(4, 4, 90, 24));
    archive_ = AddButton(IDC_VIEW_ARCHIV, QStringLiteral("Archiv"), QRect(98, 4, 90, 24));
    // Pushed one at a time, like radio buttons, but each its own Tab stop:
    // in an exclusive button group Tab would reach only the pushed one.
    for (QPushButton* b : {velunda_, archive_}) {
        b->setCheckable(true);
        b->setAutoDefault(false);
    }
    // A click leaves the focus where it is, as on the function keys: a date
    // being typed is then taken by the command (or refuses it) rather than
    // refused by the field on its own while the click goes ahead.
    for (QPushButton* b : {velunda_, archive_}) b->setFocusPolicy(Qt::TabFocus);
    CheckViewButton(IDC_VIEW_VELUNDA);
    // A click toggles a checkable button at once; the view shown keeps its
    // button pressed until the switch is made (a typed date that is no date
    // refuses it in a box first).
    connect(velunda_, &QPushButton::clicked, this, [this] {
        CheckViewButton(ShownViewButton(IDC_VIEW_VELUNDA));
        RunCommand(&CTamaroDlg::OnVelundaView);
    });
    connect(archive_, &QPushButton::clicked, this, [this] {
        CheckViewButton(ShownViewButton(IDC_VIEW_ARCHIV));
        RunCommand(&CTamaroDlg::OnArchiveView);
    });

    doctors_ = new QComboBox(this);
    doctors_->setObjectName(IdName(IDC_DOCTORS));
    doctors_->setGeometry(kWidth - 220 - 4, 4, 220, 24);
    // The choice is taken once the drop-down has closed.
    connect(doctors_, &QComboBox::activated, this,
            [this] { Queue(&CTamaroDlg::OnDoctorSelected); });

    list_ = new ReportList({QStringLiteral("Patient"), QStringLiteral("Art"),
                            QStringLiteral("Leistung"), QStringLiteral("Dummy")},
                           this);
    list_->setObjectName(IdName(IDC_PATLIST));
    list_->setGeometry(4, 32, kRightX - 8, kHeight - 32 - kButtonHeight - 2);
    QHeaderView* header = list_->horizontalHeader();
    header->resizeSection(1, 70);
    header->resizeSection(2, 70);
    header->resizeSection(3, 0);
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    connect(list_, &QTableWidget::cellDoubleClicked, this,
            [this] { RunCommand(&CTamaroDlg::OnListDoubleClick); });

    filter_ = new QGroupBox(QStringLiteral("Filter "), this);
    filter_->setObjectName(IdName(IDC_FILTER_GROUP));
    filter_->setGeometry(kRightX, 28, kWidth - kRightX - 4, 138);

    // The caption column is as wide as the longest caption in the window's font.
    const QFontMetrics metrics(font());
    const int labelX = kRightX + 10;
    const int labelWidth =
        std::max({140, metrics.horizontalAdvance(QStringLiteral("Letzte Leistung zwischen")) + 8,
                  metrics.horizontalAdvance(QStringLiteral("Aufnahmedatum zwischen")) + 8});
    const int pickerX = labelX + labelWidth, undX = pickerX + 104,
              undWidth = metrics.horizontalAdvance(QStringLiteral("und")) + 8,
              secondX = undX + undWidth;
    // Each caption's mnemonic (Alt and the underlined letter) takes the
    // focus to its field; Alt+A stays "Liste aktualisieren".
    AddPicker(IDC_SERVICE_FROM, QRect(pickerX, 48, 100, kRowHeight));
    AddCaption(IDC_SERVICE_FROM, QStringLiteral("&Letzte Leistung zwischen"),
               QRect(labelX, 48, labelWidth, kRowHeight));
    AddPicker(IDC_SERVICE_TO, QRect(secondX, 48, 100, kRowHeight));
    AddCaption(IDC_SERVICE_TO, QStringLiteral("&und"), QRect(undX, 48, undWidth, kRowHeight));
    AddPicker(IDC_ADMISSION_FROM, QRect(pickerX, 76, 100, kRowHeight));
    AddCaption(IDC_ADMISSION_FROM, QStringLiteral("Aufnahmedatum &zwischen"),
               QRect(labelX, 76, labelWidth, kRowHeight));
    AddPicker(IDC_ADMISSION_TO, QRect(secondX, 76, 100, kRowHeight));
    AddCaption(IDC_ADMISSION_TO, QStringLiteral("un&d"), QRect(undX, 76, undWidth, kRowHeight));

    name_ = new QLineEdit(this);
    name_->setObjectName(IdName(IDC_NAME));
    name_->setGeometry(pickerX, 104, 100, kRowHeight);
    AddCaption(IDC_NAME, QStringLiteral("&Name enthält"),
               QRect(labelX, 104, labelWidth, kRowHeight));

    refresh_ = AddButton(IDC_REFRESH, QStringLiteral("Liste &aktualisieren"), QRect());
    refresh_->setFocusPolicy(Qt::TabFocus);
    // As wide as its caption needs in the desktop's font, 112 pixels at least.
    const int refreshWidth = std::max(112, refresh_->sizeHint().width());
    refresh_->setGeometry(kWidth - refreshWidth - 12, 102, refreshWidth, 26);
    connect(refresh_, &QPushButton::clicked, this, [this] { RunCommand(&CTamaroDlg::OnRefresh); });

    runs_ = new QComboBox(this);
    runs_->setObjectName(IdName(IDC_ARCHIVE_RUNS));
    runs_->setGeometry(pickerX, 134, secondX + 100 - pickerX, kRowHeight + 2);
    AddCaption(IDC_ARCHIVE_RUNS, QStringLiteral("A&rchivierung vom"),
               QRect(labelX, 134, 140, kRowHeight));

    log_ = new ProgressLogWidget(this);
    log_->setObjectName(IdName(IDC_LOG));
    log_->setGeometry(kRightX, 172, kWidth - kRightX, kHeight - 172 - kButtonHeight - 2);

    static const char* const captions[8] = {"F1: Hilfe",       "F2: Alle",      "F3: Keine",
                                            "F4: Archivieren", "F5: Pat.-Info", "F6: Löschen",
                                            "F7: Drucken",     "F8: Speichern"};
    const int w = kWidth / 8;
    for (int k = 0; k < 8; ++k) {
        fkeys_[k] = AddButton(IDC_F1 + k, QString::fromUtf8(captions[k]),
                              QRect(k * w, kHeight - kButtonHeight, w, kButtonHeight));
        fkeys_[k]->setFocusPolicy(Qt::TabFocus);
        connect(fkeys_[k], &QPushButton::clicked, this,
                [this, k] { HandleFunctionKey(Qt::Key_F1 + k); });
    }

    rows_ = std::make_unique<PatientListControl>(list_);
    runsAdapter_ = std::make_unique<QtComboBox>(runs_);
    doctorsAdapter_ = std::make_unique<QtComboBox>(doctors_);

    // Children are raised in creation order; the group frame stays behind
    // the filter controls that it surrounds.
    filter_->lower();

    // Tab walks the window as it reads: the views and the doctor, the list,
    // the filters from top to bottom, the refresh button, the log and the
    // function keys.
    QWidget* const order[] = {velunda_,
                              archive_,
                              doctors_,
                              list_,
                              Control(IDC_SERVICE_FROM),
                              Control(IDC_SERVICE_TO),
                              Control(IDC_ADMISSION_FROM),
                              Control(IDC_ADMISSION_TO),
                              name_,
                              runs_,
                              refresh_,
                              log_};
    QWidget* previous = nullptr;
    for (QWidget* w : order) {
        if (previous) setTabOrder(previous, w);
        previous = w;
    }
    for (QPushButton* b : fkeys_) {
        setTabOrder(previous, b);
        previous = b;
    }
    setMinimumSize(MinimumLayoutSize());
    // Wide enough at the start for every key's caption in the window's font.
    const int keyWidth = metrics.horizontalAdvance(QStringLiteral("F4: Restaurieren"));
    resize(std::max(kWidth, 8 * (keyWidth + kCaptionPadding)), kHeight);
    list_->setFocus();
    qApp->installEventFilter(this);
}

QSize CTamaroDlg::MinimumLayoutSize() const {
    // The left column (view buttons, list) keeps its width; the filter group
    // must hold its rows, the doctor box must stay right of the view buttons,
    // the refresh button right of the name field, and each function key must
    // show its caption (the longer of the two F4 captions counts).
    int filterRight = 0;
    for (int id : {IDC_SERVICE_FROM, IDC_SERVICE_TO, IDC_ADMISSION_FROM, IDC_ADMISSION_TO, IDC_NAME,
                   IDC_ARCHIVE_RUNS}) {
        filterRight = std::max(filterRight, Control(id)->geometry().right());
        if (auto* caption = findChild<QLabel*>(QStringLiteral("caption") + IdName(id)))
            filterRight = std::max(filterRight, caption->geometry().right());
    }
    const int groupWidth = filterRight + 1 + 10 - filter_->x();
    int width = filter_->x() + groupWidth + 4;
    width = std::max(width, archive_->geometry().right() + 1 + 8 + doctors_->width() + 4);
    width = std::max(width, name_->geometry().right() + 1 + 8 + refresh_->width() + 12);
    QFont smallest = font();
    smallest.setPointSizeF(kSmallestCaptionPoints);
    const QFontMetrics captionMetrics(smallest);
    int key = captionMetrics.horizontalAdvance(QStringLiteral("F4: Restaurieren"));
    for (QPushButton* b : fkeys_) key = std::max(key, captionMetrics.horizontalAdvance(b->text()));
    width = std::max(width, 8 * (key + kCaptionPadding));

    // Below the filter group the log keeps a few lines; the list above the
    // keys keeps its header and a few rows.
    const int h = fkeys_[0]->height();
    const int logLines = 4 * log_->fontMetrics().lineSpacing() + 2 * log_->frameWidth() + 8;
    int height = log_->y() + logLines + 2 + h;
    const int rows = list_->horizontalHeader()->sizeHint().height() +
                     3 * list_->verticalHeader()->defaultSectionSize() + 2 * list_->frameWidth();
    height = std::max(height, list_->y() + rows + 2 + h);
    return QSize(width, height);
}

CTamaroDlg::~CTamaroDlg() {
    if (qApp) qApp->removeEventFilter(this);
}

QPushButton* CTamaroDlg::AddButton(int id, const QString& caption, const QRect& geometry) {
    auto* button = new QPushButton(caption, this);
    button->setObjectName(IdName(id));
    button->setGeometry(geometry);
    button->setAutoDefault(false);
    return button;
}

QLabel* CTamaroDlg::AddCaption(int forId, const QString& caption, const QRect& geometry) {
    auto* label = new QLabel(caption, this);
    label->setObjectName(QStringLiteral("caption") + IdName(forId));
    label->setGeometry(geometry);
    label->setBuddy(Control(forId));
    return label;
}

DatePicker* CTamaroDlg::AddPicker(int id, const QRect& geometry) {
    auto* picker = new DatePicker(this);
    picker->setObjectName(IdName(id));
    picker->setGeometry(geometry);
    return picker;
}

void CTamaroDlg::CheckViewButton(int id) {
    velunda_->setChecked(id == IDC_VIEW_VELUNDA);
    archive_->setChecked(id == IDC_VIEW_ARCHIV);
}

QWidget* CTamaroDlg::Control(int id) const {
    return findChild<QWidget*>(IdName(id), Qt::FindDirectChildrenOnly);
}

QPushButton* CTamaroDlg::FunctionButton(int fkey) const {
    return fkey >= 1 && fkey <= 8 ? fkeys_[fkey - 1] : nullptr;
}

DatePicker* CTamaroDlg::Picker(int id) const {
    if (std::find(std::begin(kDatePickers), std::end(kDatePickers), id) == std::end(kDatePickers))
        return nullptr;
    return qobject_cast<DatePicker*>(Control(id));
}

void CTamaroDlg::SetPickerTime(int id, time_t seconds) {
    if (DatePicker* p = Picker(id)) p->SetTime(seconds);
}

time_t CTamaroDlg::PickerTime(int id) const {
    DatePicker* p = Picker(id);
    return p ? p->GetTime() : 0;
}

void CTamaroDlg::FitPatientColumn() {
    rows_->SetColumnWidth(0,
                          rows_->GetClientWidth() - list_->columnWidth(1) - list_->columnWidth(2));
}

void CTamaroDlg::SizeListColumns() {
    rows_->AutoSizeColumn(1);
    rows_->AutoSizeColumn(2);
    FitPatientColumn();
}

void CTamaroDlg::LayoutControls(int cx, int cy) {
    if (!list_ || !rows_) return;
    const int h = fkeys_[0]->height();
    const int w = cx / 8;
    const int y = cy - h;
    for (int k = 0; k < 7; ++k) fkeys_[k]->setGeometry(k * w, y, w, h);
    fkeys_[7]->setGeometry(7 * w, y, cx - 7 * w, h);

    QRect r = list_->geometry();
    list_->setGeometry(r.x(), r.y(), r.width(), cy - r.y() - h - 2);
    r = log_->geometry();
    log_->setGeometry(r.x(), r.y(), cx - r.x(), cy - r.y() - h - 2);
    r = doctors_->geometry();
    doctors_->setGeometry(cx - r.width() - 4, r.y(), r.width(), r.height());
    r = filter_->geometry();
    filter_->setGeometry(r.x(), r.y(), cx - r.x() - 4, r.height());
    r = refresh_->geometry();
    refresh_->setGeometry(cx - r.width() - 12, r.y(), r.width(), r.height());
    FitPatientColumn();
    FitFunctionKeyCaptions();
}

void CTamaroDlg::FitFunctionKeyCaptions() {
    // An eighth of a narrow window is too little for "F4: Restaurieren" in
    // some desktop fonts. The keys then share the largest smaller size at
    // which every caption fits (F4's longer one too, so that switching the
    // view changes nothing), rather than one key standing out in a smaller
    // size or a caption being cut off.
    const auto fits = [this](const QFont& f) {
        const QFontMetrics metrics(f);
        for (QPushButton* b : fkeys_)
            if (metrics.horizontalAdvance(b->text()) + kCaptionPadding > b->width()) return false;
        return metrics.horizontalAdvance(QStringLiteral("F4: Restaurieren")) + kCaptionPadding <=
               fkeys_[3]->width();
    };
    QFont f = font();
    while (!fits(f) && f.pointSizeF() > kSmallestCaptionPoints)
        f.setPointSizeF(std::max(kSmallestCaptionPoints, f.pointSizeF() - 0.5));
    for (QPushButton* b : fkeys_)
        if (b->font() != f) b->setFont(f);
}

void CTamaroDlg::FitIntoScreen() {
    QScreen* s = screen();
    if (!s) return;
    const QRect area = s->availableGeometry();
    // The frame is known once the window manager has framed the window.
    QMargins frame;
    if (QWindow* handle = windowHandle()) frame = handle->frameMargins();
    const QSize room(area.width() - frame.left() - frame.right(),
                     area.height() - frame.top() - frame.bottom());
    if (room.width() <= 0 || room.height() <= 0) return;
    // Where the screen is smaller than the layout needs, controls may
    // overlap: better than function keys beyond the screen's edge.
    setMinimumSize(MinimumLayoutSize().boundedTo(room));
    if (width() > room.width() || height() > room.height()) resize(size().boundedTo(room));
    const QRect outer(pos(), QSize(width() + frame.left() + frame.right(),
                                   height() + frame.top() + frame.bottom()));
    const int x = std::max(area.left(), std::min(outer.x(), area.right() + 1 - outer.width()));
    const int y = std::max(area.top(), std::min(outer.y(), area.bottom() + 1 - outer.height()));
    if (x != outer.x() || y != outer.y()) move(x, y);
}

void CTamaroDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FitIntoScreen();
    // The frame's size comes from the window manager a moment later, and
    // the window may be moved to another screen.
    QTimer::singleShot(0, this, &CTamaroDlg::FitIntoScreen);
    if (QWindow* handle = windowHandle())
        connect(handle, &QWindow::screenChanged, this, &CTamaroDlg::FitIntoScreen,
                Qt::UniqueConnection);
}

void CTamaroDlg::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    LayoutControls(width(), height());
}

// Marks the inputs that came before a command of the window; nested
// commands (a key handled while a refill writes its lines) mark their own and
// give the outer command its mark back.
class CTamaroDlg::CommandScope {
  public:
    explicit CommandScope(CTamaroDlg& dlg)
        : dlg_(dlg), mark_(dlg.commandMark_), depth_(dlg.commandDepth_) {
        dlg_.commandMark_ = dlg_.userInputs_;
        ++dlg_.commandDepth_;
    }
    ~CommandScope() {
        dlg_.commandMark_ = mark_;
        dlg_.commandDepth_ = depth_;
    }
    CommandScope(const CommandScope&) = delete;
    CommandScope& operator=(const CommandScope&) = delete;

  private:
    CTamaroDlg& dlg_;
    quint64 mark_;
    int depth_;
};

void CTamaroDlg::RunCommand(void (CTamaroDlg::*command)()) {
    CommandScope scope(*this);
    (this->*command)();
}

int CTamaroDlg::ShownViewButton(int fallback) const {
    if (!core_) return fallback;
    return core_->Databases().ArchiveIsSource() ? IDC_VIEW_ARCHIV : IDC_VIEW_VELUNDA;
}

bool CTamaroDlg::HandleFunctionKey(int qtKey) {
    if (qtKey < Qt::Key_F1 || qtKey > Qt::Key_F8) return false;
    CommandScope scope(*this);
    const int fkey = qtKey - Qt::Key_F1 + 1;
    // F4 to F6, and during a run F7 and F8 (whose dialogs would hold the run
    // up), act only while their button is enabled.
    if (fkey >= 4 && !fkeys_[fkey - 1]->isEnabled()) return true;
    switch (fkey) {
        case 1:
            OnHelp();
            break;
        case 2:
            OnSelectAll();
            break;
        case 3:
            OnSelectNone();
            break;
        case 4:
            OnTransfer();
            break;
        case 5:
            OnPatientInfo();
            break;
        case 6:
            OnDelete();
            break;
        case 7:
            OnPrint();
            break;
        case 8:
            OnSave();
            break;
    }
    return true;
}

bool CTamaroDlg::HandleShiftedFunctionKey(int qtKey) {
    if (qtKey != Qt::Key_F4 && qtKey != Qt::Key_F5 && qtKey != Qt::Key_F6)
        return HandleFunctionKey(qtKey);
    CommandScope scope(*this);
    if (qtKey == Qt::Key_F5) {
        // Like the window menu's entry: the command refuses during a run.
        OnExport();
        return true;
    }
    const int fkey = qtKey - Qt::Key_F1 + 1;
    if (!fkeys_[fkey - 1]->isEnabled()) return true;
    if (fkey == 4)
        OnPreviewTransfer();
    else
        OnPreviewDelete();
    return true;
}

void CTamaroDlg::CountUserInput(QObject* watched, QEvent* event) {
    // Every event of the application passes here: the type is looked at
    // before the receiver's window. A key that triggers a mnemonic or
    // shortcut never arrives as a key press; its shortcut override comes to
    // the focus widget first.
    const QEvent::Type type = event->type();
    bool input = type == QEvent::MouseButtonPress;
    if (type == QEvent::KeyPress || type == QEvent::ShortcutOverride) {
        switch (static_cast<QKeyEvent*>(event)->key()) {
            case Qt::Key_Shift:
            case Qt::Key_Control:
            case Qt::Key_Alt:
            case Qt::Key_AltGr:
            case Qt::Key_Meta:
                break;
            default:
                input = true;
        }
    }
    if (input && watched->isWidgetType() && static_cast<QWidget*>(watched)->window() == this)
        ++userInputs_;
}

bool CTamaroDlg::eventFilter(QObject* watched, QEvent* event) {
    // Sees the keys of every control of this window before the control does,
    // like the key pre-translation of a dialog. Alt+F4 stays the window
    // manager's.
    const QEvent::Type type = event->type();
    CountUserInput(watched, event);
    // A button's mnemonic (Alt+A) would click it only a tenth of a second
    // later, after the keys typed next: those would then change the filters
    // that the refresh reads. It clicks at once, as a menu entry's key does.
    if (type == QEvent::Shortcut && watched->isWidgetType()) {
        auto* button = qobject_cast<QAbstractButton*>(watched);
        if (button && button->window() == this && button->isEnabled() &&
            !static_cast<QShortcutEvent*>(event)->isAmbiguous()) {
            button->click();
            return true;
        }
    }
    // A double click on a row reaches OnListDoubleClick as the table's
    // signal; one below the last row highlights nothing, as a click there
    // does in a list view, and then runs F5's command as well.
    if (type == QEvent::MouseButtonDblClick && list_ && watched == list_->viewport()) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton &&
            !list_->indexAt(mouse->position().toPoint()).isValid()) {
            list_->clearSelection();
            RunCommand(&CTamaroDlg::OnListDoubleClick);
            return true;
        }
    }
    if ((type == QEvent::KeyPress || type == QEvent::ShortcutOverride) && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->window() == this) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() >= Qt::Key_F1 && key->key() <= Qt::Key_F8 &&
            !(key->modifiers() & Qt::AltModifier)) {
            event->accept();
            if (type == QEvent::KeyPress) {
                if (key->modifiers() & Qt::ShiftModifier)
                    HandleShiftedFunctionKey(key->key());
                else
                    HandleFunctionKey(key->key());
            }
            return true;
        }
        if (key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier) {
            event->accept();
            if (type == QEvent::KeyPress) OpenContextMenuByKey(static_cast<QWidget*>(watched));
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CTamaroDlg::OpenContextMenuByKey(QWidget* focus) {
    // Shift+F10 opens the menu of the control that has the focus, as the
    // menu key does: the log's own menu, or else the window's. It opens at
    // the control (at the highlighted row in the list), not at the mouse.
    QPoint at = focus->rect().center();
    if (focus == list_->viewport() || focus == list_) {
        focus = list_->viewport();
        const QRect row = list_->visualRect(list_->currentIndex());
        at = row.isValid() && focus->rect().intersects(row) ? row.center()
                                                            : QPoint(focus->width() / 2, 0);
    }
    QContextMenuEvent menu(QContextMenuEvent::Keyboard, at, focus->mapToGlobal(at));
    QApplication::sendEvent(focus, &menu);
}

QMenu* CTamaroDlg::CreateSystemMenu(QWidget* parent) {
    auto* menu = new QMenu(parent);
    menu->setObjectName(QStringLiteral("SystemMenu"));
    // Each entry's command runs once the menu has closed (see Queue); an
    // entry that cannot run now is grey, as F4 is during a run.
    QAction* about = menu->addAction(QStringLiteral("&Info über Tamaro..."));
    about->setObjectName(QStringLiteral("16"));
    // A modal box opened during a run would hold the run up without a sign.
    about->setEnabled(!RunInProgress());
    connect(about, &QAction::triggered, this, [this] { Queue(&CTamaroDlg::ShowAbout); });
    QAction* check = menu->addAction(QStringLiteral("&") + ToQString(CheckCommand::MenuText));
    check->setObjectName(QStringLiteral("32"));
    check->setEnabled(!CommandsBusy());
    connect(check, &QAction::triggered, this, [this] { Queue(&CTamaroDlg::OnCheck); });
    QAction* exportRecords = menu->addAction(
        QStringLiteral("&") + ToQString(ExportCommand::MenuText) + QStringLiteral("\tUmschalt+F5"));
    exportRecords->setObjectName(QStringLiteral("33"));
    exportRecords->setEnabled(!CommandsBusy());
    connect(exportRecords, &QAction::triggered, this, [this] { Queue(&CTamaroDlg::OnExport); });
    return menu;
}

void CTamaroDlg::Queue(void (CTamaroDlg::*command)()) {
    QMetaObject::invokeMethod(
        this, [this, command] { RunCommand(command); }, Qt::QueuedConnection);
}

void CTamaroDlg::contextMenuEvent(QContextMenuEvent* event) {
    QMenu* menu = CreateSystemMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

void CTamaroDlg::ShowAbout() {
    if (RunInProgress()) {
        AppendLogAside(BusyRefusal(ToCp1252(QStringLiteral("Info über Tamaro"))), ColourRed);
        return;
    }
    CAboutDlg about(this);
    about.exec();
}

void CTamaroDlg::OnVelundaView() {
    if (core_) core_->OnVelundaView();
}

void CTamaroDlg::OnArchiveView() {
    if (core_) core_->OnArchiveView();
}

void CTamaroDlg::OnRefresh() {
    if (core_) core_->OnRefresh();
}

bool CTamaroDlg::RunInProgress() const {
    return core_ && core_->RunInProgress();
}

bool CTamaroDlg::CommandsBusy() const {
    return core_ && core_->CommandsBusy();
}

bool CTamaroDlg::TakeTypedDates() {
    for (int id : kDatePickers)
        if (DatePicker* p = Picker(id); p && !p->TakeTypedText()) return false;
    return true;
}

void CTamaroDlg::ShowRunProgress(const QString& progress) {
    runProgress_ = progress;
    UpdateCaption();
}

void CTamaroDlg::UpdateCaption() {
    QString caption = QStringLiteral("Tamaro");
    if (!runProgress_.isEmpty()) caption += QStringLiteral(" – ") + runProgress_;
    if (doneAfterRun_) caption += QStringLiteral(" – ") + QString::fromUtf8(ClosesAfterRunNote);
    if (windowTitle() != caption) setWindowTitle(caption);
}

void CTamaroDlg::done(int result) {
    if (!core_ || !core_->RunInProgress()) {
        // The range of the view shown is stored at the end: a date typed and
        // not yet taken counts when it is one; one that is no date is left
        // (the end is not held up by a box, a stop signal ends it too).
        for (int id : kDatePickers)
            if (DatePicker* p = Picker(id); p && !p->ShowsInvalidText()) p->TakeTypedText();
        QDialog::done(result);
        return;
    }
    if (doneAfterRun_) return;
    // The window stays until the run has ended; the caption and the log say
    // so, or the user would see nothing happen.
    doneAfterRun_ = result;
    UpdateCaption();
    AppendLogAside(ToCp1252(QString::fromUtf8(ClosesAfterRunLine)), ColourBlue);
    auto* wait = new QTimer(this);
    connect(wait, &QTimer::timeout, this, [this, wait] {
        if (core_ && core_->RunInProgress()) return;
        wait->deleteLater();
        const int result = *doneAfterRun_;
        doneAfterRun_.reset();
        UpdateCaption();
        done(result);
    });
    wait->start(50);
}

void CTamaroDlg::OnHelp() {
    // The page lies in the program folder; the desktop opens it with the
    // program the user chose for web pages. When there is no page or nothing
    // to show it with, a message box says so instead of nothing happening.
    KeepDescriptorsFromChildren();
    const std::string page = fspath::ToFileSystem(ProgramDir + "/Dokumentation/index.html");
    const QString path = QString::fromStdString(page);
    if (!QFileInfo(path).isFile()) {
        ShowError(ToCp1252(QStringLiteral("Die Hilfe %1 wurde nicht gefunden.").arg(path)));
    } else if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path))) {
        ShowError(ToCp1252(
            QStringLiteral("Die Hilfe konnte nicht geöffnet werden: Auf diesem Rechner ist kein "
                           "Programm zum Anzeigen von Webseiten eingerichtet.\n\nÖffnen Sie die "
                           "Seite %1 in einem Browser.")
                .arg(path)));
    }
    if (core_) core_->ArmFocusTimer();
}

void CTamaroDlg::OnSelectAll() {
    if (core_) core_->OnSelectAll();
}

void CTamaroDlg::OnSelectNone() {
    if (core_) core_->OnSelectNone();
}

void CTamaroDlg::OnTransfer() {
    if (core_) core_->OnTransfer();
}

void CTamaroDlg::OnPatientInfo() {
    if (core_) core_->OnPatientInfo();
}

void CTamaroDlg::OnDelete() {
    if (core_) core_->OnDelete();
}

void CTamaroDlg::OnPreviewTransfer() {
    if (core_) core_->OnPreviewTransfer();
}

void CTamaroDlg::OnPreviewDelete() {
    if (core_) core_->OnPreviewDelete();
}

void CTamaroDlg::OnCheck() {
    CheckReport report;
    if (core_) core_->OnCheck(report);
}

void CTamaroDlg::OnExport() {
    if (core_) core_->OnExport([this] { return ChooseExportFolder(); });
}

std::string CTamaroDlg::ChooseExportFolder() {
    return QFileDialog::getExistingDirectory(
               this, QStringLiteral("Patientenakte exportieren: neuer oder leerer Zielordner"),
               QDir::homePath(), QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog)
        .toStdString();
}

void CTamaroDlg::OnListDoubleClick() {
    OnPatientInfo();
}

void CTamaroDlg::OnPrint() {
    log_->PrintLog();
    if (core_) core_->ArmFocusTimer();
}

void CTamaroDlg::OnSave() {
    if (log_->SaveLogAsRtf() && core_) core_->ArmFocusTimer();
}
