#include "detect_golden.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "detect/receipt_end_guess.h"
#include "support/printer_bytes.h"
#include "support/temp_dir.h"

namespace detect_testing {

namespace {

std::vector<int> Numbers(const std::string& text) {
    std::vector<int> numbers;
    std::istringstream in(text);
    int n;
    while (in >> n)
        numbers.push_back(n);
    return numbers;
}

int EndCode(const std::string& name) {
    if (name == "formfeed")
        return kReceiptEndFormFeed;
    if (name == "cut")
        return kReceiptEndCut;
    if (name == "footer")
        return kReceiptEndFooter;
    return kReceiptEndUnknown;
}

}  // namespace

std::vector<GoldenStream> LoadGoldenStreams(const std::string& folder) {
    namespace fs = std::filesystem;
    std::vector<GoldenStream> streams;
    std::vector<fs::path> paths;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        if (entry.path().extension() == ".receipt")
            paths.push_back(entry.path());
    }
    std::sort(paths.begin(), paths.end());
    for (const fs::path& path : paths) {
        GoldenStream stream;
        stream.name = path.stem().string();
        std::istringstream in(testing_support::ReadFileBytes(path.string()));
        std::string line, notation;
        int channelEmulation = 0;
        bool expected = false;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (line.rfind("#! expect ", 0) == 0) {
                expected = true;
                std::string rest = line.substr(10);
                size_t space = rest.find(' ');
                std::string key = rest.substr(0, space);
                std::string value = space == std::string::npos ? "" : rest.substr(space + 1);
                if (key == "emulation")
                    stream.emulations = Numbers(value);
                else if (key == "codepage")
                    stream.codePages = Numbers(value);
                else if (key == "selected")
                    stream.selected = true;
                else if (key == "end")
                    stream.receiptEnd = EndCode(value);
                else if (key == "footer")
                    stream.footer = value;
                else if (key == "recorder")
                    stream.recorderPage = std::atoi(value.c_str());
            } else if (line.rfind("#! emulation ", 0) == 0) {
                channelEmulation = std::atoi(line.c_str() + 13);
            } else if (line.rfind("#! recorder ", 0) == 0) {
                stream.recorderPage = std::atoi(line.c_str() + 12);
            } else if (line.rfind("#", 0) != 0) {
                notation += line;
            }
        }
        if (!expected)
            stream.emulations = {channelEmulation};
        stream.bytes = testing_support::PrinterBytes(notation);
        streams.push_back(stream);
    }
    return streams;
}

std::string Noise::Bytes(size_t count) {
    std::string bytes(count, 0);
    for (char& c : bytes)
        c = static_cast<char>(Next() >> 24);
    return bytes;
}

}  // namespace detect_testing
