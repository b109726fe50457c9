#include "delivery/delivery_report.h"

#include "delivery/line_delivery.h"

namespace {

std::string Counted(uint64_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

std::vector<std::string> DeliveryReport(const LineDelivery& delivery) {
    std::vector<std::string> lines;
    for (int camera = 1; camera <= kChannelCount; ++camera) {
        uint64_t cards = delivery.MaskedCardNumbers(camera);
        uint64_t user = delivery.MaskedByUser(camera);
        if (cards == 0 && user == 0)
            continue;
        lines.push_back("camera " + std::to_string(camera) + ": " +
                        Counted(cards, "card number", "card numbers") + " and " +
                        Counted(user, "user-mask match", "user-mask matches") + " masked");
    }
    if (lines.empty()) {
        MaskSettings settings = delivery.GetMaskSettings();
        lines.push_back(std::string("nothing masked (card numbers ") + (settings.cardNumbers ? "on" : "off") +
                        ", " + Counted(settings.patterns.size(), "user mask", "user masks") + ")");
    }
    for (const auto& sink : delivery.Sinks()) {
        SinkStatus status = sink->Status();
        if (status.dropped != 0)
            lines.push_back("sink " + status.name + ": " + Counted(status.dropped, "line", "lines") +
                            " dropped");
    }
    return lines;
}
