#include "ui/LoginForm.h"

#include "ui/AlertSheet.h"
#include "ui/Announcer.h"
#include "ui/Artwork.h"
#include "ui/ControlStyling.h"
#include "ui/StyledButton.h"
#include "ui/StyledCheckBox.h"
#include "ui/UiText.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QSpacerItem>
#include <QStyle>
#include <QVBoxLayout>

namespace {

constexpr int logoSize = 56;

QColor rgb(uint32_t value) {
    return QColor::fromRgb(value);
}

void setTextColor(QWidget* widget, uint32_t color) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, rgb(color));
    widget->setPalette(palette);
}

void fill(QWidget* widget, uint32_t color) {
    widget->setAutoFillBackground(true);
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, rgb(color));
    widget->setPalette(palette);
}

// A locked field shows its text and placeholder dimmed, so it reads as not editable.
void dimWhenDisabled(QLineEdit* edit) {
    QPalette palette = edit->palette();
    palette.setColor(QPalette::Disabled, QPalette::Text, rgb(0x74777F));
    palette.setColor(QPalette::Disabled, QPalette::PlaceholderText, rgb(0x5A5E68));
    edit->setPalette(palette);
}

QLineEdit* field(QWidget* parent, const char* name) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setFrame(false);
    edit->setMinimumHeight(34);
    QPalette palette = edit->palette();
    palette.setColor(QPalette::Base, Qt::transparent);
    palette.setColor(QPalette::Text, Qt::white);
    edit->setPalette(palette);
    dimWhenDisabled(edit);
    return edit;
}

QFrame* line(QWidget* parent, const char* name) {
    auto* frame = new QFrame(parent);
    frame->setObjectName(name);
    frame->setFixedHeight(1);
    return frame;
}

} // namespace

LoginForm::LoginForm(QWidget* parent) : QWidget(parent) {
    setObjectName("loginForm");
    setFixedSize(340, 500);

    logoSpace_ = new QSpacerItem(logoSize, logoSize, QSizePolicy::Fixed, QSizePolicy::Fixed);
    auto* name = new QLabel("Quovant", this);
    QFont nameFont = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    nameFont.setPointSize(22);
    nameFont.setWeight(QFont::DemiBold);
    name->setFont(nameFont);
    setTextColor(name, 0xFFFFFF);

    emailEdit_ = field(this, "emailEdit");
    emailLine_ = line(this, "emailLine");
    passwordEdit_ = field(this, "passwordEdit");
    passwordEdit_->setEchoMode(QLineEdit::Password);
    passwordLine_ = line(this, "passwordLine");

    rememberCheck_ = new StyledCheckBox(this);
    rememberCheck_->setObjectName("rememberCheck");
    rememberText_ = new QLabel(UiText::rememberMe, this);
    rememberText_->setObjectName("rememberText");
    rememberText_->setBuddy(rememberCheck_);
    // The box has no text of its own; a screen reader reads it by the label beside it.
    rememberCheck_->setAccessibleName(UiText::rememberMe);
    setRememberTextColor(0xFFFFFF);

    connectButton_ = new StyledButton(this);
    connectButton_->setObjectName("connectButton");
    connectButton_->setFixedHeight(46);
    connectButton_->setImage("bg_button");
    signupButton_ = new StyledButton(this);
    signupButton_->setObjectName("signupButton");
    helpButton_ = new StyledButton(this);
    helpButton_->setObjectName("helpButton");
    for (auto* link : {signupButton_, helpButton_})
        link->setFixedHeight(24);

    statusLine_ = new QLabel(this);
    statusLine_->setObjectName("statusLine");
    // Addresses and counts come from outside; they are never read as markup.
    statusLine_->setTextFormat(Qt::PlainText);
    statusLine_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    statusLine_->setWordWrap(true);
    statusLine_->setMinimumHeight(40);
    setTextColor(statusLine_, 0x9D9EA2);
    // Its text is what a screen reader reads, and Qt tells it each time the text changes;
    // the description says what the line is.
    statusLine_->setAccessibleDescription(UiText::statusName);
    announcer_ = new Announcer(this);

    setTabOrder(emailEdit_, passwordEdit_);
    setTabOrder(passwordEdit_, rememberCheck_);
    setTabOrder(rememberCheck_, connectButton_);
    setTabOrder(connectButton_, signupButton_);
    setTabOrder(signupButton_, helpButton_);

    auto* header = new QVBoxLayout;
    header->setSpacing(8);
    header->addItem(logoSpace_);
    header->addWidget(name, 0, Qt::AlignHCenter);

    auto* remember = new QHBoxLayout;
    remember->setSpacing(8);
    remember->addWidget(rememberCheck_);
    remember->addWidget(rememberText_, 1);

    auto* links = new QHBoxLayout;
    links->addWidget(signupButton_, 1);
    links->addWidget(helpButton_, 1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(36, 40, 36, 24);
    layout->setSpacing(0);
    layout->addLayout(header);
    layout->addSpacing(40);
    layout->addWidget(emailEdit_);
    layout->addWidget(emailLine_);
    layout->addSpacing(18);
    layout->addWidget(passwordEdit_);
    layout->addWidget(passwordLine_);
    layout->addSpacing(20);
    layout->addLayout(remember);
    layout->addSpacing(30);
    layout->addWidget(connectButton_);
    layout->addSpacing(16);
    layout->addWidget(statusLine_);
    layout->addStretch(1);
    layout->addLayout(links);

    connect(connectButton_, &QPushButton::clicked, this, [this] {
        if (actions_.connect)
            actions_.connect();
    });
    connect(signupButton_, &QPushButton::clicked, this, [this] {
        if (actions_.signUp)
            actions_.signUp();
    });
    connect(helpButton_, &QPushButton::clicked, this, [this] {
        if (actions_.help)
            actions_.help();
    });
    connect(qApp, &QApplication::focusChanged, this, [this] { showFocus(); });
    // Enter connects from either field.
    for (QLineEdit* edit : {emailEdit_, passwordEdit_})
        connect(edit, &QLineEdit::returnPressed, connectButton_, &QPushButton::click);
}

std::string LoginForm::emailText() {
    return emailEdit_->text().toStdString();
}
std::string LoginForm::passwordText() {
    return passwordEdit_->text().toStdString();
}
bool LoginForm::rememberChecked() {
    return rememberCheck_->isChecked();
}
void LoginForm::setEmailText(const std::string& text) {
    emailEdit_->setText(QString::fromStdString(text));
}
void LoginForm::setPasswordText(const std::string& text) {
    passwordEdit_->setText(QString::fromStdString(text));
}

void LoginForm::setRememberChecked(bool checked) {
    rememberCheck_->setChecked(checked);
}

void LoginForm::setUpColors(uint32_t background, uint32_t lines) {
    fill(this, background);
    linesColor_ = lines;
    showFocus();
}

void LoginForm::showFocus() {
    // The fields have no frame to ring: the line under the focused one turns the green of
    // the connected button, which stands apart from the grey lines and the white text.
    constexpr uint32_t focusColor = 0x2FC479;
    fill(emailLine_, emailEdit_->hasFocus() ? focusColor : linesColor_);
    fill(passwordLine_, passwordEdit_->hasFocus() ? focusColor : linesColor_);
}

void LoginForm::setLinkTitles(const std::string& signUp, const std::string& help, uint32_t color) {
    const std::pair<StyledButton*, std::pair<const std::string*, Qt::Alignment>> links[] = {
        {signupButton_, {&signUp, Qt::AlignLeft | Qt::AlignVCenter}},
        {helpButton_, {&help, Qt::AlignRight | Qt::AlignVCenter}}};
    for (const auto& [button, title] : links) {
        ControlStyling::setTitle(button, QString::fromStdString(*title.first), rgb(color));
        QFont font = button->font();
        font.setPointSize(13);
        button->setFont(font);
        button->setProperty("titleAlignment", static_cast<int>(title.second));
    }
}

void LoginForm::setUpFields(uint32_t cursor, const std::string& emailPlaceholder,
                            const std::string& passwordPlaceholder, uint32_t placeholderColor) {
    ControlStyling::setCursorColor(emailEdit_, rgb(cursor));
    ControlStyling::setCursorColor(passwordEdit_, rgb(cursor));
    ControlStyling::setPlaceholder(emailEdit_, QString::fromStdString(emailPlaceholder),
                                   rgb(placeholderColor));
    ControlStyling::setPlaceholder(passwordEdit_, QString::fromStdString(passwordPlaceholder),
                                   rgb(placeholderColor));
    // The placeholder goes once the field has text; the name a screen reader reads stays.
    emailEdit_->setAccessibleName(QString::fromStdString(emailPlaceholder));
    passwordEdit_->setAccessibleName(QString::fromStdString(passwordPlaceholder));
    // No focus ring: the line under each field is its only frame.
    emailEdit_->setFrame(false);
    passwordEdit_->setFrame(false);
    dimWhenDisabled(emailEdit_);
    dimWhenDisabled(passwordEdit_);
}

void LoginForm::setConnectTitle(const std::string& title, uint32_t color) {
    ControlStyling::setTitle(connectButton_, QString::fromStdString(title), rgb(color));
}

void LoginForm::setConnectImage(const std::string& imageName) {
    connectButton_->setImage(QString::fromStdString(imageName));
}

void LoginForm::setFormEnabled(bool enabled) {
    emailEdit_->setEnabled(enabled);
    passwordEdit_->setEnabled(enabled);
    rememberCheck_->setEnabled(enabled);
}

void LoginForm::setRememberTextColor(uint32_t color) {
    setTextColor(rememberText_, color);
}

void LoginForm::setStatusText(const std::string& text) {
    const QString status = QString::fromStdString(text);
    statusLine_->setText(status);
    // The button's title says what it does; what it acts on is the connection as it is now.
    connectButton_->setAccessibleDescription(status);
}

void LoginForm::announce(const std::string& news) {
    announcer_->announce(QString::fromStdString(news));
}

void LoginForm::showAlert(const std::string& message) {
    AlertSheet::of(window()).show(QString::fromStdString(message));
}

void LoginForm::askAlert(const std::string& message, std::vector<Choice> choices) {
    std::vector<AlertSheet::Choice> asked;
    for (auto& choice : choices)
        asked.push_back({QString::fromStdString(choice.title), std::move(choice.action)});
    question_ = AlertSheet::of(window()).ask(QString::fromStdString(message), std::move(asked));
}

void LoginForm::withdrawQuestion() {
    AlertSheet::of(window()).withdraw(question_);
}

void LoginForm::paintEvent(QPaintEvent* event) {
    QWidget::paintEvent(event);
    // The logo says nothing the window's title and the name under it do not.
    QPainter painter(this);
    Artwork::paint(painter, "ic_status",
                   QStyle::alignedRect(layoutDirection(), Qt::AlignHCenter, {logoSize, logoSize},
                                       logoSpace_->geometry()));
}

void LoginForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (actions_.appeared)
        actions_.appeared();
    // Where the user goes next: the e-mail field, or with both fields filled the button.
    const bool filled = !emailEdit_->text().isEmpty() && !passwordEdit_->text().isEmpty();
    (filled || !emailEdit_->isEnabled() ? static_cast<QWidget*>(connectButton_) : emailEdit_)
        ->setFocus(Qt::OtherFocusReason);
}
