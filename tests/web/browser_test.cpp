// The web page in a real browser: the Linux service runs in TCP mode with the page on, lines
// go in with zamri-send, and headless Chromium must show them in the right panels, in order,
// grouped by receipt, flagged, escaped, paused and filtered; the search form finds a receipt;
// only the page's own names are served. Screenshots land in <build>/artifacts.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/browser.h"
#include "support/http_client.h"
#include "support/service_process.h"
#include "support/temp_dir.h"
#include "support/wait.h"

namespace {

using testing_support::Browser;
using testing_support::FreePort;
using testing_support::ReadFileBytes;
using testing_support::TempDir;
using testing_support::WaitUntil;
using testing_support::WriteFileBytes;

const std::string kArtifacts = ZAMRI_ARTIFACTS_DIR;

// The real service with its own settings file, stopped with SIGTERM at the end.
class Service : public testing_support::ServiceProcess {
  public:
    Service(const TempDir& dir, const std::string& settings)
        : ServiceProcess(dir, "service", ZAMRI_SERVICE_PATH) {
        std::string ini = dir.File("zamri.ini");
        WriteFileBytes(ini, settings);
        Start({"--tcp", "--settings", ini});
    }
    ~Service() { Stop(); }
};

// Sends lines (LF-separated) for a camera with the real zamri-send.
void Send(const TempDir& dir, int port, int camera, const std::string& lines, bool formFeed = true) {
    std::string file = dir.File("send.txt");
    ASSERT_TRUE(WriteFileBytes(file, lines));
    std::string command = std::string("'") + ZAMRI_SEND_PATH + "' -q -p " + std::to_string(port) + " -c " +
                          std::to_string(camera) + (formFeed ? " -f '" : " '") + file + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

std::string PanelLines(Browser& browser, int camera) {
    return browser.Text("[...document.querySelectorAll('#cam-" + std::to_string(camera) +
                        " .line')].map(e => e.textContent).join('|')");
}

class WebPageInBrowser : public ::testing::Test {
  protected:
    void SetUp() override {
        tcpPort = FreePort();
        webPort = FreePort();
        service = std::make_unique<Service>(dir, "[Channel]\nPORT=" + std::to_string(tcpPort) +
                                                     "\n[Important]\ncount=1\n0=TOTAL\n[Ignore]\ncount=0\n"
                                                     "[Options]\nHttpPort=" +
                                                     std::to_string(webPort) + "\n");
        address = "http://127.0.0.1:" + std::to_string(webPort) + "/";
        ASSERT_TRUE(WaitUntil([&] {
            return service->Said().find("web page at " + address) != std::string::npos;
        })) << service->Said();
        ASSERT_TRUE(browser.Start()) << browser.Error();
        ASSERT_TRUE(browser.Navigate(address)) << browser.Error();
        ASSERT_TRUE(browser.WaitFor("document.getElementById('conn').textContent === 'live'"))
            << browser.Error();
    }
    TempDir dir;
    int tcpPort = 0, webPort = 0;
    std::string address;
    std::unique_ptr<Service> service;
    Browser browser;
};

TEST_F(WebPageInBrowser, LinesAppearInTheirPanelsInOrder) {
    Send(dir, tcpPort, 1, "STORE 0042  TILL 1\nBREAD      1.20\nTOTAL      1.20\n");
    Send(dir, tcpPort, 3, "KIOSK 7\nK\xE4se \x80 2,50\n<b>not bold</b> & \"quoted\"\nTOTAL      2.50\n");
    Send(dir, tcpPort, 1, "STORE 0042  TILL 1\nMILK       0.99\nTOTAL      0.99\n");
    ASSERT_TRUE(browser.WaitFor("document.querySelectorAll('#cam-1 .line').length === 6")) << browser.Error();
    ASSERT_TRUE(browser.WaitFor("document.querySelectorAll('#cam-3 .line').length === 4")) << browser.Error();
    EXPECT_EQ(PanelLines(browser, 1),
              "STORE 0042  TILL 1|BREAD      1.20|TOTAL      1.20|STORE 0042  TILL 1|MILK       0.99|TOTAL   "
              "   0.99");
    // Windows-1252 text arrives as UTF-8; markup in a line stays text.
    EXPECT_EQ(PanelLines(browser, 3),
              "KIOSK 7|K\xC3\xA4se \xE2\x82\xAC 2,50|<b>not bold</b> & \"quoted\"|TOTAL      2.50");
    EXPECT_EQ(browser.Text("document.querySelectorAll('#cam-3 b').length"), "0");
    // Two receipts on camera 1, each ended and its TOTAL line marked Important.
    EXPECT_EQ(browser.Text("document.querySelectorAll('#cam-1 .receipt').length"), "2");
    EXPECT_EQ(
        browser.Text("[...document.querySelectorAll('#cam-1 .line.end')].map(e => e.textContent).join('|')"),
        "TOTAL      1.20|TOTAL      0.99");
    EXPECT_EQ(browser.Text("document.querySelectorAll('#cam-1 .line.imp').length"), "2");
    EXPECT_EQ(browser.Text("document.querySelector('#cam-1 .src').textContent"), "127.0.0.1");
    EXPECT_EQ(browser.Text("[...document.querySelectorAll('.panel')].map(p => p.dataset.cam).join(',')"),
              "1,3");
    EXPECT_TRUE(browser.WaitFor("document.querySelector('#cam-1 .state').textContent === 'receiving'"));
    EXPECT_TRUE(browser.Screenshot(kArtifacts + "/web-live.png")) << browser.Error();

    // The camera filter shows one panel; pause holds new lines until resumed.
    browser.Evaluate(
        "(() => { const f = document.getElementById('filter'); f.value = '3'; "
        "f.dispatchEvent(new Event('change')); return 1; })()");
    EXPECT_EQ(browser.Text("getComputedStyle(document.getElementById('cam-1')).display"), "none");
    EXPECT_NE(browser.Text("getComputedStyle(document.getElementById('cam-3')).display"), "none");
    browser.Evaluate("document.getElementById('pause').click()");
    Send(dir, tcpPort, 3, "WHILE PAUSED\n", false);
    ASSERT_TRUE(browser.WaitFor("document.getElementById('notice').textContent.includes('1 new line')"))
        << browser.Error();
    EXPECT_EQ(browser.Text("document.querySelectorAll('#cam-3 .line').length"), "4");
    browser.Evaluate("document.getElementById('pause').click()");
    EXPECT_TRUE(
        browser.WaitFor("document.querySelector('#cam-3 .receipt:last-child .line:last-child')"
                        ".textContent === 'WHILE PAUSED'"));

    // Status: the version, the mode and the lines per camera today.
    browser.Navigate(address + "#status");
    ASSERT_TRUE(browser.WaitFor("document.getElementById('st-cams').textContent.includes('127.0.0.1')"))
        << browser.Error();
    EXPECT_NE(browser.Text("document.getElementById('st-main').textContent").find("TCP, port"),
              std::string::npos);
    EXPECT_NE(browser.Text("document.getElementById('st-main').textContent").find("Journalon, "),
              std::string::npos);
    EXPECT_TRUE(browser.Screenshot(kArtifacts + "/web-status.png"));

    // Search: the receipt with MILK, whole, its matching line marked; then every receipt of
    // camera 1, newest first.
    browser.Navigate(address + "#search");
    browser.Evaluate(
        "(() => { document.getElementById('q-text').value = 'milk'; "
        "document.getElementById('q-go').click(); return 1; })()");
    ASSERT_TRUE(browser.WaitFor("document.querySelectorAll('.result').length === 1")) << browser.Error();
    EXPECT_EQ(browser.Text("[...document.querySelectorAll('.result .line')].map(e => e.lastChild.textContent)"
                           ".join('|')"),
              "STORE 0042  TILL 1|MILK       0.99|TOTAL      0.99");
    EXPECT_EQ(browser.Text("document.querySelector('.result .line.hit').lastChild.textContent"),
              "MILK       0.99");
    EXPECT_NE(browser.Text("document.querySelector('.result h3').textContent").find("Camera 1"),
              std::string::npos);
    EXPECT_TRUE(browser.Screenshot(kArtifacts + "/web-search.png")) << browser.Error();
    browser.Evaluate(
        "(() => { document.getElementById('q-text').value = ''; "
        "document.getElementById('q-camera').value = '1'; "
        "document.getElementById('q-go').click(); return 1; })()");
    ASSERT_TRUE(browser.WaitFor("document.getElementById('q-info').textContent.includes('of 2,')"))
        << browser.Error();
    EXPECT_EQ(browser.Text("[...document.querySelectorAll('.result .line:nth-child(3)')]"
                           ".map(e => e.lastChild.textContent).join('|')"),
              "MILK       0.99|BREAD      1.20");
}

TEST_F(WebPageInBrowser, AReceiptThatNeverEndsKeepsScrolling) {
    std::string lines;
    for (int i = 0; i < 150; ++i)
        lines += "LINE " + std::to_string(i) + "\n";
    Send(dir, tcpPort, 4, lines, false);
    ASSERT_TRUE(
        browser.WaitFor("document.querySelector('#cam-4 .line:last-child') && "
                        "document.querySelector('#cam-4 .line:last-child').textContent === 'LINE 149'"))
        << browser.Error();
    // The panel keeps the latest 80, all in the one receipt.
    EXPECT_EQ(browser.Text("document.querySelectorAll('#cam-4 .line').length"), "80");
    EXPECT_EQ(browser.Text("document.querySelector('#cam-4 .line').textContent"), "LINE 70");
    EXPECT_EQ(browser.Text("document.querySelectorAll('#cam-4 .receipt').length"), "1");
}

TEST_F(WebPageInBrowser, ReadableOnAPhone) {
    Send(dir, tcpPort, 2, "CAFE 12\nESPRESSO   2.10\nTOTAL      2.10\n");
    ASSERT_TRUE(browser.WaitFor("document.querySelectorAll('#cam-2 .line').length === 3")) << browser.Error();
    ASSERT_TRUE(browser.EmulatePhone(390, 844));
    // One column, nothing wider than the screen.
    EXPECT_TRUE(browser.WaitFor("document.documentElement.scrollWidth <= window.innerWidth"));
    EXPECT_TRUE(browser.Screenshot(kArtifacts + "/web-phone.png")) << browser.Error();
}

// A page that other machines reach without a password starts and says so, at start-up and on
// its status page. Chromium resolves two names to this PC: one that another site could point
// here (DNS rebinding) gets nothing of the page, the one of HttpHostNames gets it.
TEST(WebPageNames, OnlyItsOwnNamesAndAWarningWhenOpenToAll) {
    TempDir dir;
    const std::string port = std::to_string(FreePort());
    Service service(dir, "[Channel]\nPORT=" + std::to_string(FreePort()) + "\n[Options]\nHttpPort=" + port +
                             "\nHttpAddress=0.0.0.0\nHttpHostNames=recorder.test\n");
    ASSERT_TRUE(WaitUntil([&] {
        return service.Said().find("web page at http://0.0.0.0:" + port) != std::string::npos;
    })) << service.Said();
    EXPECT_NE(
        service.Said().find("zamri: warning: the web page at http://0.0.0.0:" + port +
                            "/ has no password, so every machine that reaches this PC can read the receipts"),
        std::string::npos)
        << service.Said();

    Browser browser;
    ASSERT_TRUE(browser.Start(
        1280, 900, {"--host-resolver-rules=MAP rebind.test 127.0.0.1, MAP recorder.test 127.0.0.1"}))
        << browser.Error();
    ASSERT_TRUE(browser.Navigate("http://rebind.test:" + port + "/#status")) << browser.Error();
    EXPECT_TRUE(
        browser.WaitFor("location.hostname === 'rebind.test' && document.body !== null && "
                        "document.body.textContent.includes('not served under that name')"))
        << browser.Text("document.documentElement.outerHTML");
    EXPECT_EQ(browser.Text("document.getElementById('conn') === null"), "true");

    ASSERT_TRUE(browser.Navigate("http://recorder.test:" + port + "/#status")) << browser.Error();
    ASSERT_TRUE(
        browser.WaitFor("document.getElementById('conn') !== null && "
                        "document.getElementById('conn').textContent === 'live'"))
        << browser.Error();
    EXPECT_TRUE(
        browser.WaitFor("getComputedStyle(document.getElementById('st-warning')).display !== 'none' && "
                        "document.getElementById('st-warning').textContent.includes('has no password')"))
        << browser.Text("document.getElementById('status').textContent");
    EXPECT_TRUE(browser.Screenshot(kArtifacts + "/web-open-warning.png")) << browser.Error();
}

}  // namespace

namespace {

// A journal record line, as the program writes it, at local 2026-12-01 hh:mm:ss in UTC+01:00.
std::string Record(const std::string& clock, const std::string& rest) {
    return "{" + rest.substr(0, rest.find(',') + 1) + "\"time\":\"2026-12-01T" + clock + ".000+01:00\"," +
           rest.substr(rest.find(',') + 1) + "}\n";
}

std::string ExceptionJournal() {
    std::string day;
    auto line = [&](const char* clock, int camera, int receipt, const char* text, int flags) {
        day += "{\"time\":\"2026-12-01T" + std::string(clock) +
               ".000+01:00\",\"camera\":" + std::to_string(camera) + ",\"flags\":" + std::to_string(flags) +
               ",\"source\":\"COM" + std::to_string(camera) + "\",\"receipt\":" + std::to_string(receipt) +
               ",\"text\":\"" + text + "\"}\n";
    };
    auto exception = [&](const char* clock, int camera, int receipt, const char* kind, const char* amount,
                         const char* cashier, const char* text) {
        day += Record(clock, "\"event\":\"exception\",\"camera\":" + std::to_string(camera) +
                                 ",\"source\":\"COM" + std::to_string(camera) + "\",\"receipt\":" +
                                 std::to_string(receipt) + ",\"kind\":\"" + kind + "\",\"amount\":" + amount +
                                 ",\"line\":\"" + text + "\",\"cashier\":\"" + cashier + "\"");
    };
    line("09:12:00", 1, 4, "STORE 0042  CASHIER 17", 1);
    line("09:12:04", 1, 4, "VOID MILK      -0.99", 4);
    line("09:12:09", 1, 4, "TOTAL           3.40", 2);
    exception("09:12:04", 1, 4, "void", "-0.99", "17", "VOID MILK      -0.99");
    line("10:40:00", 2, 9, "STORE 0042  CASHIER 23", 1);
    line("10:40:06", 2, 9, "REFUND BREAD   -1.20", 4);
    line("10:40:10", 2, 9, "TOTAL          -1.20", 2);
    exception("10:40:06", 2, 9, "refund", "-1.2", "23", "REFUND BREAD   -1.20");
    line("16:05:00", 1, 5, "STORE 0042  CASHIER 17", 1);
    line("16:05:03", 1, 5, "NO SALE", 6);
    exception("16:05:03", 1, 5, "no-sale", "null", "17", "NO SALE");
    return day;
}

// The Exceptions view over a journal that holds exceptions: filtered by kind, a receipt opened
// with its subtitles, then the report with its CSV.
TEST(WebPageExceptions, FilterOpenAReceiptAndReport) {
    TempDir dir;
    ASSERT_TRUE(std::filesystem::create_directories(dir.File("journal")));
    ASSERT_TRUE(WriteFileBytes(dir.File("journal") + "/2026-12-01.jsonl", ExceptionJournal()));
    const int webPort = FreePort();
    Service service(
        dir, "[Channel]\nPORT=" + std::to_string(FreePort()) +
                 "\n[Channel 1]\nTemplate=builtin\n[Channel 2]\nTemplate=builtin\n[Options]\nHttpPort=" +
                 std::to_string(webPort) +
                 "\nExceptionRefundThreshold=1\n[Rule 1]\nName=Late void\nLine=VOID\nHours=22:00-06:00\n"
                 "[Rule 2]\nName=Broken\nFirst=nothing\nThen=void\nWithin=9\n");
    const std::string address = "http://127.0.0.1:" + std::to_string(webPort) + "/";
    ASSERT_TRUE(WaitUntil([&] { return service.Said().find("web page at " + address) != std::string::npos; }))
        << service.Said();
    Browser browser;
    ASSERT_TRUE(browser.Start()) << browser.Error();
    ASSERT_TRUE(browser.Navigate(address + "#exceptions")) << browser.Error();
    // The kinds come with the rules in force.
    ASSERT_TRUE(
        browser.WaitFor("[...document.getElementById('x-kind').options].some(o => o.value === 'refund')"))
        << browser.Error();
    browser.Evaluate("document.getElementById('x-go').click()");
    ASSERT_TRUE(browser.WaitFor("document.querySelectorAll('#x-list tr.exc-row').length === 3"))
        << browser.Error();
    EXPECT_EQ(browser.Text("[...document.querySelectorAll('#x-list tr.exc-row td:nth-child(3)')]"
                           ".map(e => e.textContent).join('|')"),
              "no-sale|refund|void");

    browser.Evaluate(
        "(() => { const k = document.getElementById('x-kind'); k.value = 'void'; "
        "document.getElementById('x-go').click(); return 1; })()");
    ASSERT_TRUE(browser.WaitFor(
        "document.querySelectorAll('#x-list tr.exc-row').length === 1 && "
        "document.querySelector('#x-list tr.exc-row td:nth-child(3)').textContent === 'void'"))
        << browser.Error();
    EXPECT_EQ(browser.Text("document.querySelector('#x-list tr.exc-row td:nth-child(4)').textContent"),
              "-0.99");
    browser.Evaluate("document.querySelector('#x-list .open-receipt').click()");
    ASSERT_TRUE(browser.WaitFor("document.querySelectorAll('#x-list .detail .line').length === 3"))
        << browser.Error();
    EXPECT_EQ(browser.Text("[...document.querySelectorAll('#x-list .detail .line')]"
                           ".map(e => e.lastChild.textContent).join('|')"),
              "STORE 0042  CASHIER 17|VOID MILK      -0.99|TOTAL           3.40");
    EXPECT_NE(
        browser.Text("document.querySelector('#x-list .detail h3').textContent").find("2026-12-01 09:12:00"),
        std::string::npos);
    std::string srt = browser.Text("document.querySelector('#x-list .detail .sub-srt').href");
    EXPECT_NE(srt.find("api/subtitles?camera=1&from=2026-12-01T09%3A12%3A00&to=2026-12-01T09%3A12%3A09"),
              std::string::npos)
        << srt;
    // The download holds the receipt as subtitles.
    std::string subtitles = testing_support::HttpGet(webPort, srt.substr(srt.find("/api/"))).body;
    EXPECT_NE(subtitles.find("VOID MILK      -0.99"), std::string::npos) << subtitles;
    EXPECT_TRUE(browser.Screenshot(kArtifacts + "/web-exceptions.png")) << browser.Error();

    ASSERT_TRUE(browser.Navigate(address + "#report")) << browser.Error();
    browser.Evaluate("document.getElementById('r-go').click()");
    ASSERT_TRUE(browser.WaitFor("document.querySelector('#r-tables table.report-all') !== null"))
        << browser.Error();
    EXPECT_EQ(browser.Text("[...document.querySelectorAll('#r-tables table.report-cashier tr')]"
                           ".map(r => r.textContent).join('|')"),
              "cashiercountamountvoidrefundno-sale|172-0.99101|231-1.20010");
    EXPECT_NE(browser.Text("document.getElementById('r-info').textContent").find("3 exception(s)"),
              std::string::npos);
    EXPECT_NE(browser.Text("document.getElementById('r-csv').href").find("format=csv"), std::string::npos);
    EXPECT_TRUE(browser.Screenshot(kArtifacts + "/web-report.png")) << browser.Error();

    // The rules in force, and the one left out with its message.
    ASSERT_TRUE(browser.Navigate(address + "#rules")) << browser.Error();
    ASSERT_TRUE(browser.WaitFor("document.getElementById('ru-rules').textContent.includes('Late void')"))
        << browser.Error();
    EXPECT_NE(browser.Text("document.getElementById('ru-kinds').textContent").find("refundon1.00on"),
              std::string::npos);
    EXPECT_NE(browser.Text("document.getElementById('ru-left').textContent").find("[Rule 2]"),
              std::string::npos);
    EXPECT_TRUE(browser.Screenshot(kArtifacts + "/web-rules.png")) << browser.Error();
}

}  // namespace
