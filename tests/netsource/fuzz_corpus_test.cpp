// The fuzz target's corpus as an ordinary test, so its properties hold in every tier even
// without clang: each file goes through the target once (a violated property aborts).
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "support/temp_dir.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

TEST(PortNameFuzzCorpus, EveryCorpusFileHoldsTheProperties) {
    for (const char* name : {"tcp", "listen", "printer", "udp", "senders", "broken"}) {
        std::string bytes = testing_support::ReadFileBytes(std::string(ZAMRI_NETSOURCE_CORPUS) + "/" + name);
        ASSERT_FALSE(bytes.empty()) << name;
        EXPECT_EQ(0, LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
    }
}
