// printer://, the relay between a till and its network printer: every connection from the till
// is relayed to the printer and back, byte for byte, and what the till sends is also tapped for
// the channel's decoder. A side is read only while the other has taken what it was sent, so
// TCP holds a fast sender; printing never waits for decoding. Part of NetworkCapture, whose loop
// serves both sockets; this header is for its two source files.
#pragma once

#include <memory>
#include <vector>

#include "netsource/network_capture.h"

namespace network_capture {

constexpr int kReceiveBytes = 64 * 1024;
constexpr int kReadsPerEvent = 8;  // then the other sockets get their turn

}  // namespace network_capture

// A printer:// connection: the till's socket and the printer's, relayed both ways.
struct NetworkCapture::Relay {
    char peer[zamri::kAddressTextSize] = {};  // the till's address
    zamri::Silence silence;                   // bytes either way count
    int tillId = -1;
    int printerId = -1;
    bool printerUp = false;
    bool ended = false;
    std::vector<unsigned char> toPrinter;  // relayed bytes the printer has not taken yet
    std::vector<unsigned char> toTill;
    // What the till sends, decoded; none when decoding was too far behind at the start.
    std::unique_ptr<StreamDecoder> stream;
    bool tapDropping = false;  // the decoder's copy is being dropped
    int tillWatch = -1;        // the watches last set, so they change only when needed
    int printerWatch = -1;
};

class NetworkCapture::RelaySide : public zamri::LoopHandler {
  public:
    RelaySide(NetworkCapture& capture, std::shared_ptr<Relay> shared, bool till)
        : owner(capture), relay(std::move(shared)), isTill(till) {}

    void OnEvents(zamri::EventLoop& loop, int id, const zamri::NetworkEvents& events) override {
        if (!isTill && !relay->printerUp) {
            if (!events.write && !events.close)
                return;
            if (events.writeError != 0 || !events.write) {
                owner.EndRelay(loop, *relay, true);  // the printer cannot be reached
                return;
            }
            relay->printerUp = true;
            loop.ClearDeadline(id);
            owner.UpdateRelayWatches(loop, *relay);
        }
        if (events.write)
            owner.FlushRelay(loop, *relay, !isTill);
        if (!relay->ended && loop.Handler(id) == this && (events.read || events.close))
            owner.RelayFrom(loop, *relay, isTill, events.close != 0);
    }

    // The printer did not answer the connect in time, or a side did not take its last bytes.
    void OnDeadline(zamri::EventLoop& loop, int) override { owner.EndRelay(loop, *relay, !relay->printerUp); }

    // The till's side of a relay that may give way to a newcomer; one with bytes still on their
    // way (a printer that takes a job slowly) never does.
    zamri::Silence* IdleSilence() {
        bool busy = relay->ended || !relay->toPrinter.empty() || !relay->toTill.empty();
        return isTill && !busy ? &relay->silence : nullptr;
    }
    Relay& Shared() { return *relay; }

  private:
    NetworkCapture& owner;
    std::shared_ptr<Relay> relay;
    bool isTill;
};
