// Fuzz target: any bytes as a printer stream to detect, whole and as a tap hears it (with error
// marks read from the same bytes as a Linux port delivers them), and the findings written out.
// Properties: no crash, and a confidence between 0 and 1.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "detect/findings_writer.h"
#include "detect/tap_detection.h"
#include "serial/received_byte.h"

namespace {

const int kRecorderPages[] = {1252, 1251, 1250, 1255};

void Check(const DetectFindings& findings, int recorderPage) {
    double confidence = findings.Confidence();
    if (!(confidence >= 0 && confidence <= 1))
        std::abort();
    FindingsJson(findings, recorderPage);
    FindingsText(findings, recorderPage);
    ChannelBlock(findings, 1, "COM1");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    int recorderPage = kRecorderPages[size > 0 ? data[0] % 4 : 0];
    Check(DetectStream(data, size, recorderPage), recorderPage);

    // The same bytes on a tapped port: escapes become marks, reads of up to 32 bytes, a pause
    // before every read that begins with a line feed.
    std::vector<ReceivedByte> received;
    ParmrkReader reader;
    ReceivedByte out[2];
    for (size_t i = 0; i < size; ++i) {
        int count = reader.Feed(data[i], out);
        received.insert(received.end(), out, out + count);
    }
    received.insert(received.end(), out, out + reader.Flush(out));
    TapDetection tap(OfferedLineSettings(), recorderPage);
    size_t at = 0;
    while (at < received.size() && !tap.Done()) {
        size_t read = std::min<size_t>(32, received.size() - at);
        if (tap.Feed(received.data() + at, read, received[at].value == 0x0A))
            tap.EndListen();
        tap.Plan();
        at += read;
    }
    Check(tap.Result(), recorderPage);
    return 0;
}
