// The golden receipts as one printer stream for the benchmarks, and the decoder-to-delivery loop
// that several of them time.
#pragma once

#include <string>

class LineDelivery;

namespace bench_support {

// The golden receipts made for one emulation (-1: every receipt), settings lines left out, each
// followed by addedToEach and a form feed, repeated to about 1 MB.
std::string GoldenCorpus(int emulation, const std::string& addedToEach = "");

// Decodes bytes as emulation and hands every line to the delivery step as camera 1 from "COM1";
// returns the number of lines.
long DecodeAndDeliver(const std::string& bytes, int emulation, LineDelivery& delivery);

}  // namespace bench_support
