// A sink that keeps every line it is given, for tests of the delivery step and its callers.
#pragma once

#include <mutex>
#include <vector>

#include "delivery/delivered_line.h"

namespace testing_support {

class RecordingSink : public LineSink {
  public:
    void Accept(const DeliveredLine& line) override {
        std::lock_guard<std::mutex> guard(lock);
        lines.push_back(line);
    }
    std::vector<DeliveredLine> Lines() {
        std::lock_guard<std::mutex> guard(lock);
        return lines;
    }
    size_t Count() {
        std::lock_guard<std::mutex> guard(lock);
        return lines.size();
    }

  private:
    std::mutex lock;
    std::vector<DeliveredLine> lines;
};

}  // namespace testing_support
