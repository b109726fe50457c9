// Loads a page in headless Chromium and waits until a line with the given text shows in the live
// view, then saves a screenshot. For scripts that check a program's page from outside (the
// Windows program's page under wine): unlike a browser's one-shot DOM dump, it waits for the
// live stream instead of racing it.
// Usage: page_probe URL LINE_TEXT SCREENSHOT.png   (exit 0: shown; 1: not, with the reason)
#include <cstdio>
#include <string>

#include "support/browser.h"
#include "web/web_text.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: page_probe URL LINE_TEXT SCREENSHOT.png\n");
        return 2;
    }
    testing_support::Browser browser;
    if (!browser.Start(1024, 640) || !browser.Navigate(argv[1])) {
        std::printf("%s\n", browser.Error().c_str());
        return 1;
    }
    // A line's element holds its time stamp, then the text.
    std::string shown =
        "[...document.querySelectorAll('.line')].some(d => d.lastChild && d.lastChild.textContent === ";
    zamri::AppendJsonString(shown, argv[2]);  // a JSON string is a script string too
    shown += ")";
    if (!browser.WaitFor(shown, 30000)) {
        std::printf(
            "the page shows no line \"%s\"; its lines: %s\n", argv[2],
            browser.Text("[...document.querySelectorAll('.line')].map(d => d.textContent).join(' | ')")
                .c_str());
        return 1;
    }
    if (!browser.Screenshot(argv[3])) {
        std::printf("no screenshot: %s\n", browser.Error().c_str());
        return 1;
    }
    return 0;
}
