#include "web/live_view.h"

#include "delivery/line_delivery.h"

namespace zamri {

LiveView::~LiveView() {
    Stop();
}

int LiveView::Start(LineDelivery& delivery) {
    if (sink_ != nullptr)
        return 1;
    auto sink = std::make_shared<LiveViewSink>(feed_);
    if (!sink->Start())
        return 0;
    sink_ = std::move(sink);
    delivery_ = &delivery;
    delivery.AddSink(sink_);
    return 1;
}

void LiveView::Stop() {
    if (sink_ == nullptr)
        return;
    delivery_->RemoveSink(sink_.get());
    // The browsers need nothing that is still queued.
    sink_->Stop(0);
    sink_.reset();
    delivery_ = nullptr;
}

}  // namespace zamri
