#include "net/idle_slots.h"

#include "net/event_loop.h"

namespace zamri {

int LongestSilent(EventLoop& loop, int idleLimitMilliseconds,
                  const std::function<Silence*(int id)>& silenceOf, int64_t* silentFor) {
    if (idleLimitMilliseconds <= 0)
        return -1;
    const Silence::Clock::time_point now = Silence::Clock::now();
    const Silence::Clock::time_point latest = now - std::chrono::milliseconds(idleLimitMilliseconds);
    // Each pass either finds the one or marks one more connection as heard, so this ends.
    for (int pass = 0; pass <= loop.Count(); ++pass) {
        int chosen = -1;
        Silence* chosenSilence = nullptr;
        for (int id = 0; id < loop.IdBound(); ++id) {
            if (loop.Handler(id) == nullptr)
                continue;
            Silence* silence = silenceOf(id);
            if (silence == nullptr || silence->Since() >= latest)
                continue;
            if (chosenSilence == nullptr || silence->Since() < chosenSilence->Since()) {
                chosen = id;
                chosenSilence = silence;
            }
        }
        if (chosen < 0)
            return -1;
        // What the loop has not read yet was still sent: a till whose line waits behind a busy
        // turn is not silent.
        if (SocketPendingBytes(loop.Socket(chosen)) > 0) {
            chosenSilence->Heard();
            continue;
        }
        if (silentFor != nullptr)
            *silentFor =
                std::chrono::duration_cast<std::chrono::milliseconds>(now - chosenSilence->Since()).count();
        return chosen;
    }
    return -1;
}

}  // namespace zamri
