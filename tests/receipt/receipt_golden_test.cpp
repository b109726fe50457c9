// Whole receipts through the reader: golden/*.txt are the printed lines (UTF-8 here, fed in
// code page 1252 as the recorder has them), golden/*.expected what comes out: the lines that
// get flag 4, the records for the journal and the banner lines, in the order they come.
//
// Lines of a .txt that begin with @ drive the run instead of being printed:
//   @end              the line before ends its receipt (flag 2)
//   @drawer           the drawer opens
//   @wait N           N seconds pass (then the reader's clock is asked, as each second)
//   @option K=V       an [Options] key; @template K=V a key of [Template 1], which the
//   @rule N K=V       channel then uses; a key of [Rule N]
// Every line takes 100 ms. ZAMRI_UPDATE_GOLDEN=1 writes the .expected files anew.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "receipt/receipt_reader.h"
#include "receipt/receipt_records.h"
#include "receipt/receipt_settings.h"
#include "receipt_test_support.h"

namespace fs = std::filesystem;
using namespace zamri;

namespace {

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

SettingPair Pair(const std::string& text) {
    size_t eq = text.find('=');
    return {text.substr(0, eq), eq == std::string::npos ? std::string() : text.substr(eq + 1)};
}

std::string RunScript(const std::string& script) {
    std::vector<std::string> lines;
    std::stringstream in(script);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    std::vector<SettingPair> options;
    SettingSection templateSection;
    templateSection.number = 1;
    std::map<int, SettingSection> ruleSections;
    for (const std::string& line : lines) {
        if (line.rfind("@option ", 0) == 0)
            options.push_back(Pair(line.substr(8)));
        else if (line.rfind("@template ", 0) == 0)
            templateSection.keys.push_back(Pair(line.substr(10)));
        else if (line.rfind("@rule ", 0) == 0) {
            size_t blank = line.find(' ', 6);
            int n = std::atoi(line.substr(6, blank - 6).c_str());
            ruleSections[n].number = n;
            ruleSections[n].keys.push_back(Pair(line.substr(blank + 1)));
        }
    }
    std::string out;
    std::vector<std::string> errors;
    ExceptionOptions exceptionOptions;
    ParseExceptionOptions(options, &exceptionOptions, &errors);
    std::vector<SettingSection> sections;
    for (auto& [n, s] : ruleSections)
        sections.push_back(s);
    auto rules = ExceptionRules::Compile(exceptionOptions, sections, 1252, &errors);
    auto receiptTemplate = templateSection.keys.empty()
                               ? std::make_shared<const ReceiptTemplate>(1252)
                               : ReceiptTemplate::Compile(templateSection, 1252, &errors);
    for (const std::string& e : errors)
        out += "error: " + e + "\n";

    ManualClock clock(kGoldenStart);
    ReceiptReader reader(receiptTemplate, rules, &clock);
    std::vector<ReadReceipt> done;
    auto emit = [&]() {
        for (const ReadReceipt& r : done) {
            for (const ReceiptException& e : r.exceptions) {
                AppendExceptionRecord(e, &out, Cp1252ToUtf8);
                if (!e.banner.empty())
                    out += "banner: " + e.banner + "\n";
            }
            AppendTransactionRecord(r.transaction, &out, Cp1252ToUtf8);
        }
        done.clear();
    };
    uint32_t receipt = 1;
    bool open = false;
    // A line is fed once the next one shows whether it ends its receipt.
    std::optional<std::string> pending;
    auto feed = [&](int flags) {
        if (!pending.has_value())
            return;
        ReceiptLine line;
        std::string text = Utf8ToCp1252(*pending);
        line.text = text;
        line.flags = flags | (open ? 0 : kReceiptFirstLine);
        line.utcMilliseconds = clock.now;
        line.utcOffsetMinutes = 60;
        line.camera = 3;
        line.source = "COM3";
        line.receipt = receipt;
        if (reader.Line(line, &done) != 0)
            out += "important: " + *pending + "\n";
        emit();
        open = (flags & kReceiptEndLine) == 0;
        if (!open)
            ++receipt;
        pending.reset();
        clock.now += 100;
    };
    for (const std::string& line : lines) {
        if (line.rfind("@option ", 0) == 0 || line.rfind("@template ", 0) == 0 ||
            line.rfind("@rule ", 0) == 0)
            continue;
        if (line == "@end") {
            feed(kReceiptEndLine);
        } else if (line == "@drawer") {
            feed(0);
            DrawerEvent event;
            event.utcMilliseconds = clock.now;
            event.utcOffsetMinutes = 60;
            event.camera = 3;
            event.source = "COM3";
            event.receipt = receipt;
            reader.Drawer(event, &done);
            emit();
        } else if (line.rfind("@wait ", 0) == 0) {
            feed(0);
            int seconds = std::atoi(line.substr(6).c_str());
            for (int s = 0; s < seconds; ++s) {
                clock.now += 1000;
                reader.Tick(&done);
                emit();
            }
        } else {
            feed(0);
            pending = line;
        }
    }
    feed(0);
    reader.Flush(&done);
    emit();
    return out;
}

TEST(ReceiptGolden, EveryReceiptReadsAsExpected) {
    bool update = std::getenv("ZAMRI_UPDATE_GOLDEN") != nullptr;
    int files = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(ZAMRI_RECEIPT_GOLDEN_DIR)) {
        if (entry.path().extension() != ".txt")
            continue;
        ++files;
        SCOPED_TRACE(entry.path().filename().string());
        std::string actual = RunScript(ReadFile(entry.path()));
        fs::path expectedPath = entry.path();
        expectedPath.replace_extension(".expected");
        if (update) {
            std::ofstream(expectedPath, std::ios::binary) << actual;
            continue;
        }
        EXPECT_EQ(actual, ReadFile(expectedPath));
    }
    EXPECT_GE(files, 10);
}

}  // namespace
