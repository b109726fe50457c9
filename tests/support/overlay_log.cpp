#include "support/overlay_log.h"

#include <cstdlib>
#include <sstream>

#include "platform/overlay_record.h"

namespace testing_support {

std::vector<OverlayCall> ReadOverlayLog(const std::string& path) {
    std::vector<OverlayCall> calls;
    std::istringstream in(ReadFileBytes(path));
    std::string line;
    while (std::getline(in, line)) {
        OverlayCall call;
        std::vector<std::string> fields;
        size_t start = 0;
        // OV_write's text is the last field and may hold no tab (tabs are escaped).
        for (;;) {
            size_t tab = line.find('\t', start);
            if (tab == std::string::npos) {
                fields.push_back(line.substr(start));
                break;
            }
            fields.push_back(line.substr(start, tab - start));
            start = tab + 1;
        }
        call.name = fields[0];
        size_t numbers = call.name == "OV_write" ? 4 : fields.size();
        for (size_t i = 1; i < fields.size() && i < numbers; ++i)
            call.numbers.push_back(std::atoll(fields[i].c_str()));
        if (call.name == "OV_write" && fields.size() >= 5)
            call.text = zamri::UnescapeText(fields[4]);
        calls.push_back(call);
    }
    return calls;
}

std::vector<OverlayCall> ReadOverlayWrites(const std::string& path) {
    std::vector<OverlayCall> writes;
    for (OverlayCall& call : ReadOverlayLog(path)) {
        if (call.name == "OV_write")
            writes.push_back(call);
    }
    return writes;
}

OverlayLogFile::OverlayLogFile() : path_(dir_.File("ovtext.log")) {
    WriteFileBytes(path_, "");
    SetEnv("OVTEXT_LOG", path_.c_str());
}

OverlayLogFile::~OverlayLogFile() {
    SetEnv("OVTEXT_LOG", nullptr);
}

std::ostream& operator<<(std::ostream& out, const OverlayWrite& write) {
    return out << "{" << write.channel << ", " << write.flags << ", \"" << write.text << "\"}";
}

std::vector<OverlayWrite> OverlayLogFile::Lines() const {
    std::vector<OverlayWrite> lines;
    for (const OverlayCall& call : Writes())
        lines.push_back(
            {static_cast<int>(call.numbers.at(1)), static_cast<int>(call.numbers.at(2)), call.text});
    return lines;
}

}  // namespace testing_support
