// A real headless Chromium driven over its DevTools protocol (a WebSocket), for the tests and
// benchmarks of the web page: load a page, evaluate script in it, wait for conditions, click,
// and take screenshots. Linux only (the Windows program's page is read from Linux).
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace testing_support {

class Browser {
  public:
    Browser();
    ~Browser();
    Browser(const Browser&) = delete;
    Browser& operator=(const Browser&) = delete;

    // Starts /usr/bin/chromium (or $ZAMRI_CHROMIUM) with a fresh profile and attaches to its
    // page; flags are added to its command line. 1, or 0 with the reason in Error().
    int Start(int width = 1280, int height = 900, const std::vector<std::string>& flags = {});
    int Navigate(const std::string& url);
    // The expression's value as JSON text (strings come quoted), or "" when it threw.
    std::string Evaluate(const std::string& expression);
    // The value as plain text: a string's contents, else the JSON.
    std::string Text(const std::string& expression);
    // 1 when the expression becomes true within the time.
    int WaitFor(const std::string& expression, int milliseconds = 15000);
    // A phone-sized page (width in CSS pixels, touch, scale 2), or back to the desktop size.
    int EmulatePhone(int width, int height);
    int Screenshot(const std::string& pngPath);
    const std::string& Error() const { return error_; }

    struct Impl;

  private:
    std::unique_ptr<Impl> impl_;
    std::string error_;
};

// Decodes a JSON string literal (with its quotes) into UTF-8; "" for anything else.
std::string JsonUnquote(const std::string& json);

}  // namespace testing_support
