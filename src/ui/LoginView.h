#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// What the login window's controller needs of the window: the form's values and
// the few visible things it changes. Colours are 0xRRGGBB.
class LoginView {
public:
    virtual ~LoginView() = default;

    virtual std::string emailText() = 0;
    virtual std::string passwordText() = 0;
    virtual bool rememberChecked() = 0;
    virtual void setEmailText(const std::string& text) = 0;
    virtual void setPasswordText(const std::string& text) = 0;
    virtual void setRememberChecked(bool checked) = 0;

    // Set-up at load: the view's background, the two line views, the link titles.
    virtual void setUpColors(uint32_t background, uint32_t lines) = 0;
    virtual void setLinkTitles(const std::string& signUp, const std::string& help,
                               uint32_t color) = 0;
    // Set-up each time the window is shown: text cursor, placeholders, no focus rings.
    virtual void setUpFields(uint32_t cursor, const std::string& emailPlaceholder,
                             const std::string& passwordPlaceholder, uint32_t placeholderColor) = 0;

    virtual void setConnectTitle(const std::string& title, uint32_t color) = 0;
    virtual void setConnectImage(const std::string& imageName) = 0;
    // The e-mail field, the password field and the remember-me box, in that order.
    virtual void setFormEnabled(bool enabled) = 0;
    virtual void setRememberTextColor(uint32_t color) = 0;
    // The status line: the connection at a glance, as plain text.
    virtual void setStatusText(const std::string& text) = 0;
    // News of the connection for a screen reader, wherever the focus is.
    virtual void announce(const std::string& news) = 0;

    // A critical alert with one button, on the window, not waited for.
    virtual void showAlert(const std::string& message) = 0;
    struct Choice {
        std::string title;
        std::function<void()> action;
    };
    // A critical alert with one button per choice (the first the default, the last also
    // what closing it chooses), on the window, not waited for; it stays until answered.
    virtual void askAlert(const std::string& message, std::vector<Choice> choices) = 0;
    // Closes the alert askAlert() opened if it still waits for an answer; none of its
    // choices runs.
    virtual void withdrawQuestion() = 0;
};
