// The printer cable in the capture tests: a port name for the channel, and the far end into
// which the test writes what the till would print.
//
// Linux: a pseudo-terminal from openpty; the channel opens its slave side. Windows (under
// wine): two COM ports that the test script mapped to the two ends of a socat pair, named by
// ZAMRI_TEST_CAPTURE_PORT and ZAMRI_TEST_FEED_PORT; without them the tests that need a line
// are skipped.
#pragma once

#include <memory>
#include <string>

namespace testing_support {

class PrinterLine {
  public:
    PrinterLine();
    ~PrinterLine();
    PrinterLine(const PrinterLine&) = delete;
    PrinterLine& operator=(const PrinterLine&) = delete;

    bool Available() const;
    // The name a channel record holds to capture this line.
    const std::string& PortName() const;
    // Sends bytes towards the capture; false on failure.
    bool Write(const std::string& bytes);
    // Pulls the cable out (Linux: closes the far end; under wine: the test script stops socat).
    bool Unplug();
    // Plugs it back in under the same port name (under wine: socat starts again). False where
    // that is not possible (a Linux pseudo-terminal from openpty cannot come back).
    bool Replug();

    struct Ends;

  private:
    std::unique_ptr<Ends> ends_;
};

}  // namespace testing_support
