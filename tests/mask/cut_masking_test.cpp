// Card numbers where a line is cut: through the real decoder (full lines of 1023 bytes, a till
// that ends its lines with CR alone) and TCP mode (texts cut to 263 bytes, the line's last
// character taken off), then the delivery step, the overlay library substitute and a sink.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "card_lines.h"
#include "program/program.h"
#include "send_client.h"
#include "serial/line_decoder.h"
#include "support/overlay_log.h"
#include "support/recording_sink.h"
#include "support/wait.h"
#include "tcp/tcp_ingest_server.h"

using card_lines::CardLine;
using card_lines::OnlyDigitsMasked;
using card_lines::ReadableDigits;

namespace {

int Pick(std::mt19937& random, int from, int to) {
    return std::uniform_int_distribution<int>(from, to)(random);
}

// The overlay got what the sinks got, with the printed line's flags only.
void ExpectOverlayMatches(const testing_support::OverlayLogFile& overlay,
                          const std::vector<DeliveredLine>& lines) {
    auto writes = overlay.Writes();
    ASSERT_EQ(writes.size(), lines.size());
    for (size_t i = 0; i < lines.size(); ++i) {
        ASSERT_EQ(writes[i].text, lines[i].text);
        ASSERT_EQ(writes[i].numbers.at(2), lines[i].flags);
        ASSERT_TRUE(lines[i].flags == 0 || lines[i].flags == 1 || lines[i].flags == 2) << lines[i].flags;
    }
}

class DecoderCut : public ::testing::Test {
  protected:
    void SetUp() override { program.Delivery().AddSink(sink); }

    // Decodes bytes as a serial or network channel does and hands every line on; the lines that
    // came out.
    std::vector<DeliveredLine> Decode(const std::string& bytes) {
        size_t first = sink->Count();
        LineDecoder decoder;
        decoder.SetEmulation(kEmulationTextOnly);
        MemoryByteSource memory(bytes.data(), bytes.size());
        ByteSource source = memory.Source();
        const char* text;
        int flags;
        while (decoder.ReadLine(source, &text, &flags) >= 0)
            program.Delivery().Deliver(1, flags, "COM1", text);
        auto lines = sink->Lines();
        return std::vector<DeliveredLine>(lines.begin() + static_cast<long>(first), lines.end());
    }
    static std::string Joined(const std::vector<DeliveredLine>& lines) {
        std::string joined;
        for (const DeliveredLine& line : lines)
            joined += line.text;
        return joined;
    }

    testing_support::OverlayLogFile overlay;
    zamri::Program program;
    ChannelTable& table = program.Table();
    std::shared_ptr<testing_support::RecordingSink> sink = std::make_shared<testing_support::RecordingSink>();
};

TEST_F(DecoderCut, AFullLineIsCutBeforeTheNumberItEndsIn) {
    std::string before(1010, 'x');
    before += ' ';
    auto lines = Decode(before + "4111 1111 1111 1111 END\n");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(std::string(lines[0].text), before);
    EXPECT_EQ(lines[0].flags, 1);
    EXPECT_EQ(std::string(lines[1].text), "**** **** **** 1111 END");
    EXPECT_EQ(lines[1].flags, 0);

    // Switched off, masking changes nothing, and the number still stays whole in one line.
    program.Delivery().SetMasks({false, {}});
    lines = Decode(before + "4111 1111 1111 1111 END\n");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(std::string(lines[0].text), before);
    EXPECT_EQ(std::string(lines[1].text), "4111 1111 1111 1111 END");

    // A run too long to move into the next line is cut where the line is full, and masked on
    // both sides of the cut as far as a card number could reach; the flags stay the printed ones.
    program.Delivery().SetMasks({true, {}});
    // (No stretch of ones passes the Luhn check.)
    lines = Decode("A" + std::string(1100, '1') + " x\n");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(std::string(lines[0].text), "A" + std::string(1022 - 18, '1') + std::string(18, '*'));
    EXPECT_EQ(std::string(lines[1].text), std::string(18, '*') + std::string(1101 - 1023 - 18, '1') + " x");
    ExpectOverlayMatches(overlay, sink->Lines());
}

// Random card numbers in random company at random places across the cut, in lines that end
// with CR alone (so the decoder sees one endless line), some inside runs of digits too long to
// be moved: every card digit but the last four is masked, and nothing else changes.
TEST_F(DecoderCut, ACardNumberAcrossTheCutIsMaskedEveryTime) {
    std::mt19937 random(1023);
    for (int round = 0; round < 300; ++round) {
        CardLine line = card_lines::RandomCardLine(random);
        // Where the cut falls in line.text: mostly inside the card, sometimes anywhere.
        int cut = round % 4 == 3 ? Pick(random, 0, static_cast<int>(line.text.size()))
                                 : Pick(random, line.digits.front() + 1, line.digits.back());
        std::string before =
            card_lines::Filler(random, static_cast<size_t>(1023 + Pick(random, 0, 1) * 1023 - cut));
        if (round % 3 == 0) {
            // A long run of digits and blanks just before the card.
            std::string run;
            while (run.size() < 300)
                run += std::to_string(Pick(random, 0, 99)) + " ";
            before.replace(before.size() - run.size(), run.size(), run);
        }
        std::string printed = before + line.text + " END";
        std::string bytes = printed + "\rNEXT 0042\r";
        SCOPED_TRACE(line.text + " cut at " + std::to_string(cut));
        std::string joined = Joined(Decode(bytes + "\n"));
        std::string expected = printed + "NEXT 0042";
        ASSERT_TRUE(OnlyDigitsMasked(expected, joined));
        ASSERT_EQ(ReadableDigits(joined, line, before.size()), std::vector<int>());
    }
    ExpectOverlayMatches(overlay, sink->Lines());
}

TEST_F(DecoderCut, TextWithoutCardNumbersIsUnchangedWhereverItIsCut) {
    std::mt19937 random(263);
    for (int round = 0; round < 100; ++round) {
        std::string line =
            card_lines::RandomCardFreeLine(random, static_cast<size_t>(Pick(random, 1000, 3200)));
        auto lines = Decode(line + "\n");
        ASSERT_EQ(Joined(lines), line);
        for (const DeliveredLine& piece : lines)
            ASSERT_LE(piece.text.size(), 1023u);
    }
}

// TCP mode cuts a text to 263 bytes and the line assembly takes the last character off (the
// line's end, or whatever stands there): card digits before the cut are masked, judged by what
// was cut off, and a text without a card number loses nothing more than it did.
TEST(TcpCut, ACardNumberAcrossTheCutIsMaskedAndOtherTextIsUnchanged) {
    testing_support::OverlayLogFile overlay;
    zamri::Program program;
    ChannelTable& table = program.Table();
    auto sink = std::make_shared<testing_support::RecordingSink>();
    program.Delivery().AddSink(sink);
    table.SetMode(1);
    ASSERT_NE(program.Capture().TcpServer(), nullptr);
    table.SetTcpPort(0);
    table.StartCapture();
    int port = program.Capture().TcpServer()->ListeningPort();
    ASSERT_GT(port, 0);
    SendClient client;
    ASSERT_EQ(client.Connect("127.0.0.1", port), 1);
    ASSERT_EQ(client.OpeningExchange(), 1);

    struct Sent {
        std::string text;
        CardLine card;
        size_t cardAt = 0;
    };
    std::vector<Sent> sent;
    std::mt19937 random(262);
    for (int round = 0; round < 300; ++round) {
        Sent s;
        if (round % 5 == 4) {
            s.text =
                card_lines::RandomCardFreeLine(random, static_cast<size_t>(Pick(random, 230, 300))) + "\n";
        } else if (round % 5 == 3) {
            // No line end: the card's last digit goes, the rest must not show.
            s.card = card_lines::RandomCardLine(random);
            s.cardAt = static_cast<size_t>(Pick(random, 0, 40));
            s.text = card_lines::Filler(random, s.cardAt) +
                     s.card.text.substr(0, static_cast<size_t>(s.card.digits.back() + 1));
        } else {
            s.card = card_lines::RandomCardLine(random);
            int cut = Pick(random, s.card.digits.front() + 1, s.card.digits.back());
            s.cardAt = static_cast<size_t>(LineRecord::kMaxText - Pick(random, 0, 1) - cut);
            s.text = card_lines::Filler(random, s.cardAt) + s.card.text + " " +
                     card_lines::Filler(random, 80) + "\n";
        }
        ASSERT_EQ(client.SendTextLine(1, s.text.data(), static_cast<int>(s.text.size())), 1);
        sent.push_back(s);
    }
    ASSERT_TRUE(testing_support::WaitUntil([&] { return sink->Count() >= sent.size(); }, 30000));
    auto lines = sink->Lines();
    ASSERT_EQ(lines.size(), sent.size());
    for (size_t i = 0; i < sent.size(); ++i) {
        std::string kept = sent[i].text.substr(0, LineRecord::kMaxText);
        kept.pop_back();
        std::string delivered = lines[i].text;
        SCOPED_TRACE(sent[i].text);
        if (sent[i].card.text.empty()) {
            ASSERT_EQ(delivered, kept);
        } else {
            ASSERT_TRUE(OnlyDigitsMasked(kept, delivered)) << delivered;
            ASSERT_EQ(ReadableDigits(delivered, sent[i].card, sent[i].cardAt), std::vector<int>())
                << delivered;
        }
    }
    ExpectOverlayMatches(overlay, lines);
}

}  // namespace
