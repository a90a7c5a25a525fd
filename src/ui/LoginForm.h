#pragma once

#include "ui/LoginView.h"

#include <QPointer>
#include <QWidget>
#include <functional>

class QCheckBox;
class QMessageBox;
class QFrame;
class QLabel;
class QLineEdit;
class QSpacerItem;
class Announcer;
class StyledButton;

// The login window's content: e-mail and password fields with a line under each,
// the remember-me box and its label, the connect button and the two link buttons.
// Each control carries its outlet name as object name.
class LoginForm : public QWidget, public LoginView {
public:
    struct Actions {
        std::function<void()> connect;
        std::function<void()> signUp;
        std::function<void()> help;
        std::function<void()> appeared;
    };

    explicit LoginForm(QWidget* parent = nullptr);
    void setActions(Actions actions) { actions_ = std::move(actions); }

    std::string emailText() override;
    std::string passwordText() override;
    bool rememberChecked() override;
    void setEmailText(const std::string& text) override;
    void setPasswordText(const std::string& text) override;
    void setRememberChecked(bool checked) override;
    void setUpColors(uint32_t background, uint32_t lines) override;
    void setLinkTitles(const std::string& signUp, const std::string& help, uint32_t color) override;
    void setUpFields(uint32_t cursor, const std::string& emailPlaceholder,
                     const std::string& passwordPlaceholder, uint32_t placeholderColor) override;
    void setConnectTitle(const std::string& title, uint32_t color) override;
    void setConnectImage(const std::string& imageName) override;
    void setFormEnabled(bool enabled) override;
    void setRememberTextColor(uint32_t color) override;
    void setStatusText(const std::string& text) override;
    void announce(const std::string& news) override;
    void showAlert(const std::string& message) override;
    void askAlert(const std::string& message, std::vector<Choice> choices) override;
    void withdrawQuestion() override;

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void showFocus();

    Actions actions_;
    // The logo's place: the form paints the logo there itself, so it is no control and a
    // screen reader does not meet it.
    QSpacerItem* logoSpace_;
    uint32_t linesColor_ = 0;
    StyledButton* connectButton_;
    QLineEdit* emailEdit_;
    QFrame* emailLine_;
    QLineEdit* passwordEdit_;
    QFrame* passwordLine_;
    QCheckBox* rememberCheck_;
    StyledButton* signupButton_;
    QLabel* rememberText_;
    StyledButton* helpButton_;
    QLabel* statusLine_;
    Announcer* announcer_;
    QPointer<QMessageBox> question_; // the last alert askAlert() opened
};
