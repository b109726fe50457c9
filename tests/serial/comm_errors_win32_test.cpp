// ClearCommError's error bits, from the system's own header, as the marks the detector reads.
#include <windows.h>

#include <gtest/gtest.h>

#include "serial/received_byte.h"

TEST(CommErrorMarks, MapTheSystemBitsToMarks) {
    EXPECT_EQ(MarksFromCommErrors(0), 0);
    EXPECT_EQ(MarksFromCommErrors(CE_FRAME), kMarkFraming);
    EXPECT_EQ(MarksFromCommErrors(CE_RXPARITY), kMarkParity);
    EXPECT_EQ(MarksFromCommErrors(CE_OVERRUN), kMarkOverrun);
    EXPECT_EQ(MarksFromCommErrors(CE_RXOVER), kMarkOverrun);
    EXPECT_EQ(MarksFromCommErrors(CE_BREAK), kMarkBreak);
    EXPECT_EQ(MarksFromCommErrors(CE_FRAME | CE_RXPARITY | CE_OVERRUN),
              kMarkFraming | kMarkParity | kMarkOverrun);
    EXPECT_EQ(MarksFromCommErrors(CE_TXFULL | CE_MODE), 0);  // not about received bytes
}
