// A channel's decoder set up by its decoding settings (config/decoding_options.h).
#pragma once

#include "config/decoding_options.h"
#include "serial/line_decoder.h"

// Sets a channel's decoder as its options say, whatever its byte source (a serial port, a network
// connection): the printer's and the recorder's code page, the idle end and the cut end. A source named
// sourceName then has to report quiet spells as decoder.QuietReportMilliseconds() asks. Returns
// 1, or 0 with a message for the user in problem when a page cannot be used (the emulation's
// default applies then, 1252 for the recorder).
int ApplyDecodingOptions(LineDecoder& decoder, const DecodingOptions& options, int recorderPage,
                         const char* sourceName, char* problem, int size);
