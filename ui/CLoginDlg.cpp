#include "ui/CLoginDlg.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>
#include <utility>

#include "core/WindowServices.h"
#include "ui/DialogFrame.h"
#include "ui/QtCp1252.h"
#include "ui/QtWindowServices.h"

namespace {

// While it lives, the message boxes of the window services belong to the
// given window, so that they stand in front of the modal login dialog.
class BoxOwner {
  public:
    explicit BoxOwner(QWidget* owner)
        : services_(dynamic_cast<QtWindowServices*>(&WindowServices())) {
        if (!services_) return;
        previous_ = services_->Owner();
        services_->SetOwner(owner);
    }
    ~BoxOwner() {
        if (services_) services_->SetOwner(previous_);
    }
    BoxOwner(const BoxOwner&) = delete;
    BoxOwner& operator=(const BoxOwner&) = delete;

  private:
    QtWindowServices* services_;
    QWidget* previous_ = nullptr;
};

}  // namespace

CLoginDlg::CLoginDlg(ODBCConnection& connection, QWidget* parent)
    : QDialog(parent), core_(connection) {
    setObjectName(QStringLiteral("103"));
    UseDialogFrame(this);
    setWindowTitle(QStringLiteral("Tamaro - Login"));

    users_ = new QComboBox(this);
    users_->setObjectName(QStringLiteral("1020"));
    users_->setEditable(false);
    usersAdapter_ = std::make_unique<QtComboBox>(users_, true);
    password_ = new QLineEdit(this);
    password_->setObjectName(QStringLiteral("1021"));
    password_->setEchoMode(QLineEdit::Password);

    auto* grid = new QGridLayout(this);
    // Alt+B and Alt+P reach the two fields from anywhere in the dialog.
    const std::pair<QWidget*, QString> rows[] = {{users_, QStringLiteral("&Benutzer:")},
                                                 {password_, QStringLiteral("&Passwort:")}};
    int row = 0;
    for (const auto& [field, caption] : rows) {
        auto* label = new QLabel(caption, this);
        label->setObjectName(QStringLiteral("caption") + field->objectName());
        label->setBuddy(field);
        grid->addWidget(label, row, 0);
        grid->addWidget(field, row, 1);
        ++row;
    }
    ok_ = new QPushButton(QStringLiteral("OK"), this);
    ok_->setObjectName(QStringLiteral("1"));
    ok_->setDefault(true);
    cancel_ = new QPushButton(QStringLiteral("Abbruch"), this);
    cancel_->setObjectName(QStringLiteral("2"));
    cancel_->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    grid->addLayout(buttons, row, 0, 1, 2);
    connect(ok_, &QPushButton::clicked, this, &CLoginDlg::accept);
    connect(cancel_, &QPushButton::clicked, this, &CLoginDlg::reject);

    // 180 x 60 dialog units: a quarter of the average character width and an
    // eighth of the line height each.
    const QFontMetrics metrics(font());
    resize(std::max(180 * metrics.averageCharWidth() / 4, sizeHint().width()),
           std::max(60 * metrics.height() / 8, sizeHint().height()));

    BoxOwner boxes(this);
    core_.OnInitDialog(*usersAdapter_);
    users_->setFocus();
}

void CLoginDlg::accept() {
    BoxOwner boxes(this);
    if (core_.OnOK(*usersAdapter_, ToCp1252(password_->text()))) {
        QDialog::accept();
        return;
    }
    // Refused: the password typed is selected, so that the next one replaces it.
    password_->setFocus(Qt::OtherFocusReason);
    password_->selectAll();
}

bool CLoginDlg::Run(ODBCConnection& connection, QWidget* parent) {
    CLoginDlg dialog(connection, parent);
    return dialog.exec() == QDialog::Accepted;
}
